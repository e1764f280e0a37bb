#include "run_stats.h"

#include "support/product_names.h"

namespace property {

namespace {

using namespace product_names;

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The temporary copy and the script are both gone.
bool EndedClean(const FinishedRun& run) {
    if (run.starts.Scripts().empty()) {
        return false;
    }
    for (const auto& entry : run.after.files) {
        if (run.model.IsSecondPhaseImage(entry.first) || run.model.IsNewScript(entry.first)) {
            return false;
        }
    }
    return true;
}

// What of the product's went: the vendor folder, the executable, read-only files.
void TallyRemovals(const FinishedRun& run, RunStats& stats) {
    const std::string vendorFolder = sim::UpperCase(kVendorFolderMarker);
    const std::string executable = sim::UpperCase(std::string("\\") + kMainExecutable);
    for (const auto& entry : run.before.files) {
        if (run.after.files.count(entry.first) != 0) {
            continue;
        }
        if (entry.second.folder && EndsWith(entry.first, vendorFolder)) {
            stats.vendorFoldersRemoved = 1;
        }
        if (EndsWith(entry.first, executable)) {
            stats.productFilesRemoved = 1;
        }
        stats.readOnlyFilesRemoved |= (entry.second.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
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

RunStats Tally(const FinishedRun& run) {
    RunStats stats;
    stats.machines = 1;
    stats.cancelled = run.Confirmed() ? 0 : 1;
    stats.secondPhases = run.second != 0 ? 1 : 0;
    stats.scriptsRun = static_cast<int>(run.starts.Scripts().size());
    stats.scriptsEndedClean = EndedClean(run) ? 1 : 0;
    for (const sim::Notification& notification : run.machine.shell.Notifications()) {
        stats.installFoldersRemoved += notification.event == SHCNE_RMDIR;
    }
    TallyRemovals(run, stats);
    stats.percentTempSecondPhases =
        run.second != 0 && run.machine.files.TempPath().find('%') != std::string::npos;
    for (const sim::MessageBoxRecord& box : run.machine.desktop.MessageBoxes()) {
        stats.missingPathMessages += box.text == kMissingInstallPathText;
        stats.copyOrStartMessages += box.text == kCopyFailedText || box.text == kStartFailedText;
    }
    return stats;
}

}  // namespace property
