#include "common/folders.h"
#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "control/hand_over.h"
#include "control/phases.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"

namespace {

// Every window of the product's class is asked to close (each instance has one), but no more than
// this many: the walk ends whatever the desktop holds.
const int kMaxProductWindows = 64;

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

// Whether a file or folder of the copy's name and this ending is there, or cannot be told absent.
// The loader takes "uninstall.exe.manifest" beside the program for its manifest, and
// "uninstall.exe.local" as leave to load DLLs from its folder first: placed in the temporary folder
// by anybody, either would make the copy, which runs elevated, load their DLLs from there.
int LiesBeside(LPCSTR copyPath, LPCSTR ending) {
    PathBuffer path;
    return !BuildPath(path, copyPath, ending) || !IsMissing(path);
}

// The hand-over event, cleared: one of that name that somebody left set must not end the wait before
// the copy has taken over. Null when the name is another kind of object's.
HANDLE CreateHandOverEvent() {
    HANDLE handOver = CreateEventA(nullptr, TRUE, FALSE, kProduct.handOverEventName);
    if (handOver != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        ResetEvent(handOver);
    }
    return handOver;
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
    if (!ExpandsToItself(copyPath) || LiesBeside(copyPath, ".manifest") || LiesBeside(copyPath, ".local")) {
        ShowError(kStartFailedMessage, silent);
        return 0;
    }
    // Only a folder that passed is made, when it is missing.
    CreateDirectoryA(paths.workingFolder, nullptr);
    return 1;
}

void CloseRunningProduct() {
    // Found first and asked afterwards: a window that closes at once would end the walk early.
    HWND windows[kMaxProductWindows];
    int count = 0;
    HWND window = nullptr;
    while (count < kMaxProductWindows &&
           (window = FindWindowExA(nullptr, window, kProduct.windowClassName, nullptr)) != nullptr) {
        windows[count++] = window;
    }
    for (int i = 0; i < count; ++i) {
        PostMessageA(windows[i], WM_CLOSE, 0, 0);
    }
}

int RelaunchFromTemp(const HandOverPaths& paths, int silent) {
    if (!CopyWritable(paths.ownPath, paths.copyPath)) {
        ShowError(kCopyFailedMessage, silent);
        return ERROR_INSTALL_FAILURE;
    }
    // Asked only once the copy is there: a copy that cannot be made leaves the product running.
    CloseRunningProduct();
    // Made before the start, so that the copy finds it however soon it runs.
    HANDLE handOver = CreateHandOverEvent();
    // Started from the temporary folder, the copy keeps no hold on the installation folder.
    LPCSTR parameters = silent ? kProduct.silentSecondPhaseParameters : kProduct.secondPhaseSwitch;
    HINSTANCE result =
        ShellExecuteA(nullptr, nullptr, paths.copyPath, parameters, paths.workingFolder, SW_MINIMIZE);
    int started = reinterpret_cast<INT_PTR>(result) > 32;
    int tookOver = 0;
    if (started) {
        // Unlisted only now: until the copy runs, the list of installed programs is where the user
        // starts an uninstall again from.
        RemoveUninstallEntry();
        // The mutex lives on this process's handle until the copy holds it too; ending earlier would
        // leave a moment in which a second start finds no uninstall under way. Where the event's
        // name is taken, the copy cannot say so either, and the whole time is waited.
        if (handOver != nullptr) {
            tookOver = WaitForSingleObject(handOver, kHandOverWaitMs) == WAIT_OBJECT_0;
        } else {
            Sleep(kHandOverWaitMs);
        }
    } else {
        DeleteFileA(paths.copyPath);
        ShowError(kStartFailedMessage, silent);
    }
    if (handOver != nullptr) {
        CloseHandle(handOver);
    }
    // A copy that has not said it took over may still be starting: an unattended run cannot tell
    // that it went well, and says so.
    return tookOver ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
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
