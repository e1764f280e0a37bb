#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"

namespace {

void RemoveShortcutIn(HKEY shellFolders, LPCSTR folderValueName) {
    PathBuffer shortcut;
    ClearPath(shortcut);
    DWORD size = MAX_PATH;
    if (RegQueryValueExA(shellFolders, folderValueName, nullptr, nullptr, reinterpret_cast<LPBYTE>(shortcut),
                         &size) != ERROR_SUCCESS ||
        !TerminateValueData(shortcut, size) || !IsFullPath(shortcut)) {
        return;
    }
    if (!EnsureTrailingBackslash(shortcut) || !AppendText(shortcut, MAX_PATH, kProduct.displayName) ||
        !AppendText(shortcut, MAX_PATH, kShortcutExtension)) {
        return;
    }
    // A read-only shortcut goes too, as the product's read-only files do; it is not waited for.
    int noPauses = 0;
    DeleteWhenFree(shortcut, noPauses);
    // Told whether or not the file was there: the shell may still show a stale entry.
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATH, shortcut, nullptr);
}

}  // namespace

void RemoveShortcuts() {
    HKEY shellFolders;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKeyPath, 0, KEY_QUERY_VALUE, &shellFolders) !=
        ERROR_SUCCESS) {
        return;
    }
    RemoveShortcutIn(shellFolders, kStartupValueName);
    RemoveShortcutIn(shellFolders, kProgramsValueName);
    RegCloseKey(shellFolders);
}
