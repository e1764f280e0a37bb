#include "common/path_buffer.h"
#include "control/phases.h"
#include "control/product_identity.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"

namespace {

const char kUninstallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kCopyFailedMessage[] = "Can not copy uninstall.exe to TEMP.";
const char kStartFailedMessage[] = "Can not start uninstall.exe in TEMP.";

// How long this process waits for the copy to say that it holds the mutex. A copy that never says so
// (it could not start after all) does not keep this process for longer.
const DWORD kHandOverWaitMs = 5000;

int ConfirmUninstall() {
    char text[300];
    text[0] = 0;
    AppendText(text, sizeof text, "This will uninstall ");
    AppendText(text, sizeof text, kProduct.displayName);
    AppendText(text, sizeof text, ".");
    // Only an explicit OK goes on: a box that could not be shown is no consent to delete anything.
    return MessageBoxA(nullptr, text, kProduct.displayName, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void ShowError(LPCSTR message) {
    MessageBoxA(nullptr, message, kProduct.displayName, MB_ICONERROR);
}

// The copy must be deletable once it has run: copying keeps a read-only attribute (an uninstaller
// installed from a CD is read-only), and the cleanup script would then try to delete it forever.
int CopyWritable(LPCSTR ownPath, LPCSTR copyPath) {
    return CopyFileA(ownPath, copyPath, FALSE) && SetFileAttributesA(copyPath, FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

int CloseRunningProduct() {
    HWND window = FindWindowA(kProduct.windowClassName, nullptr);
    if (window != nullptr) {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    return 1;
}

int RelaunchFromTemp() {
    PathBuffer ownPath;
    int ready = GetOwnPath(ownPath);
    PathBuffer copyPath;
    if (GetTempFolder(copyPath)) {
        CreateDirectoryA(copyPath, nullptr);
        ready = ready && EnsureTrailingBackslash(copyPath) &&
                AppendText(copyPath, MAX_PATH, kProduct.uninstallerFileName);
    } else {
        ready = 0;
    }
    if (!ready) {
        ShowError(kCopyFailedMessage);
        return 0;
    }
    // Refused before copying: a copy that is never started would stay in the temporary folder.
    if (!ExpandsToItself(copyPath)) {
        ShowError(kStartFailedMessage);
        return 0;
    }
    if (!CopyWritable(ownPath, copyPath)) {
        ShowError(kCopyFailedMessage);
        return 0;
    }

    // Made before the start, so that the copy finds it however soon it runs.
    HANDLE handOver = CreateEventA(nullptr, TRUE, FALSE, kProduct.handOverEventName);
    int started = 0;
    // Started from the temporary folder, the copy keeps no hold on the installation folder.
    PathBuffer workingFolder;
    if (GetTempFolder(workingFolder)) {
        HINSTANCE result =
            ShellExecuteA(nullptr, nullptr, copyPath, kProduct.secondPhaseSwitch, workingFolder, SW_MINIMIZE);
        started = reinterpret_cast<INT_PTR>(result) > 32;
    }
    if (started && handOver != nullptr) {
        // The mutex lives on this process's handle until the copy holds it too; ending earlier would
        // leave a moment in which a second start finds no uninstall under way.
        WaitForSingleObject(handOver, kHandOverWaitMs);
    }
    if (handOver != nullptr) {
        CloseHandle(handOver);
    }
    if (!started) {
        ShowError(kStartFailedMessage);
    }
    return started;
}

void RunFirstPhase() {
    // An uninstall is already under way (a second double-click, or a start while the copy works): it
    // removes everything, this program included, and a second one would keep the installed
    // uninstaller held past the copy's patience. So this one ends without a word.
    if (!HoldUninstallMutex() || !ConfirmUninstall()) {
        return;
    }
    CloseRunningProduct();
    // Unlisted before the hand-over is tried: a failed copy or start leaves the product unlisted.
    DeleteChildKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath, kProduct.uninstallEntryName);
    RelaunchFromTemp();
}
