// The clock, the journal of every platform call and the injected faults of the simulated Windows.
// Time passes only when a program sleeps or the command interpreter works, so the same inputs always
// give the same journal.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "simulated_windows_api.h"

namespace sim {

using Time = std::uint64_t;  // milliseconds on the virtual clock
constexpr Time kForever = ~Time{0};

class Clock {
  public:
    Time Now() const { return now_; }
    void Advance(Time ms) { now_ += ms; }

  private:
    Time now_ = 0;
};

struct CallRecord {
    std::string function;
    std::string detail;  // the main argument: a path, a key path, a text
    int process = 0;
    Time time = 0;
    bool faulted = false;
};

// A platform call that fails on purpose. `function` empty matches every call; `occurrence` counts the
// matching calls from 1 (0: every matching call). For WriteFile, `partialBytes` >= 0 writes that many
// bytes first; with error 0 the call then reports success with the short count. For CopyFileA, it
// leaves the target with that many bytes, and the call fails.
struct Fault {
    std::string function;
    int occurrence = 1;
    DWORD error = ERROR_ACCESS_DENIED;
    int partialBytes = -1;
};

class Journal {
  public:
    explicit Journal(const Clock& clock) : clock_(clock) {}

    const std::vector<CallRecord>& Calls() const { return calls_; }
    // Names of the calls made by one process (0: by every process), in order.
    std::vector<std::string> CallNames(int process = 0) const;
    int CallCount(const std::string& function, int process = 0) const;
    int TotalCalls() const { return totalCalls_; }
    void InjectFault(const Fault& fault) { faults_.push_back(fault); }

    // For the Windows functions: journals a call by `process` and tells whether an injected fault
    // makes it fail (with which fault).
    const Fault* Enter(const char* function, const std::string& detail, int process);

  private:
    const Clock& clock_;
    std::vector<CallRecord> calls_;
    std::vector<Fault> faults_;
    std::map<std::string, int> callsByFunction_;
    int totalCalls_ = 0;
};

}  // namespace sim
