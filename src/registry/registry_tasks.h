// The product's registry work: reading its installation folder and removing its keys.
#pragma once

#include "common/product_identity.h"
#include "platform/windows_api.h"

// Reads a value of the product key under `root` into a MAX_PATH buffer; 1 on success, 0 on failure.
// Bad arguments are explained in a message box. Creates the product key, empty, when it is missing.
int QuerySzValue(HKEY root, LPCSTR valueName, LPSTR buffer);

// Removes the Uninstall entry, the App Paths entry, the product keys under both roots, and the vendor
// keys left without child keys; 1 when none of the product's own keys stays.
int RemoveRegistryEntries();

// Deletes every key below HKEY_CURRENT_USER\path, at any depth; the key itself and its values stay.
void DeleteKeyTree(LPCSTR path);

// Opens root\parentPath with full access and deletes its child key childName, unless that is a link;
// 1 when it was deleted.
int DeleteChildKey(HKEY root, LPCSTR parentPath, LPCSTR childName);

// Removes the product from the system's list of installed programs (its Uninstall entry); 1 when it
// was removed.
inline int RemoveUninstallEntry() {
    return DeleteChildKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath, kProduct.uninstallEntryName);
}
