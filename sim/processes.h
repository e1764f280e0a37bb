// The processes of the simulated Windows with their windows, message boxes, mutexes and events. A
// process holds its executable and current folder until it ends. The driver (driver.h) runs them.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "file_system.h"
#include "journal.h"
#include "registry.h"
#include "shell.h"
#include "simulated_windows_api.h"

namespace sim {

struct Process {
    int id = 0;
    std::string image;
    std::string commandLine;
    std::string currentFolder;
    DWORD lastError = 0;
    Time exitTime = kForever;
    Time exitDelay = 0;  // how long it lingers after its entry returns
    int exitStatus = 0;
};

struct WindowRecord {
    HWND handle = nullptr;
    std::string className;
    std::string title;
    int process = 0;
    bool closesOnWmClose = true;
    Time closeDelay = 0;
    Time destroyedAt = kForever;
};

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    UINT type = 0;
    int answer = 0;
    int process = 0;
    bool hadOwner = false;
};

struct PostedMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    int process = 0;
};

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

class Processes {
  public:
    // The desktop (process 1) is running: the process in whose name a test calls the Windows
    // functions directly.
    Processes(FileSystem& files, const Clock& clock);
    Processes(const Processes&) = delete;
    Processes& operator=(const Processes&) = delete;

    // A process that runs without a program of ours (the product, say): it holds its executable and
    // current folder until it ends.
    int StartBackgroundProcess(const std::string& image, const std::string& currentFolder);
    void EndProcess(int process, Time at);
    const Process& GetProcess(int process) const;
    bool ProcessRunning(int process) const;
    Process& CurrentProcess();
    int CurrentProcessId() const { return current_; }
    // Whether a named mutex exists: some process still running has a handle to it open.
    bool MutexExists(const std::string& name) const;
    // Whether a named event exists: some process still running has a handle to it open.
    bool EventExists(const std::string& name) const;

    HWND AddWindow(const std::string& className, const std::string& title, int process,
                   bool closesOnWmClose = true, Time closeDelay = 0);
    bool WindowExists(HWND window) const;
    const std::vector<WindowRecord>& Windows() const { return windows_; }
    void AnswerMessageBox(int answer) { answers_.push_back(answer); }  // queued, first in first out
    const std::vector<MessageBoxRecord>& MessageBoxes() const { return messageBoxes_; }
    const std::vector<PostedMessage>& PostedMessages() const { return posted_; }
    void MarkUnreadable(const void* pointer);  // IsBadReadPtr reports it
    void MarkUnwritable(const void* pointer);  // IsBadWritePtr reports it

    // --- For the Windows functions ----------------------------------------------------------------
    void SetLastErrorCode(DWORD error) { CurrentProcess().lastError = error; }
    // Shows a box: the next queued answer, or OK (Return on the default button).
    int ShowMessageBox(const MessageBoxRecord& box);
    // Posts a message; WM_CLOSE closes a window that closes on it, and its process with it.
    bool PostMessage(const PostedMessage& message);
    bool IsMarked(const void* pointer, bool write) const;
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

    // --- For the driver ---------------------------------------------------------------------------
    // A new process of `image`: it holds its executable and current folder until it ends.
    int NewProcess(const std::string& image, const std::string& commandLine,
                   const std::string& currentFolder);
    Process& GetProcess(int process);
    // The process in whose name the Windows functions are called from now on.
    void MakeCurrent(int process) { current_ = process; }

  private:
    std::optional<size_t> OpenEventNamed(const std::string& name) const;
    // The open handle to an event that its process has not closed; null for any other handle.
    const EventHandle* FindEvent(HANDLE handle) const;
    bool WaitPending(int process, size_t event) const;

    FileSystem& files_;
    const Clock& clock_;
    std::deque<Process> processes_;  // a deque: command lines handed out stay where they are
    int current_ = 0;

    std::vector<WindowRecord> windows_;
    std::uintptr_t nextWindow_ = 0x20000000;
    std::vector<PostedMessage> posted_;
    std::vector<int> answers_;
    std::vector<MessageBoxRecord> messageBoxes_;
    std::vector<std::pair<const void*, bool>> badPointers_;
    std::vector<MutexHandle> mutexes_;
    std::vector<EventObject> events_;
    std::vector<EventHandle> eventHandles_;
    std::vector<EventWait> waits_;
};

}  // namespace sim
