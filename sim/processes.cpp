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

bool Processes::MutexExists(const std::string& name) const {
    for (const MutexHandle& open : mutexes_) {
        if (open.name == name && ProcessRunning(open.process)) {
            return true;
        }
    }
    return false;
}

bool Processes::OpenMutex(HANDLE handle, const std::string& name) {
    bool existed = MutexExists(name);
    mutexes_.push_back(MutexHandle{handle, name, current_});
    return existed;
}

bool Processes::CloseMutex(HANDLE handle) {
    for (auto open = mutexes_.begin(); open != mutexes_.end(); ++open) {
        if (open->handle == handle) {
            mutexes_.erase(open);
            return true;
        }
    }
    return false;
}

std::optional<size_t> Processes::OpenEventNamed(const std::string& name) const {
    for (const EventHandle& open : eventHandles_) {
        if (!name.empty() && events_[open.event].name == name && ProcessRunning(open.process) &&
            (!open.closesWithWait || WaitPending(open.process, open.event))) {
            return open.event;
        }
    }
    return std::nullopt;
}

bool Processes::WaitPending(int process, size_t event) const {
    return std::any_of(waits_.begin(), waits_.end(), [this, process, event](const EventWait& wait) {
        return wait.process == process && wait.event == event && !wait.over && clock_.Now() < wait.deadline;
    });
}

bool Processes::EventExists(const std::string& name) const {
    return OpenEventNamed(name).has_value();
}

bool Processes::OpenEvent(HANDLE handle, const std::string& name, bool manualReset, bool initiallySet) {
    std::optional<size_t> existing = OpenEventNamed(name);
    if (!existing.has_value()) {
        events_.push_back(EventObject{name, manualReset, initiallySet});
    }
    eventHandles_.push_back(EventHandle{handle, existing.value_or(events_.size() - 1), current_});
    return existing.has_value();
}

bool Processes::CloseEvent(HANDLE handle) {
    for (auto open = eventHandles_.begin(); open != eventHandles_.end(); ++open) {
        if (open->handle == handle && !open->closesWithWait) {
            if (WaitPending(open->process, open->event)) {
                open->closesWithWait = true;
            } else {
                eventHandles_.erase(open);
            }
            return true;
        }
    }
    return false;
}

const EventHandle* Processes::FindEvent(HANDLE handle) const {
    for (const EventHandle& open : eventHandles_) {
        if (open.handle == handle && !open.closesWithWait) {
            return &open;
        }
    }
    return nullptr;
}

bool Processes::IsEvent(HANDLE handle) const {
    return FindEvent(handle) != nullptr;
}

void Processes::SetEvent(HANDLE handle) {
    const EventHandle* open = FindEvent(handle);
    if (open == nullptr) {
        return;
    }
    EventObject& event = events_[open->event];
    event.set = true;
    for (EventWait& wait : waits_) {
        if (wait.event == open->event && !wait.over && clock_.Now() < wait.deadline) {
            wait.over = true;
            EndProcess(wait.process, clock_.Now() + GetProcess(wait.process).exitDelay);
            if (!event.manualReset) {
                event.set = false;  // an auto-reset event lets one waiter go
                break;
            }
        }
    }
}

void Processes::ResetEvent(HANDLE handle) {
    if (const EventHandle* open = FindEvent(handle)) {
        events_[open->event].set = false;
    }
}

bool Processes::WaitForEvent(HANDLE handle, DWORD milliseconds) {
    const EventHandle* open = FindEvent(handle);
    if (open == nullptr) {
        return false;
    }
    EventObject& event = events_[open->event];
    if (event.set) {
        event.set = event.manualReset;
        return true;
    }
    Time deadline = milliseconds == INFINITE ? kForever : clock_.Now() + milliseconds;
    waits_.push_back(EventWait{current_, open->event, deadline, false});
    return false;
}

Time Processes::WaitsEnd(int process) const {
    Time end = clock_.Now();
    for (const EventWait& wait : waits_) {
        if (wait.process == process && !wait.over) {
            end = std::max(end, wait.deadline);
        }
    }
    return end;
}

}  // namespace sim
