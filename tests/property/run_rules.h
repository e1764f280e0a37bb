// The rules every complete uninstall must keep, whatever the generated machine looks like: each a
// small named check of a finished run, adding one line per breach to `problems`.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "machine.h"
#include "machine_generator.h"
#include "removal_model.h"
#include "support/complete_uninstall.h"

namespace property {

// A finished run, as the rules and the tally see it.
struct FinishedRun {
    const sim::Machine& machine;
    const GeneratedMachine& generated;
    const RemovalModel& model;
    const MachineState& before;
    const MachineState& after;
    const testing_support::CompleteUninstallRun& starts;
    std::optional<std::string> typed;  // the program the user started with "/internally", if so
    std::vector<int> again;            // the user's starts while the uninstall was under way
    int first = 0;                     // the user's process
    int second = 0;                    // the process that ran the second phase; 0: none

    // Whether the user agreed: by OK in the confirmation, or by the switch or /S on the command line.
    bool Confirmed() const;
};

using Rule = void (*)(const FinishedRun& run, std::vector<std::string>& problems);

// Unattended, the first process ends with 0 only when nothing of the product is left, else with 1603;
// otherwise with 1.
void ExitStatusesAsDocumented(const FinishedRun& run, std::vector<std::string>& problems);
// Nothing outside the removal model removed, changed or created.
void NothingOutsideTheModelChanged(const FinishedRun& run, std::vector<std::string>& problems);
// The first process starts the temporary copy, the copy its own script, each at most once.
void OnlyTheCopyAndItsScriptWereStarted(const FinishedRun& run, std::vector<std::string>& problems);
// Every cleanup script ends, and one that ended took the program that ran the second phase with it.
void ScriptsEnded(const FinishedRun& run, std::vector<std::string>& problems);
// A start by the user while an uninstall is under way starts nothing.
void StartsWhileUnderWayStartNothing(const FinishedRun& run, std::vector<std::string>& problems);
// Every box bears the product's name and has no owner.
void BoxesCaptionedWithTheProductsName(const FinishedRun& run, std::vector<std::string>& problems);
// At most two boxes in the first process (and one more for each Retry), one in the second, none
// elsewhere; none at all with /S.
void BoxesWithinTheirAllowance(const FinishedRun& run, std::vector<std::string>& problems);
// Without the user's consent nothing is started, asked to close or changed.
void NoGoingOnWithoutConsent(const FinishedRun& run, std::vector<std::string>& problems);
// Only the product's windows are asked to close, each once (and again at each Retry), by the first
// process.
void OnlyTheProductsWindowsAskedToClose(const FinishedRun& run, std::vector<std::string>& problems);
// The product leaves the list of installed programs only once a second phase has run.
void UnlistedOnlyOnceASecondPhaseRan(const FinishedRun& run, std::vector<std::string>& problems);
// Every handle closed, and no process making calls without end.
void HandlesClosedAndLoopsEnded(const FinishedRun& run, std::vector<std::string>& problems);

// Every rule, in the order their breaches are reported.
inline constexpr Rule kRules[] = {
    ExitStatusesAsDocumented,           NothingOutsideTheModelChanged,
    OnlyTheCopyAndItsScriptWereStarted, ScriptsEnded,
    StartsWhileUnderWayStartNothing,    BoxesCaptionedWithTheProductsName,
    BoxesWithinTheirAllowance,          NoGoingOnWithoutConsent,
    OnlyTheProductsWindowsAskedToClose, UnlistedOnlyOnceASecondPhaseRan,
    HandlesClosedAndLoopsEnded,
};

}  // namespace property
