#include "common/path_buffer.h"
#include "control/product_identity.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"

namespace {

const char kAppPathsKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const char kSoftwareKeyPath[] = "Software";

// Removes the product key below the vendor key under `root`, then the vendor key itself once it has
// no child key left. A count that cannot be read keeps the vendor key: it may still hold others'.
void PruneVendorKey(HKEY root) {
    HKEY vendorKey;
    if (RegOpenKeyExA(root, kProduct.vendorKeyPath, 0, KEY_ALL_ACCESS, &vendorKey) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteKeyA(vendorKey, kProduct.productKeyName);
    DWORD childKeys = 0;
    LONG status = RegQueryInfoKeyA(vendorKey, nullptr, nullptr, nullptr, &childKeys, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(vendorKey);
    if (status == ERROR_SUCCESS && childKeys == 0) {
        DeleteChildKey(root, kSoftwareKeyPath, kProduct.vendorKeyName);
    }
}

}  // namespace

int DeleteChildKey(HKEY root, LPCSTR parentPath, LPCSTR childName) {
    HKEY parent;
    if (RegOpenKeyExA(root, parentPath, 0, KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS) {
        return 0;
    }
    LONG status = RegDeleteKeyA(parent, childName);
    RegCloseKey(parent);
    return status == ERROR_SUCCESS;
}

// Children are deleted depth first, so each delete meets a key without children. A child that stays
// (it cannot be deleted, or its path would not fit) is stepped over, so the loop always ends.
void DeleteKeyTree(LPCSTR path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
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
        if (BuildPath(childPath, path, "\\", childName)) {
            DeleteKeyTree(childPath);
        }
        if (childPath[0] == 0 || RegDeleteKeyA(key, childName) != ERROR_SUCCESS) {
            ++index;
        }
    }
    RegCloseKey(key);
}

void RemoveRegistryEntries() {
    DeleteChildKey(HKEY_LOCAL_MACHINE, kAppPathsKeyPath, kProduct.mainExecutable);
    DeleteKeyTree(kProduct.productKeyPath);
    PruneVendorKey(HKEY_CURRENT_USER);
    // Under the machine-wide root only the product key itself is deleted, not its subtree.
    PruneVendorKey(HKEY_LOCAL_MACHINE);
}
