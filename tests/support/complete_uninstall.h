// One complete uninstall, as the system runs it: the user starts the uninstaller, then every start the
// processes record is run, oldest first: the temporary copy, then the cleanup script. Written once for
// the scenario tests, the property tests and the benchmark; it only runs and records, the caller judges
// (no GoogleTest: the benchmark and the libFuzzer target use it too).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "machine.h"

namespace testing_support {

struct UninstallOptions {
    // What the user starts, with what parameters, from which folder.
    std::string image;
    std::optional<std::string> parameters;
    std::string folder;
    // How long the user's process lingers after its entry returns, and each program the uninstall
    // starts (the temporary copy) after its own.
    sim::Time firstExit = 120;
    sim::Time secondExit = 10;
    // What happens meanwhile, typically the user starting it again; each is called when set:
    // at once, while the first process lingers;
    std::function<void()> whileTheFirstLingers;
    // before the copy it started runs, while the first process waits for it, if it does (a hook that
    // lets time pass does so through the driver, so that the first process goes on meanwhile);
    std::function<void()> duringTheHandOver;
    // when the copy's entry has returned, while it lingers.
    std::function<void()> whileTheCopyWorks;
    // Only the first starts are run: more would be a runaway, which the caller sees in the shell's list.
    size_t startLimit = 8;
};

struct CompleteUninstallRun {
    sim::StartOutcome user;  // the user's start, once every wait has run out
    // Every start the processes recorded that was run, in the shell's order: the programs and the
    // scripts.
    std::vector<sim::StartOutcome> starts;
    // The first program the user's process started that ran: the temporary copy (process 0: none).
    sim::StartOutcome copy;

    std::vector<sim::StartOutcome> Programs() const;  // the starts that ran a program
    std::vector<sim::BatchRun> Scripts() const;       // the scripts run, in order
};

CompleteUninstallRun RunCompleteUninstall(sim::Machine& machine, const UninstallOptions& options);

}  // namespace testing_support
