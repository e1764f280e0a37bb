#include "journal.h"

namespace sim {

const Fault* Journal::Enter(const char* function, const std::string& detail, int process) {
    ++totalCalls_;
    int count = ++callsByFunction_[function];
    const Fault* matched = nullptr;
    for (const Fault& fault : faults_) {
        bool sameFunction = fault.function.empty() || fault.function == function;
        int occurrence = fault.function.empty() ? totalCalls_ : count;
        if (sameFunction && (fault.occurrence == 0 || fault.occurrence == occurrence)) {
            matched = &fault;
            break;
        }
    }
    calls_.push_back(CallRecord{function, detail, process, clock_.Now(), matched != nullptr});
    return matched;
}

std::vector<std::string> Journal::CallNames(int process) const {
    std::vector<std::string> names;
    for (const CallRecord& call : calls_) {
        if (process == 0 || call.process == process) {
            names.push_back(call.function);
        }
    }
    return names;
}

int Journal::CallCount(const std::string& function, int process) const {
    int count = 0;
    for (const CallRecord& call : calls_) {
        if (call.function == function && (process == 0 || call.process == process)) {
            ++count;
        }
    }
    return count;
}

}  // namespace sim
