#include "desktop.h"

#include <algorithm>

namespace sim {

Desktop::Desktop(Processes& processes, const Clock& clock) : processes_(processes), clock_(clock) {
    processes_.WhenProcessEnds([this](int process, Time at) { LetWindowsGo(process, at); });
}

void Desktop::LetWindowsGo(int process, Time at) {
    for (WindowRecord& window : windows_) {
        if (window.process == process && window.destroyedAt > at) {
            window.destroyedAt = at;
        }
    }
}

HWND Desktop::AddWindow(const std::string& className, const std::string& title, int process,
                        bool closesOnWmClose, Time closeDelay) {
    WindowRecord window;
    window.handle = reinterpret_cast<HWND>(nextWindow_ += 4);
    window.className = className;
    window.title = title;
    window.process = process;
    window.closesOnWmClose = closesOnWmClose;
    window.closeDelay = closeDelay;
    windows_.push_back(window);
    return window.handle;
}

bool Desktop::WindowExists(HWND handle) const {
    for (const WindowRecord& window : windows_) {
        if (window.handle == handle) {
            return clock_.Now() < window.destroyedAt;
        }
    }
    return false;
}

int Desktop::ProcessOf(HWND handle) const {
    for (const WindowRecord& window : windows_) {
        if (window.handle == handle) {
            return window.process;
        }
    }
    return 0;
}

int Desktop::ShowMessageBox(const MessageBoxRecord& box) {
    MessageBoxRecord shown = box;
    shown.answer = (box.type & 0xF) == MB_RETRYCANCEL ? IDRETRY : IDOK;
    if (!answers_.empty()) {
        shown.answer = answers_.front();
        answers_.erase(answers_.begin());
    }
    messageBoxes_.push_back(shown);
    return shown.answer;
}

bool Desktop::PostMessage(const PostedMessage& message) {
    if (!WindowExists(message.window)) {
        return false;
    }
    posted_.push_back(message);
    for (WindowRecord& window : windows_) {
        if (window.handle == message.window && message.message == WM_CLOSE && window.closesOnWmClose) {
            Time closedAt = clock_.Now() + window.closeDelay;
            if (window.process != 0) {
                // The product exits with its main window, after what it still does then.
                processes_.EndProcess(window.process,
                                      closedAt + processes_.GetProcess(window.process).exitDelay);
            }
            window.destroyedAt = std::min(window.destroyedAt, closedAt);
        }
    }
    return true;
}

}  // namespace sim
