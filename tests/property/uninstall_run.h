// One complete uninstall on a generated machine — the user's start, the temporary copy, the cleanup
// script — and the checks that every such run must pass whatever the machine looks like.
#pragma once

#include <string>
#include <vector>

#include "machine.h"
#include "machine_generator.h"

namespace property {

// How the runs went, summed over many machines: a generator that stopped producing some kind of run
// would make the checks pass for nothing.
struct RunStats {
    int machines = 0;
    int cancelled = 0;
    int secondPhases = 0;
    int scriptsRun = 0;
    int scriptsEndedClean = 0;  // the temporary copy and the script are both gone
    int installFoldersRemoved = 0;
    int vendorFoldersRemoved = 0;
    int productFilesRemoved = 0;
    int readOnlyFilesRemoved = 0;
    int percentTempSecondPhases = 0;  // whose name the environment leaves as it is
    int missingPathMessages = 0;
    int copyOrStartMessages = 0;
    int faultsInjected = 0;

    void Add(const RunStats& other);
    std::string Describe() const;
};

// Runs the uninstall and returns every broken rule, one line each (none: all is well).
std::vector<std::string> UninstallAndCheck(sim::Machine& machine, const GeneratedMachine& generated,
                                           RunStats* stats = nullptr);

}  // namespace property
