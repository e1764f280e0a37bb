#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"

namespace {

const char kLinkValueName[] = "SymbolicLinkValue";

// Opens parent\name itself, never what a link there leads to: the user may make any key of his own
// a link into keys he could not touch himself, which this program, run elevated, could. A link is
// refused (ERROR_ACCESS_DENIED). Windows 9x knows no links, nor the option: there a plain open serves.
LONG OpenOwnChildKey(HKEY parent, LPCSTR name, REGSAM access, HKEY& key) {
    LONG status = RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, &key);
    if (status == ERROR_INVALID_PARAMETER) {
        return RegOpenKeyExA(parent, name, 0, access, &key);
    }
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // The size is asked for too: Wine tells the type only then.
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, kLinkValueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_LINK) {
        RegCloseKey(key);
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

// Deletes parent\name, unless it is a link: a delete by name goes through a link to the key it leads
// to, which is somebody else's.
LONG DeleteOwnChildKey(HKEY parent, LPCSTR name) {
    HKEY child;
    LONG status = OpenOwnChildKey(parent, name, KEY_QUERY_VALUE, child);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    RegCloseKey(child);
    return RegDeleteKeyA(parent, name);
}

// Opens root\path one key at a time, each the key itself and no link, the last with full access.
LONG OpenOwnKeyPath(HKEY root, LPCSTR path, HKEY& key) {
    PathBuffer names;
    if (!CopyText(names, MAX_PATH, path)) {
        return ERROR_FILE_NOT_FOUND;
    }
    HKEY parent = root;
    for (LPSTR name = names;;) {
        LPSTR end = name;
        while (*end != 0 && *end != '\\') {
            ++end;
        }
        int last = *end == 0;
        *end = 0;
        LONG status = OpenOwnChildKey(parent, name, last ? KEY_ALL_ACCESS : KEY_QUERY_VALUE, key);
        if (parent != root) {
            RegCloseKey(parent);
        }
        if (status != ERROR_SUCCESS || last) {
            return status;
        }
        parent = key;
        name = end + 1;
    }
}

// Removes the product key below the vendor key under `root`, then the vendor key itself once it has
// no child key left. A count that cannot be read keeps the vendor key: it may still hold others'.
void DeleteProductKeyAndEmptyVendorKey(HKEY root) {
    HKEY vendorKey;
    if (OpenOwnKeyPath(root, kProduct.vendorKeyPath, vendorKey) != ERROR_SUCCESS) {
        return;
    }
    DeleteOwnChildKey(vendorKey, kProduct.productKeyName);
    DWORD childKeys = 0;
    LONG status = RegQueryInfoKeyA(vendorKey, nullptr, nullptr, nullptr, &childKeys, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(vendorKey);
    if (status == ERROR_SUCCESS && childKeys == 0) {
        DeleteChildKey(root, kSoftwareKeyPath, kProduct.vendorKeyName);
    }
}

// Children are deleted depth first, so each delete meets a key without children. A child that stays
// (a link, one that cannot be deleted, or whose path would not fit) is stepped over, so the loop
// always ends; a link is never entered.
void DeleteChildKeys(HKEY key, LPCSTR path) {
    DWORD index = 0;
    for (;;) {
        PathBuffer childName;
        DWORD nameSize = MAX_PATH;
        FILETIME lastWrite;
        if (RegEnumKeyExA(key, index, childName, &nameSize, nullptr, nullptr, nullptr, &lastWrite) !=
            ERROR_SUCCESS) {
            break;
        }
        PathBuffer childPath;
        HKEY child;
        int deleted = 0;
        if (BuildPath(childPath, path, "\\", childName) &&
            OpenOwnChildKey(key, childName, KEY_ALL_ACCESS, child) == ERROR_SUCCESS) {
            DeleteChildKeys(child, childPath);
            RegCloseKey(child);
            deleted = RegDeleteKeyA(key, childName) == ERROR_SUCCESS;
        }
        if (!deleted) {
            ++index;
        }
    }
}

// Whether root\path[\name] is not there. A key that cannot be looked at, or a link left in its
// place, counts as staying.
int IsKeyGone(HKEY root, LPCSTR path, LPCSTR name) {
    PathBuffer full;
    if (!BuildPath(full, path, name != nullptr ? "\\" : "", name)) {
        return 0;
    }
    HKEY key;
    LONG status = RegOpenKeyExA(root, full, 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    return status == ERROR_FILE_NOT_FOUND;
}

}  // namespace

int DeleteChildKey(HKEY root, LPCSTR parentPath, LPCSTR childName) {
    HKEY parent;
    if (RegOpenKeyExA(root, parentPath, 0, KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS) {
        return 0;
    }
    LONG status = DeleteOwnChildKey(parent, childName);
    RegCloseKey(parent);
    return status == ERROR_SUCCESS;
}

void DeleteKeyTree(LPCSTR path) {
    HKEY key;
    if (OpenOwnKeyPath(HKEY_CURRENT_USER, path, key) == ERROR_SUCCESS) {
        DeleteChildKeys(key, path);
        RegCloseKey(key);
    }
}

int RemoveRegistryEntries() {
    // Usually gone already: the first process unlists the product once this one has taken over, but
    // one that took over late finds it still there.
    RemoveUninstallEntry();
    DeleteChildKey(HKEY_LOCAL_MACHINE, kAppPathsKeyPath, kProduct.mainExecutable);
    DeleteKeyTree(kProduct.productKeyPath);
    DeleteProductKeyAndEmptyVendorKey(HKEY_CURRENT_USER);
    // Under the machine-wide root only the product key itself is deleted, not its subtree.
    DeleteProductKeyAndEmptyVendorKey(HKEY_LOCAL_MACHINE);
    return IsKeyGone(HKEY_LOCAL_MACHINE, kUninstallKeyPath, kProduct.uninstallEntryName) &&
           IsKeyGone(HKEY_LOCAL_MACHINE, kAppPathsKeyPath, kProduct.mainExecutable) &&
           IsKeyGone(HKEY_CURRENT_USER, kProduct.productKeyPath, nullptr) &&
           IsKeyGone(HKEY_LOCAL_MACHINE, kProduct.productKeyPath, nullptr);
}
