#include "processes.h"

#include <algorithm>

namespace sim {

Processes::Processes(FileSystem& files, Clock& clock, const Registry& registry)
    : files_(files), clock_(clock), registry_(registry) {
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
            process.running = false;
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

StartOutcome Processes::RunProgram(ProgramEntry entry, const std::string& image,
                                   const std::optional<std::string>& parameters,
                                   const std::string& currentFolder, ProcessOptions options) {
    StartOutcome outcome;
    int previous = current_;
    FileSystem::Located located;
    if (files_.Locate(image, CurrentProcess().currentFolder, located, false, false) != 0 ||
        located.node == nullptr || located.node->folder) {
        return outcome;  // nothing to start
    }
    std::string commandLine = "\"" + image + "\"";
    std::string tail;
    if (parameters.has_value()) {
        commandLine += " " + *parameters;
        tail = *parameters;
    }
    int id = NewProcess(image, commandLine, currentFolder);
    current_ = id;
    std::vector<char> tailBuffer(tail.begin(), tail.end());
    tailBuffer.push_back('\0');
    int status = entry(reinterpret_cast<HINSTANCE>(0x400000), nullptr, tailBuffer.data(), SW_SHOWNORMAL);
    current_ = previous;
    for (Process& process : processes_) {
        if (process.id == id) {
            process.exitStatus = status;
        }
    }
    EndProcess(id, clock_.Now() + options.exitDelay);
    outcome.ran = true;
    outcome.process = id;
    outcome.exitStatus = status;
    return outcome;
}

StartOutcome Processes::RunStart(size_t index, ProgramEntry entry, ProcessOptions options) {
    StartRecord start = starts_.at(index);
    starts_[index].ran = true;
    StartOutcome outcome;
    if (!start.accepted) {
        return outcome;
    }
    std::string folder = start.directory.value_or(GetProcess(start.process).currentFolder);
    std::string extension = start.file.size() >= 4 ? UpperCase(start.file.substr(start.file.size() - 4)) : "";
    if (extension == ".BAT") {
        outcome.batch = RunBatch(start.file, folder);
        outcome.ran = true;
        outcome.process = outcome.batch->process;
        return outcome;
    }
    return RunProgram(entry, start.file, start.parameters, folder, options);
}

std::vector<StartOutcome> Processes::RunPendingStarts(ProgramEntry entry, ProcessOptions options, int limit) {
    std::vector<StartOutcome> outcomes;
    for (size_t i = 0; i < starts_.size() && static_cast<int>(outcomes.size()) < limit; ++i) {
        if (!starts_[i].ran) {
            outcomes.push_back(RunStart(i, entry, options));
        }
    }
    return outcomes;
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

}  // namespace sim
