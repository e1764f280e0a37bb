// The start that every Windows function of the simulation shares: the machine installed for the
// calling thread, the call journaled in the name of the calling process, the fault injected for it,
// and a failure reported the way Windows reports it, through GetLastError. For the functions that
// play Windows (the *_api.cpp files); a test reaches the machine through its parts instead.
#pragma once

#include <string>

#include "code_pages.h"
#include "machine.h"

namespace sim {

class ApiCall {
  public:
    // Journals `function` with its main argument `detail` (a path, a key path, a text).
    ApiCall(const char* function, const std::string& detail)
        : machine(Machine::Current()),
          fault(machine.journal.Enter(function, detail, machine.processes.CurrentProcessId())) {}
    ApiCall(const ApiCall&) = delete;
    ApiCall& operator=(const ApiCall&) = delete;

    // Whether an injected fault makes the call fail.
    bool faulted() const { return fault != nullptr; }
    // Fails with the injected fault's error.
    BOOL Fail() const { return Fail(fault->error); }
    // Fails: `error` for GetLastError of the calling process, and `result` returned (FALSE, or what
    // the function returns on failure: 0, a null or an invalid handle).
    template <typename Result = BOOL>
    Result Fail(DWORD error, Result result = FALSE) const {
        machine.processes.SetLastErrorCode(error);
        return result;
    }

    // The process that makes the call.
    Process& Caller() const { return machine.processes.CurrentProcess(); }
    // A path argument found as the file functions find it: a relative one against the calling
    // process's current folder.
    DWORD Locate(const std::string& path, FileSystem::Located& out, bool wildcards = false) const {
        return machine.files.Locate(path, Caller().currentFolder, out, wildcards);
    }

    Machine& machine;
    const Fault* const fault;  // the fault injected for this call; null when it goes on
};

// A string argument of a Windows function as text; a null pointer reads as empty.
inline std::string Text(LPCSTR text) {
    return text != nullptr ? std::string(text) : std::string();
}

// A wide string argument in ANSI, as the simulation keeps names; a null pointer reads as empty.
inline std::string Narrow(LPCWSTR text) {
    std::u16string wide;
    for (const WCHAR* c = text; c != nullptr && *c != 0; ++c) {
        wide += *c;
    }
    return WideToAnsi(wide);
}

}  // namespace sim
