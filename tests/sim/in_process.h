// Runs a piece of test code as the entry of a simulated process, so that the Windows functions see
// that process's image, command line and current folder while it runs.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "machine.h"

namespace sim_testing {

using ProcessBody = std::function<int(LPSTR commandTail)>;

// One per thread: each thread runs programs on its own machine.
inline ProcessBody& CurrentBody() {
    static thread_local ProcessBody body;
    return body;
}

inline int WINAPI BodyEntry(HINSTANCE, HINSTANCE, LPSTR commandTail, int) {
    return CurrentBody()(commandTail);
}

// The image must exist on the machine, as for any program the system starts.
inline sim::StartOutcome RunAsProcess(sim::Machine& machine, const std::string& image,
                                      const std::string& folder, ProcessBody body,
                                      const std::optional<std::string>& parameters = std::nullopt,
                                      sim::ProcessOptions options = {}) {
    CurrentBody() = std::move(body);
    sim::StartOutcome outcome = machine.driver.RunProgram(&BodyEntry, image, parameters, folder, options);
    CurrentBody() = nullptr;
    return outcome;
}

}  // namespace sim_testing
