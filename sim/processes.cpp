#include "processes.h"

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

bool Processes::Exists(int id) const {
    for (const Process& process : processes_) {
        if (process.id == id) {
            return true;
        }
    }
    return false;
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
    for (const EndListener& listener : endListeners_) {
        listener(id, at);
    }
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
