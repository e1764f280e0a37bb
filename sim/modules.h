// The system DLLs as a program sees them at run time: GetModuleHandleA finds them by name, and
// GetProcAddress finds a function in them, unless this Windows lacks it (Windows 9x has no
// GetTempPathW, say): a test takes such functions away.
#pragma once

#include <set>
#include <string>

namespace sim {

class Modules {
  public:
    // GetProcAddress answers null for the function from now on.
    void RemoveFunction(const std::string& name) { missing_.insert(name); }
    bool HasFunction(const std::string& name) const { return missing_.count(name) == 0; }

  private:
    std::set<std::string> missing_;  // names as exported: GetProcAddress compares them exactly
};

}  // namespace sim
