#include "support/complete_uninstall.h"

namespace testing_support {

std::vector<sim::StartOutcome> CompleteUninstallRun::Programs() const {
    std::vector<sim::StartOutcome> programs;
    for (const sim::StartOutcome& start : starts) {
        if (start.ran && !start.batch) {
            programs.push_back(start);
        }
    }
    return programs;
}

std::vector<sim::BatchRun> CompleteUninstallRun::Scripts() const {
    std::vector<sim::BatchRun> scripts;
    for (const sim::StartOutcome& start : starts) {
        if (start.batch) {
            scripts.push_back(*start.batch);
        }
    }
    return scripts;
}

CompleteUninstallRun RunCompleteUninstall(sim::Machine& machine, const UninstallOptions& options) {
    CompleteUninstallRun run;
    const sim::Time userStart = machine.clock.Now();
    run.user = machine.driver.RunProgram(&WinMain, options.image, options.parameters, options.folder,
                                         sim::ProcessOptions{options.firstExit});
    if (!run.user.ran) {
        return run;
    }
    if (options.whileTheFirstLingers) {
        options.whileTheFirstLingers();
    }
    const std::vector<sim::StartRecord>& recorded = machine.shell.Starts();
    const sim::Time lingered = userStart + options.firstExit + 1;
    if (options.duringTheHandOver && !recorded.empty() && recorded.front().accepted &&
        machine.clock.Now() < lingered) {
        machine.clock.Advance(lingered - machine.clock.Now());
        options.duringTheHandOver();
    }
    // The shell's list grows while the starts run: the copy records the script.
    for (size_t i = 0; i < recorded.size() && i < options.startLimit; ++i) {
        if (recorded[i].ran) {
            continue;
        }
        sim::StartOutcome outcome =
            machine.driver.RunStart(i, &WinMain, sim::ProcessOptions{options.secondExit});
        run.starts.push_back(outcome);
        bool fromTheUser = recorded[i].process == run.user.process;
        if (!outcome.ran || outcome.batch || !fromTheUser) {
            continue;
        }
        if (run.copy.process == 0) {
            run.copy = outcome;
        }
        if (options.whileTheCopyWorks) {
            options.whileTheCopyWorks();
        }
    }
    return run;
}

}  // namespace testing_support
