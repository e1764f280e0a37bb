#include "kernel.h"

namespace sim {

Kernel::Kernel(Processes& processes) : processes_(processes) {}

bool Kernel::MutexExists(const std::string& name) const {
    for (const MutexHandle& open : mutexes_) {
        if (open.name == name && processes_.ProcessRunning(open.process)) {
            return true;
        }
    }
    return false;
}

bool Kernel::OpenMutex(HANDLE handle, const std::string& name) {
    bool existed = MutexExists(name);
    mutexes_.push_back(MutexHandle{handle, name, processes_.CurrentProcessId()});
    return existed;
}

bool Kernel::CloseMutex(HANDLE handle) {
    for (auto open = mutexes_.begin(); open != mutexes_.end(); ++open) {
        if (open->handle == handle) {
            mutexes_.erase(open);
            return true;
        }
    }
    return false;
}

std::optional<size_t> Kernel::OpenEventNamed(const std::string& name) const {
    for (const EventHandle& open : eventHandles_) {
        if (!name.empty() && events_[open.event].name == name && processes_.ProcessRunning(open.process)) {
            return open.event;
        }
    }
    return std::nullopt;
}

bool Kernel::EventExists(const std::string& name) const {
    return OpenEventNamed(name).has_value();
}

bool Kernel::OpenEvent(HANDLE handle, const std::string& name, bool manualReset, bool initiallySet) {
    std::optional<size_t> existing = OpenEventNamed(name);
    if (!existing.has_value()) {
        events_.push_back(EventObject{name, manualReset, initiallySet});
    }
    eventHandles_.push_back(
        EventHandle{handle, existing.value_or(events_.size() - 1), processes_.CurrentProcessId()});
    return existing.has_value();
}

bool Kernel::CloseEvent(HANDLE handle) {
    for (auto open = eventHandles_.begin(); open != eventHandles_.end(); ++open) {
        if (open->handle == handle) {
            eventHandles_.erase(open);
            return true;
        }
    }
    return false;
}

const EventHandle* Kernel::FindEvent(HANDLE handle) const {
    for (const EventHandle& open : eventHandles_) {
        if (open.handle == handle) {
            return &open;
        }
    }
    return nullptr;
}

bool Kernel::IsEvent(HANDLE handle) const {
    return FindEvent(handle) != nullptr;
}

void Kernel::SetEvent(HANDLE handle) {
    if (const EventHandle* open = FindEvent(handle)) {
        events_[open->event].set = true;
    }
}

void Kernel::ResetEvent(HANDLE handle) {
    if (const EventHandle* open = FindEvent(handle)) {
        events_[open->event].set = false;
    }
}

void Kernel::OpenProcessHandle(HANDLE handle, int process) {
    processHandles_.push_back(ProcessHandle{handle, process, processes_.CurrentProcessId()});
}

bool Kernel::CloseProcessHandle(HANDLE handle) {
    for (auto open = processHandles_.begin(); open != processHandles_.end(); ++open) {
        if (open->handle == handle) {
            processHandles_.erase(open);
            return true;
        }
    }
    return false;
}

const ProcessHandle* Kernel::FindProcess(HANDLE handle) const {
    for (const ProcessHandle& open : processHandles_) {
        if (open.handle == handle) {
            return &open;
        }
    }
    return nullptr;
}

bool Kernel::IsWaitable(HANDLE handle) const {
    return FindEvent(handle) != nullptr || FindProcess(handle) != nullptr;
}

bool Kernel::IsSignaled(HANDLE handle) const {
    if (const EventHandle* open = FindEvent(handle)) {
        return events_[open->event].set;
    }
    const ProcessHandle* process = FindProcess(handle);
    return process != nullptr && !processes_.ProcessRunning(process->process);
}

void Kernel::TakeSignal(HANDLE handle) {
    if (const EventHandle* open = FindEvent(handle)) {
        EventObject& event = events_[open->event];
        event.set = event.set && event.manualReset;
    }
}

bool Kernel::SignaledByPrograms(HANDLE handle) const {
    return FindEvent(handle) != nullptr;
}

Time Kernel::SignalTime(HANDLE handle) const {
    const ProcessHandle* process = FindProcess(handle);
    return process != nullptr ? processes_.GetProcess(process->process).exitTime : kForever;
}

}  // namespace sim
