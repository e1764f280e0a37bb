#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"

namespace {

// 1 unless the shortcut stays; a folder that cannot be named holds none of ours.
int RemoveShortcutIn(HKEY shellFolders, LPCSTR folderValueName) {
    PathBuffer shortcut;
    ClearPath(shortcut);
    DWORD size = MAX_PATH;
    if (RegQueryValueExA(shellFolders, folderValueName, nullptr, nullptr, reinterpret_cast<LPBYTE>(shortcut),
                         &size) != ERROR_SUCCESS ||
        !TerminateValueData(shortcut, size) || !IsFullPath(shortcut)) {
        return 1;
    }
    if (!EnsureTrailingBackslash(shortcut) || !AppendText(shortcut, MAX_PATH, kProduct.displayName) ||
        !AppendText(shortcut, MAX_PATH, kShortcutExtension)) {
        return 1;
    }
    // A read-only shortcut goes too, as the product's read-only files do; it is not waited for.
    int noPauses = 0;
    DWORD error = DeleteWhenFree(shortcut, noPauses);
    // Told whether or not the file was there: the shell may still show a stale entry.
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATH, shortcut, nullptr);
    return error == 0 || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

int RemoveShortcuts() {
    HKEY shellFolders;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKeyPath, 0, KEY_QUERY_VALUE, &shellFolders) !=
        ERROR_SUCCESS) {
        return 1;
    }
    int gone = RemoveShortcutIn(shellFolders, kStartupValueName);
    gone &= RemoveShortcutIn(shellFolders, kProgramsValueName);
    RegCloseKey(shellFolders);
    return gone;
}
