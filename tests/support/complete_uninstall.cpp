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
    run.user = machine.driver.RunProgram(&WinMain, options.image, options.parameters, options.folder,
                                         sim::ProcessOptions{options.firstExit});
    if (!run.user.ran) {
        return run;
    }
    if (options.whileTheFirstLingers) {
        options.whileTheFirstLingers();
    }
    const std::vector<sim::StartRecord>& recorded = machine.shell.Starts();
    if (options.duringTheHandOver && !recorded.empty() && recorded.front().accepted &&
        machine.driver.Waiting(run.user.process)) {
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
    // A first process that still waits (for a copy that never took over) goes on as its time runs out.
    machine.driver.FinishWaits();
    run.user.ended = true;
    run.user.exitStatus = machine.processes.GetProcess(run.user.process).exitStatus;
    return run;
}

}  // namespace testing_support
