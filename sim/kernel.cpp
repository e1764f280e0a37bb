#include "kernel.h"

#include <algorithm>

namespace sim {

Kernel::Kernel(Processes& processes, const Clock& clock) : processes_(processes), clock_(clock) {}

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
        if (!name.empty() && events_[open.event].name == name && processes_.ProcessRunning(open.process) &&
            (!open.closesWithWait || WaitPending(open.process, open.event))) {
            return open.event;
        }
    }
    return std::nullopt;
}

bool Kernel::WaitPending(int process, size_t event) const {
    return std::any_of(waits_.begin(), waits_.end(), [this, process, event](const EventWait& wait) {
        return wait.process == process && wait.event == event && !wait.over && clock_.Now() < wait.deadline;
    });
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

const EventHandle* Kernel::FindEvent(HANDLE handle) const {
    for (const EventHandle& open : eventHandles_) {
        if (open.handle == handle && !open.closesWithWait) {
            return &open;
        }
    }
    return nullptr;
}

bool Kernel::IsEvent(HANDLE handle) const {
    return FindEvent(handle) != nullptr;
}

void Kernel::SetEvent(HANDLE handle) {
    const EventHandle* open = FindEvent(handle);
    if (open == nullptr) {
        return;
    }
    EventObject& event = events_[open->event];
    event.set = true;
    for (EventWait& wait : waits_) {
        if (wait.event == open->event && !wait.over && clock_.Now() < wait.deadline) {
            wait.over = true;
            processes_.EndProcess(wait.process, clock_.Now() + processes_.GetProcess(wait.process).exitDelay);
            if (!event.manualReset) {
                event.set = false;  // an auto-reset event lets one waiter go
                break;
            }
        }
    }
}

void Kernel::ResetEvent(HANDLE handle) {
    if (const EventHandle* open = FindEvent(handle)) {
        events_[open->event].set = false;
    }
}

bool Kernel::WaitForEvent(HANDLE handle, DWORD milliseconds) {
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
    waits_.push_back(EventWait{processes_.CurrentProcessId(), open->event, deadline, false});
    return false;
}

Time Kernel::WaitsEnd(int process) const {
    Time end = clock_.Now();
    for (const EventWait& wait : waits_) {
        if (wait.process == process && !wait.over) {
            end = std::max(end, wait.deadline);
        }
    }
    return end;
}

}  // namespace sim
