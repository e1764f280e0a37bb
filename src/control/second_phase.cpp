#include "common/path_buffer.h"
#include "control/phases.h"
#include "control/product_identity.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"

namespace {
const char kMissingInstallPathMessage[] = "Can not find install path to remove files.";
}

void RunSecondPhase() {
    // The first process still holds it too, and waits for this signal before it ends, so that the
    // mutex never goes away in between. From here on, this process keeps it until it ends.
    HoldUninstallMutex();
    SignalHandOver();
    PathBuffer installPath;
    ClearPath(installPath);
    // Read before the registry entries go: their removal deletes the key that holds it.
    if (!QuerySzValue(HKEY_LOCAL_MACHINE, kProduct.installPathValueName, installPath)) {
        MessageBoxA(nullptr, kMissingInstallPathMessage, kProduct.displayName, MB_OK);
    }
    RemoveShortcuts();
    RemoveRegistryEntries();
    if (lstrlenA(installPath) > 1) {
        RemoveInstallFolder(installPath);
    }
    WriteCleanupScript();
}
