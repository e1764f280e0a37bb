// The desktop of the simulated Windows: the top-level windows of the processes, the messages posted
// to them, and the message boxes with their scripted answers.
//
// It stands on the process table: WM_CLOSE to a window that closes on it ends the window's process,
// and a process that ends takes its windows with it, which the desktop hears from the process table
// (WhenProcessEnds), so that the process table knows nothing of windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "journal.h"
#include "processes.h"
#include "simulated_windows_api.h"

namespace sim {

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

class Desktop {
  public:
    Desktop(Processes& processes, const Clock& clock);
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    HWND AddWindow(const std::string& className, const std::string& title, int process,
                   bool closesOnWmClose = true, Time closeDelay = 0);
    bool WindowExists(HWND window) const;
    int ProcessOf(HWND window) const;  // 0: a window of no process
    const std::vector<WindowRecord>& Windows() const { return windows_; }
    void AnswerMessageBox(int answer) { answers_.push_back(answer); }  // queued, first in first out
    const std::vector<MessageBoxRecord>& MessageBoxes() const { return messageBoxes_; }
    const std::vector<PostedMessage>& PostedMessages() const { return posted_; }

    // --- For the Windows functions ----------------------------------------------------------------
    // Shows a box: the next queued answer, or Return on its default button (OK, or Retry).
    int ShowMessageBox(const MessageBoxRecord& box);
    // Posts a message; WM_CLOSE closes a window that closes on it, and its process with it.
    bool PostMessage(const PostedMessage& message);

  private:
    // The process has ended at `at`: so have its windows, by then at the latest.
    void LetWindowsGo(int process, Time at);

    Processes& processes_;
    const Clock& clock_;
    std::vector<WindowRecord> windows_;
    std::uintptr_t nextWindow_ = 0x20000000;
    std::vector<PostedMessage> posted_;
    std::vector<int> answers_;
    std::vector<MessageBoxRecord> messageBoxes_;
};

}  // namespace sim
