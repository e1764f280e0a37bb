// How the runs went, summed over many machines: a generator that stopped producing some kind of run
// would make the rules pass for nothing.
#pragma once

#include <string>

#include "run_rules.h"

namespace property {

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

// What one finished run counts for.
RunStats Tally(const FinishedRun& run);

}  // namespace property
