#include "common/folders.h"
#include "common/limits.h"
#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "control/hand_over.h"
#include "control/phases.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"
#include "rules/safety_rules.h"

namespace {

void WaitForProductToClose() {
    // The first process saw the product end before it started this one.
    for (DWORD waited = 0;
         FindWindowA(kProduct.windowClassName, nullptr) != nullptr && waited < kProductRestartedWaitMs;
         waited += kProductLookMs) {
        Sleep(kProductLookMs);
    }
}

// "Can not remove all files of VORSK Tandrel 98. They stay in C:\...\Tandrel."
void ShowFilesStay(LPCSTR installPath) {
    char text[MAX_PATH + 100];
    CopyText(text, sizeof text, kFilesStayStart);
    AppendText(text, sizeof text, kProduct.displayName);
    AppendText(text, sizeof text, kFilesStayPlace);
    AppendText(text, sizeof text, installPath);
    AppendText(text, sizeof text, kFullStop);
    MessageBoxA(nullptr, text, kProduct.displayName, MB_ICONERROR);
}

}  // namespace

void RunSecondPhase(int silent) {
    // The first process still holds it too, and waits for this signal before it ends, so that the
    // mutex never goes away in between. From here on, this process keeps it until it ends.
    HoldUninstallMutex();
    // A first process that could not be told waits the whole time, holding the installed uninstaller.
    DWORD firstProcessLingersMs = SignalHandOver() ? 0 : kTakeOverWaitMs;
    PathBuffer installPath;
    ClearPath(installPath);
    // Read before the registry entries go: their removal deletes the key that holds it. A value that
    // cannot serve is said before anything is removed, as a missing one is.
    int found = QuerySzValue(HKEY_LOCAL_MACHINE, kProduct.installPathValueName, installPath);
    UseBackslashes(installPath);
    int usable = found && IsProductFolder(installPath);
    if (!usable && !silent) {
        MessageBoxA(nullptr, kMissingInstallPathMessage, kProduct.displayName, MB_OK);
    }
    WaitForProductToClose();
    int entriesGone = RemoveShortcuts();
    entriesGone &= RemoveRegistryEntries();
    int filesGone = usable && RemoveProductFiles(installPath);
    // An unattended first process waits for this before it ends, and only then lets go of the
    // installed uninstaller, which is all that is left to remove.
    if (silent) {
        TellVerdict(entriesGone && filesGone);
    }
    int uninstallerGone = usable && RemoveUninstallerAndFolder(installPath, firstProcessLingersMs);
    // Started by hand with the switch from the installation folder, the installed uninstaller is this
    // very program, which the cleanup script deletes.
    uninstallerGone = uninstallerGone || (usable && RunsFromFolder(installPath));
    if (usable && !(filesGone && uninstallerGone) && !silent) {
        ShowFilesStay(installPath);
    }
    WriteCleanupScript();
}
