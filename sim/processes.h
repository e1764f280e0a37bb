// The processes of the simulated Windows with their windows and message boxes. A process holds its
// executable and current folder until it ends. The driver (driver.h) runs them; their mutexes and
// events are the kernel's (kernel.h).
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

    // --- For the driver ---------------------------------------------------------------------------
    // A new process of `image`: it holds its executable and current folder until it ends.
    int NewProcess(const std::string& image, const std::string& commandLine,
                   const std::string& currentFolder);
    Process& GetProcess(int process);
    // The process in whose name the Windows functions are called from now on.
    void MakeCurrent(int process) { current_ = process; }

  private:
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
};

}  // namespace sim
