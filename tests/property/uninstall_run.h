// One complete uninstall on a generated machine — the user's start, the temporary copy, the cleanup
// script — judged by the rules every such run must keep whatever the machine looks like (run_rules.h),
// and counted (run_stats.h).
#pragma once

#include <string>
#include <vector>

#include "machine.h"
#include "machine_generator.h"
#include "run_stats.h"

namespace property {

// Runs the uninstall and returns every broken rule, one line each (none: all is well).
std::vector<std::string> UninstallAndCheck(sim::Machine& machine, const GeneratedMachine& generated,
                                           RunStats* stats = nullptr);

}  // namespace property
