#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "control/hand_over.h"
#include "control/phases.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"

namespace {

// The product was asked to close by the first process; it may first save its work, or ask the user
// whether to. It is given ten seconds, looked at every 100 ms, before anything is removed.
const int kProductClosePauses = 100;
const DWORD kProductClosePauseMs = 100;

void WaitForProductToClose() {
    for (int pauses = 0;
         FindWindowA(kProduct.windowClassName, nullptr) != nullptr && pauses < kProductClosePauses;
         ++pauses) {
        Sleep(kProductClosePauseMs);
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
    DWORD firstProcessLingersMs = SignalHandOver() ? 0 : kHandOverWaitMs;
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
    RemoveShortcuts();
    RemoveRegistryEntries();
    if (usable && !RemoveInstallFolder(installPath, firstProcessLingersMs) && !silent) {
        ShowFilesStay(installPath);
    }
    WriteCleanupScript();
}
