#include "uninstall_run.h"

#include "removal_model.h"
#include "run_rules.h"
#include "support/complete_uninstall.h"
#include "support/product_names.h"

namespace property {

namespace {

// What the user types after the program's name: the switch the copy is started with, /S, or both.
std::optional<std::string> Parameters(const GeneratedMachine& generated) {
    if (!generated.typesSwitch && !generated.silent) {
        return std::nullopt;
    }
    std::string typed = generated.typesSwitch ? product_names::kSecondPhaseSwitch : "";
    std::string silent = generated.silent ? product_names::kSilentSwitch : "";
    return typed + (typed.empty() || silent.empty() ? "" : " ") + silent;
}

// The user's start as the generator chose it; the user's starts while the uninstall is under way go
// to `again`, each a start of the same file without arguments while it is still there.
testing_support::UninstallOptions UserStart(sim::Machine& machine, const GeneratedMachine& generated,
                                            std::vector<int>& again) {
    testing_support::UninstallOptions options;
    options.image = generated.uninstallerImage;
    options.parameters = Parameters(generated);
    options.folder = generated.userFolder;
    options.firstExit = generated.firstExit;
    options.secondExit = generated.secondExit;
    auto startAgain = [&machine, &generated, &again]() {
        if (machine.files.Exists(generated.uninstallerImage)) {
            again.push_back(
                machine.driver
                    .RunProgram(&WinMain, generated.uninstallerImage, std::nullopt, generated.userFolder)
                    .process);
        }
    };
    if (generated.startsAgainAtOnce) {
        options.whileTheFirstLingers = startAgain;
    }
    if (generated.startsAgainInHandOver) {
        options.duringTheHandOver = startAgain;
    }
    if (generated.startsAgainDuringCopy) {
        options.whileTheCopyWorks = startAgain;
    }
    return options;
}

}  // namespace

std::vector<std::string> UninstallAndCheck(sim::Machine& machine, const GeneratedMachine& generated,
                                           RunStats* stats) {
    MachineState before = CaptureState(machine, generated, true);
    const std::optional<std::string> typed =
        generated.typesSwitch ? std::optional<std::string>(generated.uninstallerImage) : std::nullopt;
    RemovalModel model(machine, before, typed);

    std::vector<int> again;
    testing_support::CompleteUninstallRun starts =
        testing_support::RunCompleteUninstall(machine, UserStart(machine, generated, again));
    if (!starts.user.ran) {
        return {"the user's start of " + generated.uninstallerImage + " did not run"};
    }
    MachineState after = CaptureState(machine, generated);

    FinishedRun run{machine, generated, model, before, after, starts, typed, again};
    run.first = starts.user.process;
    // Started with the switch, the user's process is the second phase.
    run.second = typed ? run.first : starts.copy.process;
    std::vector<std::string> problems;
    for (Rule rule : kRules) {
        rule(run, problems);
    }
    if (stats != nullptr) {
        stats->Add(Tally(run));
    }
    return problems;
}

}  // namespace property
