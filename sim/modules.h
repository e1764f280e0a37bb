// The system DLLs as a program sees them at run time: GetModuleHandleA finds them by name, and
// GetProcAddress finds a function in them, unless this Windows lacks it (Windows 9x has no
// GetTempPathW, say): a test takes such functions away, or leaves them as stubs that only fail.
#pragma once

#include <set>
#include <string>

namespace sim {

class Modules {
  public:
    // GetProcAddress answers null for the function from now on.
    void RemoveFunction(const std::string& name) { missing_.insert(name); }
    bool HasFunction(const std::string& name) const { return missing_.count(name) == 0; }
    // The function is there but fails with ERROR_CALL_NOT_IMPLEMENTED, as GetSystemWow64DirectoryA
    // does on 32-bit Windows.
    void StubFunction(const std::string& name) { stubs_.insert(name); }
    bool IsStub(const std::string& name) const { return stubs_.count(name) != 0; }

  private:
    std::set<std::string> missing_;  // names as exported: GetProcAddress compares them exactly
    std::set<std::string> stubs_;
};

}  // namespace sim
