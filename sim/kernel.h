// The kernel objects of the simulated Windows: named mutexes and events, handles of processes, and
// the handles processes have open to them; what a wait sees signalled.
//
// It stands on the process table: a handle belongs to the process that opened it and counts while
// that process runs, and a process handle is signalled once its process has ended. How long a wait
// lasts is the driver's business (driver.h); the kernel only says what is signalled.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "journal.h"
#include "processes.h"
#include "simulated_windows_api.h"

namespace sim {

// An open handle to a named mutex; the mutex exists while some running process has one.
struct MutexHandle {
    HANDLE handle = nullptr;
    std::string name;  // as given: kernel object names are case-sensitive
    int process = 0;
};

// An event. A named one exists while some running process has a handle to it open, and is opened
// again by that name; an unnamed one only through its own handle.
struct EventObject {
    std::string name;  // as given: kernel object names are case-sensitive
    bool manualReset = true;
    bool set = false;
};

struct EventHandle {
    HANDLE handle = nullptr;
    size_t event = 0;  // index into the events
    int process = 0;
};

// A handle to a process, opened by `owner`.
struct ProcessHandle {
    HANDLE handle = nullptr;
    int process = 0;
    int owner = 0;
};

class Kernel {
  public:
    explicit Kernel(Processes& processes);
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    // Whether a named mutex exists: some process still running has a handle to it open.
    bool MutexExists(const std::string& name) const;
    // Whether a named event exists: some process still running has a handle to it open.
    bool EventExists(const std::string& name) const;
    // Handles to processes that their owners have not closed.
    size_t OpenProcessHandleCount() const { return processHandles_.size(); }

    // --- For the Windows functions ------------------------------------------------------------------
    // Opens a handle to a named mutex for the current process; true when it existed before.
    bool OpenMutex(HANDLE handle, const std::string& name);
    bool CloseMutex(HANDLE handle);
    // Opens a handle to an event, named or not, for the current process; true when it existed before.
    bool OpenEvent(HANDLE handle, const std::string& name, bool manualReset, bool initiallySet);
    bool CloseEvent(HANDLE handle);
    bool IsEvent(HANDLE handle) const;
    void SetEvent(HANDLE handle);
    void ResetEvent(HANDLE handle);
    // Opens a handle to a process for the current process.
    void OpenProcessHandle(HANDLE handle, int process);
    bool CloseProcessHandle(HANDLE handle);

    // What a wait may wait for: an event or a process.
    bool IsWaitable(HANDLE handle) const;
    // Whether it is signalled now: a set event, an ended process.
    bool IsSignaled(HANDLE handle) const;
    // A wait that it ended has taken it: an auto-reset event lets one waiter go.
    void TakeSignal(HANDLE handle);
    // Whether only another program can signal it (an event), not the passing of time (a process whose
    // end is known, or that never ends by itself).
    bool SignaledByPrograms(HANDLE handle) const;
    // When a process handle's process ends; kForever when not known, and for an event.
    Time SignalTime(HANDLE handle) const;

  private:
    std::optional<size_t> OpenEventNamed(const std::string& name) const;
    // The open handle to an event; null for any other handle.
    const EventHandle* FindEvent(HANDLE handle) const;
    const ProcessHandle* FindProcess(HANDLE handle) const;

    Processes& processes_;
    std::vector<MutexHandle> mutexes_;
    std::vector<EventObject> events_;
    std::vector<EventHandle> eventHandles_;
    std::vector<ProcessHandle> processHandles_;
};

}  // namespace sim
