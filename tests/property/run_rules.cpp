#include "run_rules.h"

#include <algorithm>
#include <map>
#include <set>

#include "support/product_names.h"

namespace property {

namespace {

using namespace product_names;

// No process of the uninstaller makes anywhere near this many calls; more means a loop that did not end.
constexpr int kCallLimit = 200000;

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

// How often the user chose Retry for a product still running: each time, its windows are asked again
// and one more box may come.
int Retries(const FinishedRun& run) {
    int retries = 0;
    for (const sim::MessageBoxRecord& box : run.machine.desktop.MessageBoxes()) {
        retries += box.process == run.first && (box.type & 0xF) == MB_RETRYCANCEL && box.answer == IDRETRY;
    }
    return retries;
}

// The status every program of the uninstall ends with: 0 unattended, 1 otherwise.
int PlainExitStatus(const FinishedRun& run) {
    return run.generated.silent ? ERROR_SUCCESS : 1;
}

// Something of the product still there after the run, or nothing: one of its keys, or one of its
// files in the installation folder or directly in images, where the path the program composes for it
// from the folder's text fits. The installed uninstaller goes only once the first process has ended.
std::string ProductLeft(const FinishedRun& run) {
    for (const std::string& key :
         {"HKLM\\" + kUninstallEntry, "HKLM\\" + kAppPathsEntry, "HKLM\\" + std::string(kProductKey),
          "HKCU\\" + std::string(kProductKey)}) {
        if (run.after.keys.count(sim::UpperCase(key)) != 0) {
            return key;
        }
    }
    const std::optional<std::string>& folder = run.model.ProductFolder();
    const std::vector<std::string>& names = ProductFileNames();
    for (const auto& entry : run.after.files) {
        const std::string& path = entry.second.path;
        const std::string name = path.substr(path.find_last_of('\\') + 1);
        const bool named = std::any_of(names.begin(), names.end(), [&name](const std::string& ours) {
            return sim::SameName(ours, name);
        });
        auto composed = [&entry](const std::string& text) {
            return text.size() < MAX_PATH && FullPathKey(text) == entry.first;
        };
        if (folder && !entry.second.folder && run.model.FileMayGo(entry.first) &&
            ((named && composed(*folder + "\\" + name)) ||
             composed(*folder + kImagesSubfolder + "\\" + name))) {
            return path;
        }
    }
    return "";
}

}  // namespace

bool FinishedRun::Confirmed() const {
    if (typed || generated.silent) {
        return true;
    }
    for (const sim::MessageBoxRecord& box : machine.desktop.MessageBoxes()) {
        if (box.process == first) {
            return box.answer == IDOK;  // the first process's first box is the confirmation
        }
    }
    return false;
}

void ExitStatusesAsDocumented(const FinishedRun& run, std::vector<std::string>& problems) {
    const int status = run.starts.user.exitStatus;
    // Unattended, 0 says the product is gone, 1603 anything else. The user's start never finds another
    // uninstall under way (1618): no generated machine holds the uninstall's mutex.
    const std::string left = run.generated.silent && !run.typed ? ProductLeft(run) : "";
    bool statusKnown = run.generated.silent && !run.typed
                           ? status == ERROR_INSTALL_FAILURE || (status == ERROR_SUCCESS && left.empty())
                           : status == PlainExitStatus(run);
    if (!statusKnown) {
        problems.push_back("first process exit status " + std::to_string(status) +
                           (left.empty() ? "" : ", but " + left + " is left"));
    }
    for (const sim::StartOutcome& outcome : run.starts.Programs()) {
        if (outcome.exitStatus != PlainExitStatus(run)) {
            problems.push_back("process " + std::to_string(outcome.process) + " exit status " +
                               std::to_string(outcome.exitStatus));
        }
    }
}

void NothingOutsideTheModelChanged(const FinishedRun& run, std::vector<std::string>& problems) {
    for (const std::string& problem : run.model.Compare(run.before, run.after)) {
        problems.push_back(problem);
    }
}

void OnlyTheCopyAndItsScriptWereStarted(const FinishedRun& run, std::vector<std::string>& problems) {
    int firstStarts = 0;
    int secondStarts = 0;
    for (const sim::StartRecord& start : run.machine.shell.Starts()) {
        std::optional<std::string> key = FullPathKey(start.file);
        if (start.process == run.first && !run.typed) {
            ++firstStarts;
            const char* expected = run.generated.silent ? kSilentSecondPhase : kSecondPhaseSwitch;
            if (!key || !run.model.IsSecondPhaseImage(*key) ||
                start.parameters != std::optional<std::string>(expected)) {
                problems.push_back("first process started \"" + start.file + "\" " +
                                   start.parameters.value_or(""));
            }
        } else if (run.second != 0 && start.process == run.second) {
            ++secondStarts;
            if (!key || !run.model.IsNewScript(*key) || start.parameters.has_value()) {
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
}

void ScriptsEnded(const FinishedRun& run, std::vector<std::string>& problems) {
    const std::vector<sim::BatchRun> scripts = run.starts.Scripts();
    for (const sim::BatchRun& script : scripts) {
        if (!script.finished || script.stepLimitReached) {
            problems.push_back("cleanup script " + script.script + " did not end (" +
                               std::to_string(script.steps) + " steps" +
                               (script.output.empty() ? "" : ", last: " + script.output.back()) + ")");
        }
    }
    // Whatever the folder's name. (Its own file may stay: somebody else may hold it.)
    if (!scripts.empty() && scripts.back().finished) {
        for (const auto& entry : run.after.files) {
            if (run.model.IsSecondPhaseImage(entry.first)) {
                problems.push_back("the cleanup script ended but left " + entry.first);
            }
        }
    }
}

void StartsWhileUnderWayStartNothing(const FinishedRun& run, std::vector<std::string>& problems) {
    for (int process : run.again) {
        for (const sim::StartRecord& start : run.machine.shell.Starts()) {
            if (start.process == process) {
                problems.push_back("a start while an uninstall was under way started \"" + start.file + "\"");
            }
        }
    }
}

void BoxesCaptionedWithTheProductsName(const FinishedRun& run, std::vector<std::string>& problems) {
    for (const sim::MessageBoxRecord& box : run.machine.desktop.MessageBoxes()) {
        if (box.caption != kProductName || box.hadOwner) {
            problems.push_back("message box \"" + box.text + "\" with caption \"" + box.caption + "\"");
        }
    }
}

void BoxesWithinTheirAllowance(const FinishedRun& run, std::vector<std::string>& problems) {
    std::map<int, int> boxes;
    for (const sim::MessageBoxRecord& box : run.machine.desktop.MessageBoxes()) {
        ++boxes[box.process];
    }
    for (const auto& count : boxes) {
        int allowed = run.generated.silent       ? 0
                      : count.first == run.first ? 2 + Retries(run)
                                                 : (count.first == run.second ? 1 : 0);
        if (count.second > allowed) {
            problems.push_back(std::to_string(count.second) + " message boxes in process " +
                               std::to_string(count.first));
        }
    }
}

void NoGoingOnWithoutConsent(const FinishedRun& run, std::vector<std::string>& problems) {
    if (!run.Confirmed() &&
        (!run.machine.shell.Starts().empty() || !run.machine.desktop.PostedMessages().empty() ||
         !SameState(run.before, run.after))) {
        problems.push_back("the uninstall went on without the user's OK");
    }
}

void OnlyTheProductsWindowsAskedToClose(const FinishedRun& run, std::vector<std::string>& problems) {
    const sim::Desktop& desktop = run.machine.desktop;
    for (const sim::PostedMessage& posted : desktop.PostedMessages()) {
        bool product = false;
        for (const sim::WindowRecord& window : desktop.Windows()) {
            product =
                product || (window.handle == posted.window && sim::SameName(window.className, kWindowClass));
        }
        if (!product || posted.message != WM_CLOSE || posted.process != run.first) {
            problems.push_back("message " + std::to_string(posted.message) +
                               " posted to a window not the product's");
        }
    }
    std::map<HWND, int> asked;
    for (const sim::PostedMessage& posted : desktop.PostedMessages()) {
        if (++asked[posted.window] > 1 + Retries(run)) {
            problems.push_back("a window asked to close more often than the user chose Retry");
        }
    }
}

void UnlistedOnlyOnceASecondPhaseRan(const FinishedRun& run, std::vector<std::string>& problems) {
    const std::string entry = sim::UpperCase("HKLM\\" + kUninstallEntry);
    if (run.before.keys.count(entry) != 0 && run.after.keys.count(entry) == 0 && run.second == 0) {
        problems.push_back("the product was unlisted, but no second phase ran");
    }
}

void HandlesClosedAndLoopsEnded(const FinishedRun& run, std::vector<std::string>& problems) {
    const sim::Machine& machine = run.machine;
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
}

}  // namespace property
