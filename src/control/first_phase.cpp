#include "common/path_buffer.h"
#include "control/phases.h"
#include "control/product_identity.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"

namespace {

const char kUninstallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kCopyFailedMessage[] = "Can not copy uninstall.exe to TEMP.";
const char kStartFailedMessage[] = "Can not start uninstall.exe in TEMP.";

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
    // A path that did not fit would come back cut, naming some other file: it counts as not obtained.
    PathBuffer ownPath;
    DWORD ownLength = GetModuleFileNameA(nullptr, ownPath, MAX_PATH);
    int ready = ownLength > 0 && ownLength < MAX_PATH;

    PathBuffer copyPath;
    if (GetTempFolder(copyPath)) {
        CreateDirectoryA(copyPath, nullptr);
        ready = ready && EnsureTrailingBackslash(copyPath) &&
                AppendText(copyPath, MAX_PATH, kProduct.uninstallerFileName);
    } else {
        ready = 0;
    }
    if (!ready || !CopyWritable(ownPath, copyPath)) {
        ShowError(kCopyFailedMessage);
        return 0;
    }

    // Started from the temporary folder, the copy keeps no hold on the installation folder.
    PathBuffer workingFolder;
    if (GetTempFolder(workingFolder)) {
        HINSTANCE started =
            ShellExecuteA(nullptr, nullptr, copyPath, kProduct.secondPhaseSwitch, workingFolder, SW_MINIMIZE);
        if (reinterpret_cast<INT_PTR>(started) > 32) {
            return 1;
        }
    }
    ShowError(kStartFailedMessage);
    return 0;
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
