// The kernel objects of the simulated Windows: named mutexes and events, the handles processes have
// open to them, and the waits for events.
//
// It stands on the process table: a handle belongs to the process that opened it and counts while
// that process runs, and a set event ends the processes whose exits wait for it (see EventWait). The
// driver asks it when a program's waits let the program end; the parts below know nothing of it.
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
    bool closesWithWait = false;  // closed by its process after a wait that has not ended yet
};

// A process waiting for an event that was not set. The simulation runs one program at a time, so the
// waiting program goes on at once, and what it does next counts from the wait's end: its exit, and the
// closing of its handle to the event, wait until the event is set by a program that runs after it or
// until the wait times out. The wait itself reports WAIT_TIMEOUT, since what it will end with is not
// known yet; so a program here does nothing after such a wait but close the handle and end.
struct EventWait {
    int process = 0;
    size_t event = 0;
    Time deadline = kForever;
    bool over = false;
};

class Kernel {
  public:
    Kernel(Processes& processes, const Clock& clock);
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    // Whether a named mutex exists: some process still running has a handle to it open.
    bool MutexExists(const std::string& name) const;
    // Whether a named event exists: some process still running has a handle to it open.
    bool EventExists(const std::string& name) const;

    // --- For the Windows functions and the driver ---------------------------------------------------
    // Opens a handle to a named mutex for the current process; true when it existed before.
    bool OpenMutex(HANDLE handle, const std::string& name);
    bool CloseMutex(HANDLE handle);
    // Opens a handle to an event, named or not, for the current process; true when it existed before.
    bool OpenEvent(HANDLE handle, const std::string& name, bool manualReset, bool initiallySet);
    bool CloseEvent(HANDLE handle);
    bool IsEvent(HANDLE handle) const;
    // Sets an event: the processes waiting for it may end now.
    void SetEvent(HANDLE handle);
    void ResetEvent(HANDLE handle);
    // Waits for an event: true when it is set; otherwise the process's exit waits (see EventWait).
    bool WaitForEvent(HANDLE handle, DWORD milliseconds);
    // When the process's waits let it end: now, or the latest moment an unfinished wait ends.
    Time WaitsEnd(int process) const;

  private:
    std::optional<size_t> OpenEventNamed(const std::string& name) const;
    // The open handle to an event that its process has not closed; null for any other handle.
    const EventHandle* FindEvent(HANDLE handle) const;
    bool WaitPending(int process, size_t event) const;

    Processes& processes_;
    const Clock& clock_;
    std::vector<MutexHandle> mutexes_;
    std::vector<EventObject> events_;
    std::vector<EventHandle> eventHandles_;
    std::vector<EventWait> waits_;
};

}  // namespace sim
