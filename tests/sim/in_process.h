// Runs a piece of test code as the entry of a simulated process, so that the Windows functions see
// that process's image, command line and current folder while it runs.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "machine.h"

namespace sim_testing {

using ProcessBody = std::function<int(LPSTR commandTail)>;

// The body as a program's entry, for the starts a test runs.
inline sim::ProgramEntry AsEntry(ProcessBody body) {
    return [body](HINSTANCE, HINSTANCE, LPSTR commandTail, int) { return body(commandTail); };
}

// The image must exist on the machine, as for any program the system starts.
inline sim::StartOutcome RunAsProcess(sim::Machine& machine, const std::string& image,
                                      const std::string& folder, ProcessBody body,
                                      const std::optional<std::string>& parameters = std::nullopt,
                                      sim::ProcessOptions options = {}) {
    return machine.driver.RunProgram(AsEntry(std::move(body)), image, parameters, folder, options);
}

}  // namespace sim_testing
