#include "processes.h"

#include <algorithm>

namespace sim {

Processes::Processes(FileSystem& files, const Clock& clock) : files_(files), clock_(clock) {
    Process desktop;
    desktop.id = 1;
    desktop.image = "C:\\WINDOWS\\EXPLORER.EXE";
    desktop.commandLine = desktop.image;
    desktop.currentFolder = "C:\\";
    processes_.push_back(desktop);
    current_ = 1;
}

Process& Processes::CurrentProcess() {
    for (Process& process : processes_) {
        if (process.id == current_) {
            return process;
        }
    }
    Fail("no current process");
}

const Process& Processes::GetProcess(int id) const {
    for (const Process& process : processes_) {
        if (process.id == id) {
            return process;
        }
    }
    Fail("no such process");
}

Process& Processes::GetProcess(int id) {
    for (Process& process : processes_) {
        if (process.id == id) {
            return process;
        }
    }
    Fail("no such process");
}

bool Processes::ProcessRunning(int id) const {
    return clock_.Now() < GetProcess(id).exitTime;
}

int Processes::NewProcess(const std::string& image, const std::string& commandLine,
                          const std::string& currentFolder) {
    Process process;
    process.id = processes_.back().id + 1;
    process.image = image;
    process.commandLine = commandLine;
    process.currentFolder = currentFolder;
    processes_.push_back(process);
    SimPath resolved;
    if (ResolvePath(image, currentFolder, resolved, false, false) == 0) {
        files_.AddHold(Hold{PathKey(resolved), HoldKind::Image, process.id, kForever, ERROR_ACCESS_DENIED});
    }
    if (ResolvePath(currentFolder, "", resolved, false, false) == 0) {
        files_.AddHold(Hold{PathKey(resolved), HoldKind::CurrentFolder, process.id, kForever, 0});
    }
    return process.id;
}

int Processes::StartBackgroundProcess(const std::string& image, const std::string& currentFolder) {
    return NewProcess(image, "\"" + image + "\"", currentFolder);
}

void Processes::EndProcess(int id, Time at) {
    for (Process& process : processes_) {
        if (process.id == id && process.exitTime > at) {
            process.exitTime = at;
        }
    }
    files_.ReleaseHolds(id, at);
    for (WindowRecord& window : windows_) {
        if (window.process == id && window.destroyedAt > at) {
            window.destroyedAt = at;
        }
    }
}

HWND Processes::AddWindow(const std::string& className, const std::string& title, int process,
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

bool Processes::WindowExists(HWND handle) const {
    for (const WindowRecord& window : windows_) {
        if (window.handle == handle) {
            return clock_.Now() < window.destroyedAt;
        }
    }
    return false;
}

int Processes::ShowMessageBox(const MessageBoxRecord& box) {
    MessageBoxRecord shown = box;
    shown.answer = IDOK;
    if (!answers_.empty()) {
        shown.answer = answers_.front();
        answers_.erase(answers_.begin());
    }
    messageBoxes_.push_back(shown);
    return shown.answer;
}

bool Processes::PostMessage(const PostedMessage& message) {
    if (!WindowExists(message.window)) {
        return false;
    }
    posted_.push_back(message);
    for (WindowRecord& window : windows_) {
        if (window.handle == message.window && message.message == WM_CLOSE && window.closesOnWmClose) {
            Time closedAt = clock_.Now() + window.closeDelay;
            if (window.process != 0) {
                EndProcess(window.process, closedAt);  // the product exits with its main window
            }
            window.destroyedAt = std::min(window.destroyedAt, closedAt);
        }
    }
    return true;
}

bool Processes::IsMarked(const void* pointer, bool write) const {
    for (const auto& mark : badPointers_) {
        if (mark.first == pointer && mark.second == write) {
            return true;
        }
    }
    return false;
}

void Processes::MarkUnreadable(const void* pointer) {
    badPointers_.emplace_back(pointer, false);
}

void Processes::MarkUnwritable(const void* pointer) {
    badPointers_.emplace_back(pointer, true);
}

}  // namespace sim
