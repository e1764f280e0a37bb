#include "uninstall_run.h"

#include <map>
#include <set>

#include "removal_model.h"
#include "support/complete_uninstall.h"
#include "support/product_names.h"

namespace property {

namespace {

using namespace product_names;

// No process of the uninstaller makes anywhere near this many calls; more means a loop that did not end.
constexpr int kCallLimit = 200000;

std::optional<std::string> KeyOf(const std::string& path) {
    return FullPathKey(path);
}

bool SameState(const MachineState& a, const MachineState& b) {
    if (a.keys != b.keys || a.files.size() != b.files.size() || a.values.size() != b.values.size()) {
        return false;
    }
    for (const auto& entry : a.files) {
        auto other = b.files.find(entry.first);
        if (other == b.files.end() || other->second.folder != entry.second.folder ||
            other->second.content != entry.second.content ||
            other->second.attributes != entry.second.attributes) {
            return false;
        }
    }
    for (const auto& entry : a.values) {
        auto other = b.values.find(entry.first);
        if (other == b.values.end() || other->second.has_value() != entry.second.has_value() ||
            (entry.second &&
             (other->second->type != entry.second->type || other->second->data != entry.second->data))) {
            return false;
        }
    }
    return true;
}

}  // namespace

void RunStats::Add(const RunStats& o) {
    machines += o.machines;
    cancelled += o.cancelled;
    secondPhases += o.secondPhases;
    scriptsRun += o.scriptsRun;
    scriptsEndedClean += o.scriptsEndedClean;
    installFoldersRemoved += o.installFoldersRemoved;
    vendorFoldersRemoved += o.vendorFoldersRemoved;
    productFilesRemoved += o.productFilesRemoved;
    readOnlyFilesRemoved += o.readOnlyFilesRemoved;
    percentTempSecondPhases += o.percentTempSecondPhases;
    missingPathMessages += o.missingPathMessages;
    copyOrStartMessages += o.copyOrStartMessages;
    faultsInjected += o.faultsInjected;
}

std::string RunStats::Describe() const {
    return std::to_string(machines) + " machines: " + std::to_string(cancelled) + " cancelled, " +
           std::to_string(secondPhases) + " second phases, " + std::to_string(scriptsRun) + " scripts run, " +
           std::to_string(scriptsEndedClean) + " ended with the temporary folder clean, " +
           std::to_string(installFoldersRemoved) + " installation folders removed, " +
           std::to_string(vendorFoldersRemoved) + " vendor folders removed, " +
           std::to_string(productFilesRemoved) + " with Tandrel.exe removed, " +
           std::to_string(readOnlyFilesRemoved) + " with read-only files removed, " +
           std::to_string(percentTempSecondPhases) + " second phases in a temporary folder with '%', " +
           std::to_string(missingPathMessages) + " missing-path messages, " +
           std::to_string(copyOrStartMessages) + " copy or start messages, " +
           std::to_string(faultsInjected) + " faults injected";
}

std::vector<std::string> UninstallAndCheck(sim::Machine& machine, const GeneratedMachine& generated,
                                           RunStats* stats) {
    std::vector<std::string> problems;
    MachineState before = CaptureState(machine, generated, true);
    const std::optional<std::string> typed =
        generated.typesSwitch ? std::optional<std::string>(generated.uninstallerImage) : std::nullopt;
    std::optional<std::string> parameters;
    if (typed || generated.silent) {
        parameters = std::string(typed ? kProduct.secondPhaseSwitch : "") +
                     (typed && generated.silent ? " " : "") + (generated.silent ? kProduct.silentSwitch : "");
    }
    RemovalModel model(machine, before, typed);

    // The user's start, then every start the processes record, oldest first, as the system runs them.
    // Starts by the user while an uninstall is under way must end without a word.
    std::vector<int> again;
    auto startAgain = [&]() {
        if (machine.files.Exists(generated.uninstallerImage)) {
            sim::StartOutcome outcome = machine.driver.RunProgram(&WinMain, generated.uninstallerImage,
                                                                  std::nullopt, generated.userFolder);
            again.push_back(outcome.process);
        }
    };
    testing_support::UninstallOptions options;
    options.image = generated.uninstallerImage;
    options.parameters = parameters;
    options.folder = generated.userFolder;
    options.firstExit = generated.firstExit;
    options.secondExit = generated.secondExit;
    if (generated.startsAgainAtOnce) {
        options.whileTheFirstLingers = startAgain;
    }
    if (generated.startsAgainInHandOver) {
        options.duringTheHandOver = startAgain;
    }
    if (generated.startsAgainDuringCopy) {
        options.whileTheCopyWorks = startAgain;
    }
    testing_support::CompleteUninstallRun run = testing_support::RunCompleteUninstall(machine, options);
    const sim::StartOutcome& user = run.user;
    if (!user.ran) {
        problems.push_back("the user's start of " + generated.uninstallerImage + " did not run");
        return problems;
    }
    // Unattended, the first process tells a deployment tool how the hand-over went.
    bool statusKnown = generated.silent && !typed
                           ? user.exitStatus == ERROR_SUCCESS || user.exitStatus == ERROR_INSTALL_FAILURE ||
                                 user.exitStatus == ERROR_INSTALL_ALREADY_RUNNING
                           : user.exitStatus == (generated.silent ? ERROR_SUCCESS : 1);
    if (!statusKnown) {
        problems.push_back("first process exit status " + std::to_string(user.exitStatus));
    }
    const int first = user.process;
    // Started with the switch, the user's process is the second phase.
    int second = typed ? first : run.copy.process;
    std::vector<sim::BatchRun> scripts = run.Scripts();
    for (const sim::StartOutcome& outcome : run.Programs()) {
        if (outcome.exitStatus != (generated.silent ? ERROR_SUCCESS : 1)) {
            problems.push_back("process " + std::to_string(outcome.process) + " exit status " +
                               std::to_string(outcome.exitStatus));
        }
    }
    MachineState after = CaptureState(machine, generated);

    // Nothing outside the model removed, changed or created.
    for (const std::string& problem : model.Compare(before, after)) {
        problems.push_back(problem);
    }

    // What was started: the first process starts the temporary copy, the copy starts its own script.
    int firstStarts = 0;
    int secondStarts = 0;
    for (const sim::StartRecord& start : machine.shell.Starts()) {
        std::optional<std::string> key = KeyOf(start.file);
        if (start.process == first && !typed) {
            ++firstStarts;
            if (!key || !model.IsSecondPhaseImage(*key) ||
                start.parameters != std::optional<std::string>(generated.silent
                                                                   ? kProduct.silentSecondPhaseParameters
                                                                   : kProduct.secondPhaseSwitch)) {
                problems.push_back("first process started \"" + start.file + "\" " +
                                   start.parameters.value_or(""));
            }
        } else if (second != 0 && start.process == second) {
            ++secondStarts;
            if (!key || !model.IsNewScript(*key) || start.parameters.has_value()) {
                problems.push_back("second process started \"" + start.file + "\"");
            }
        } else {
            problems.push_back("unexpected start of \"" + start.file + "\" by process " +
                               std::to_string(start.process));
        }
    }
    if (firstStarts > 1 || secondStarts > 1) {
        problems.push_back("too many starts: " + std::to_string(firstStarts) + " and " +
                           std::to_string(secondStarts));
    }
    for (const sim::BatchRun& script : scripts) {
        if (!script.finished || script.stepLimitReached) {
            problems.push_back("cleanup script " + script.script + " did not end (" +
                               std::to_string(script.steps) + " steps" +
                               (script.output.empty() ? "" : ", last: " + script.output.back()) + ")");
        }
    }
    // A script that ended has removed the program that ran, whatever the folder's name. (Its own file
    // may stay: somebody else may hold it.)
    if (!scripts.empty() && scripts.back().finished) {
        for (const auto& entry : after.files) {
            if (model.IsSecondPhaseImage(entry.first)) {
                problems.push_back("the cleanup script ended but left " + entry.first);
            }
        }
    }
    for (int process : again) {
        for (const sim::StartRecord& start : machine.shell.Starts()) {
            if (start.process == process) {
                problems.push_back("a start while an uninstall was under way started \"" + start.file + "\"");
            }
        }
    }

    // Message boxes: at most two in the first process, one in the second, none elsewhere.
    std::map<int, int> boxes;
    const sim::MessageBoxRecord* confirmation = nullptr;
    int missingPath = 0;
    int copyOrStart = 0;
    for (const sim::MessageBoxRecord& box : machine.desktop.MessageBoxes()) {
        ++boxes[box.process];
        if (box.process == first && confirmation == nullptr) {
            confirmation = &box;
        }
        if (box.caption != kProductName || box.hadOwner) {
            problems.push_back("message box \"" + box.text + "\" with caption \"" + box.caption + "\"");
        }
        missingPath += box.text == kMissingInstallPathMessage;
        copyOrStart += box.text == kCopyFailedMessage || box.text == kStartFailedMessage;
    }
    for (const auto& count : boxes) {
        int allowed = generated.silent ? 0 : count.first == first ? 2 : (count.first == second ? 1 : 0);
        if (count.second > allowed) {
            problems.push_back(std::to_string(count.second) + " message boxes in process " +
                               std::to_string(count.first));
        }
    }
    bool confirmed = typed || generated.silent || (confirmation != nullptr && confirmation->answer == IDOK);
    if (!confirmed) {
        if (!machine.shell.Starts().empty() || !machine.desktop.PostedMessages().empty() ||
            !SameState(before, after)) {
            problems.push_back("the uninstall went on without the user's OK");
        }
    }

    // Only the product's windows are asked to close, each once, by the first process.
    for (const sim::PostedMessage& posted : machine.desktop.PostedMessages()) {
        bool product = false;
        for (const sim::WindowRecord& window : machine.desktop.Windows()) {
            product =
                product || (window.handle == posted.window && sim::SameName(window.className, kWindowClass));
        }
        if (!product || posted.message != WM_CLOSE || posted.process != first) {
            problems.push_back("message " + std::to_string(posted.message) +
                               " posted to a window not the product's");
        }
    }
    std::set<HWND> asked;
    for (const sim::PostedMessage& posted : machine.desktop.PostedMessages()) {
        if (!asked.insert(posted.window).second) {
            problems.push_back("a window asked to close twice");
        }
    }

    // The product leaves the list of installed programs only once its uninstall is under way.
    const std::string entry = sim::UpperCase("HKLM\\" + kUninstallEntry);
    bool copyStarted = false;
    for (const sim::StartRecord& start : machine.shell.Starts()) {
        copyStarted = copyStarted || (start.process == first && start.accepted);
    }
    if (before.keys.count(entry) != 0 && after.keys.count(entry) == 0 && !copyStarted) {
        problems.push_back("the product was unlisted, but no copy was started");
    }

    // Every handle closed, every loop ended.
    if (machine.registry.OpenKeyCount() != 0 || machine.files.OpenFileHandleCount() != 0 ||
        machine.files.OpenFindHandleCount() != 0) {
        problems.push_back("handles left open: " + std::to_string(machine.registry.OpenKeyCount()) +
                           " keys, " + std::to_string(machine.files.OpenFileHandleCount()) + " files, " +
                           std::to_string(machine.files.OpenFindHandleCount()) + " searches");
    }
    std::map<int, int> calls;
    for (const sim::CallRecord& call : machine.journal.Calls()) {
        ++calls[call.process];
    }
    for (const auto& count : calls) {
        if (count.second > kCallLimit) {
            problems.push_back("process " + std::to_string(count.first) + " made more than " +
                               std::to_string(kCallLimit) + " calls");
        }
    }

    if (stats != nullptr) {
        RunStats run;
        run.machines = 1;
        run.cancelled = confirmed ? 0 : 1;
        run.secondPhases = second != 0 ? 1 : 0;
        run.scriptsRun = static_cast<int>(scripts.size());
        bool clean = !scripts.empty();
        for (const auto& entry : after.files) {
            if (model.IsSecondPhaseImage(entry.first) || model.IsNewScript(entry.first)) {
                clean = false;
            }
        }
        run.scriptsEndedClean = clean ? 1 : 0;
        for (const sim::Notification& notification : machine.shell.Notifications()) {
            run.installFoldersRemoved += notification.event == SHCNE_RMDIR;
        }
        for (const auto& entry : before.files) {
            if (after.files.count(entry.first) != 0) {
                continue;
            }
            const std::string& key = entry.first;
            auto endsWith = [&key](const std::string& tail) {
                return key.size() >= tail.size() &&
                       key.compare(key.size() - tail.size(), tail.size(), tail) == 0;
            };
            if (entry.second.folder && endsWith("\\VORSK SOFTWARE")) {
                run.vendorFoldersRemoved = 1;
            }
            if (endsWith("\\TANDREL.EXE")) {
                run.productFilesRemoved = 1;
            }
            run.readOnlyFilesRemoved |= (entry.second.attributes & FILE_ATTRIBUTE_READONLY) != 0;
        }
        run.percentTempSecondPhases = second != 0 && machine.files.TempPath().find('%') != std::string::npos;
        run.missingPathMessages = missingPath;
        run.copyOrStartMessages = copyOrStart;
        stats->Add(run);
    }
    return problems;
}

}  // namespace property
