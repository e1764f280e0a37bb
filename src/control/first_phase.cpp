#include "common/folders.h"
#include "common/limits.h"
#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "control/hand_over.h"
#include "control/phases.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"
#include "rules/safety_rules.h"

namespace {

int ConfirmUninstall(int silent) {
    if (silent) {
        return 1;  // the command is the consent
    }
    char text[300];
    text[0] = 0;
    AppendText(text, sizeof text, kConfirmationStart);
    AppendText(text, sizeof text, kProduct.displayName);
    AppendText(text, sizeof text, kFullStop);
    // Only an explicit OK goes on: a box that could not be shown is no consent to delete anything.
    return MessageBoxA(nullptr, text, kProduct.displayName, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void ShowError(LPCSTR message, int silent) {
    if (!silent) {
        MessageBoxA(nullptr, message, kProduct.displayName, MB_ICONERROR);
    }
}

// The copy must be deletable once it has run: copying keeps a read-only attribute (an uninstaller
// installed from a CD is read-only), and the cleanup script would then try to delete it forever.
// Nothing of a failed copy is left in the temporary folder: a full disk leaves a cut one.
int CopyWritable(LPCSTR ownPath, LPCSTR copyPath) {
    if (CopyFileA(ownPath, copyPath, FALSE) && SetFileAttributesA(copyPath, FILE_ATTRIBUTE_NORMAL)) {
        return 1;
    }
    // Started from the temporary folder itself, the copy would be this very program.
    if (lstrcmpiA(ownPath, copyPath) != 0) {
        DeleteFileA(copyPath);
    }
    return 0;
}

// Asks every window of the product's class to close, and opens the process of each (once) to see it
// end; the number of windows asked.
int AskProductToClose(HANDLE processes[], int& processCount) {
    // Found first and asked afterwards: a window that closes at once would end the walk early.
    HWND windows[kMaxProductWindows];
    int count = 0;
    HWND window = nullptr;
    while (count < kMaxProductWindows &&
           (window = FindWindowExA(nullptr, window, kProduct.windowClassName, nullptr)) != nullptr) {
        windows[count++] = window;
    }
    DWORD ids[kMaxProductWindows];
    processCount = 0;
    for (int i = 0; i < count; ++i) {
        DWORD id = 0;
        GetWindowThreadProcessId(windows[i], &id);
        int known = id == 0;
        for (int j = 0; j < processCount && !known; ++j) {
            known = ids[j] == id;
        }
        // A process that cannot be opened is seen through its windows alone.
        HANDLE process = known ? nullptr : OpenProcess(SYNCHRONIZE, FALSE, id);
        if (process != nullptr) {
            ids[processCount] = id;
            processes[processCount++] = process;
        }
        PostMessageA(windows[i], WM_CLOSE, 0, 0);
    }
    return count;
}

// Whether a window of the product is left, or one of its processes still runs: a product whose window
// has gone may still be saving, and holds its files until it ends.
int ProductStillRuns(const HANDLE processes[], int processCount) {
    for (int i = 0; i < processCount; ++i) {
        if (WaitForSingleObject(processes[i], 0) == WAIT_TIMEOUT) {
            return 1;
        }
    }
    return FindWindowA(kProduct.windowClassName, nullptr) != nullptr;
}

// "VORSK Tandrel 98 is still running. Close it, then choose Retry."; 1 when the user chose Retry.
int AskUserToClose() {
    char text[300];
    CopyText(text, sizeof text, kProduct.displayName);
    AppendText(text, sizeof text, kStillRunningEnd);
    return MessageBoxA(nullptr, text, kProduct.displayName, MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDRETRY;
}

}  // namespace

int CloseRunningProduct(int silent) {
    // Each turn but the first is the user's choice.
    for (;;) {
        HANDLE processes[kMaxProductWindows];
        int processCount = 0;
        int running = AskProductToClose(processes, processCount) > 0;
        for (DWORD waited = 0; running && waited < kProductCloseWaitMs; waited += kProductLookMs) {
            Sleep(kProductLookMs);
            running = ProductStillRuns(processes, processCount);
        }
        for (int i = 0; i < processCount; ++i) {
            CloseHandle(processes[i]);
        }
        if (!running) {
            return 1;
        }
        if (silent || !AskUserToClose()) {
            return 0;
        }
    }
}

namespace {

// The copy has been started: waits for it to take over, then, unattended, for its verdict.
int AwaitCopy(const CopyEvents& events, LPCSTR copyPath, int silent) {
    int seen = WaitForCopy(&events.handOver, 1, copyPath, kTakeOverWaitMs);
    // A copy that ended without taking over, or still has not, did nothing: the product stays listed.
    // Only where the hand-over's name is another object's can the first process not tell.
    if (seen == kCopyEnded || (seen == kCopyStillRuns && events.handOver != nullptr)) {
        ShowError(kStartFailedMessage, silent);
        return ERROR_INSTALL_FAILURE;
    }
    if (seen == 0) {
        // Unlisted only now: until the copy works, the list of installed programs is where the user
        // starts an uninstall again from. The copy unlists it too, should it take over later.
        RemoveUninstallEntry();
    }
    if (!silent) {
        return ERROR_SUCCESS;
    }
    // The verdict comes once everything but the installed uninstaller is gone; this process must end
    // before that can go. A copy that ends without one, or a verdict somebody else could give, is no
    // success.
    if (!events.verdictTrusted) {
        return ERROR_INSTALL_FAILURE;
    }
    return WaitForCopy(events.verdicts, 2, copyPath, kVerdictWaitMs) == 0 ? ERROR_SUCCESS
                                                                          : ERROR_INSTALL_FAILURE;
}

}  // namespace

int PrepareHandOver(HandOverPaths& paths, int silent) {
    PathBuffer& copyPath = paths.copyPath;
    // The temporary folder is refused where it is not one: a copy put there would overwrite, and the
    // cleanup script would delete, somebody else's uninstall.exe.
    int ready = GetOwnPath(paths.ownPath) && GetTempFolder(copyPath) && IsUsableTempFolder(copyPath) &&
                GetTempFolder(paths.workingFolder) && EnsureTrailingBackslash(copyPath) &&
                AppendText(copyPath, MAX_PATH, kProduct.uninstallerFileName);
    if (!ready) {
        ShowError(kCopyFailedMessage, silent);
        return 0;
    }
    // Refused before copying: a copy that is never started would stay in the temporary folder.
    if (!CanStartCopyAt(copyPath)) {
        ShowError(kStartFailedMessage, silent);
        return 0;
    }
    // Only a folder that passed is made, when it is missing.
    CreateDirectoryA(paths.workingFolder, nullptr);
    return 1;
}

int RelaunchFromTemp(const HandOverPaths& paths, int silent) {
    if (!CopyWritable(paths.ownPath, paths.copyPath)) {
        ShowError(kCopyFailedMessage, silent);
        return ERROR_INSTALL_FAILURE;
    }
    // Asked only once the copy is there: a copy that cannot be made leaves the product running. Nothing
    // has changed but the copy until the product has gone.
    if (!CloseRunningProduct(silent)) {
        DeleteFileA(paths.copyPath);
        return silent ? ERROR_INSTALL_FAILURE : ERROR_INSTALL_USEREXIT;
    }
    CopyEvents events;
    OpenCopyEvents(events, silent);
    // Started from the temporary folder, the copy keeps no hold on the installation folder.
    LPCSTR parameters = silent ? kProduct.silentSecondPhaseParameters : kProduct.secondPhaseSwitch;
    HINSTANCE result =
        ShellExecuteA(nullptr, nullptr, paths.copyPath, parameters, paths.workingFolder, SW_MINIMIZE);
    int status = ERROR_INSTALL_FAILURE;
    if (reinterpret_cast<INT_PTR>(result) > 32) {
        status = AwaitCopy(events, paths.copyPath, silent);
    } else {
        DeleteFileA(paths.copyPath);
        ShowError(kStartFailedMessage, silent);
    }
    CloseCopyEvents(events);
    return status;
}

int RunFirstPhase(int silent) {
    // An uninstall is already under way (a second double-click, or a start while the copy works): it
    // removes everything, this program included, and a second one would keep the installed
    // uninstaller held past the copy's patience. So this one ends without a word.
    if (!HoldUninstallMutex()) {
        return ERROR_INSTALL_ALREADY_RUNNING;
    }
    if (!ConfirmUninstall(silent)) {
        return ERROR_INSTALL_USEREXIT;
    }
    // Every refusal comes before anything changes; every failure until the copy runs leaves the
    // product listed, so that the user can start its uninstall again.
    HandOverPaths paths;
    if (!PrepareHandOver(paths, silent)) {
        return ERROR_INSTALL_FAILURE;
    }
    return RelaunchFromTemp(paths, silent);
}
