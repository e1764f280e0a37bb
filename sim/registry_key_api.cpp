// The registry functions of the simulated Windows on keys: opening, creating (links too), listing,
// deleting and closing them. Keys are found without regard to letter case; a handle to a key deleted
// meanwhile answers ERROR_KEY_DELETED, as on NT.
#include <algorithm>
#include <cstring>

#include "api_call.h"

using sim::ApiCall;
using sim::Machine;
using sim::Narrow;
using sim::Registry;
using sim::RegistryKey;

namespace {

std::vector<std::string> SubkeyParts(LPCSTR subkey) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* c = subkey; c != nullptr && *c != 0; ++c) {
        if (*c == '\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += *c;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

// Walks from an open key to a subkey, through the links on the way; null when some part is missing.
// With `openLink`, a link as the last key of the path is the key itself, as REG_OPTION_OPEN_LINK asks.
std::shared_ptr<RegistryKey> Walk(const Registry& registry, const std::shared_ptr<RegistryKey>& from,
                                  LPCSTR subkey, bool openLink = false) {
    std::shared_ptr<RegistryKey> key = from;
    std::vector<std::string> parts = SubkeyParts(subkey);
    for (size_t i = 0; i < parts.size(); ++i) {
        auto child = key->children.find(sim::UpperCase(parts[i]));
        if (child == key->children.end()) {
            return nullptr;
        }
        key = openLink && i + 1 == parts.size() ? child->second : registry.FollowLink(child->second);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

std::string Join(const std::string& base, LPCSTR subkey) {
    return subkey == nullptr || *subkey == 0 ? base : base + "\\" + subkey;
}

bool HasProtectedKey(const RegistryKey& key) {
    if (key.denyDelete || key.denyOpen) {
        return true;
    }
    for (const auto& child : key.children) {
        if (HasProtectedKey(*child.second)) {
            return true;
        }
    }
    return false;
}

void MarkDeleted(RegistryKey& key) {
    key.deleted = true;
    for (auto& child : key.children) {
        MarkDeleted(*child.second);
    }
}

// What opening and creating a key share: the journal, the out handle cleared, faults and a bad base
// key. 0 when the call goes on, with the base key in `base`.
LONG BeginOpen(const char* function, HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult, Registry::KeyLookup& base) {
    Registry& registry = Machine::Current().registry;
    DWORD status = registry.KeyFromHandle(hKey, base);
    ApiCall call(function, Join(base.path, lpSubKey));
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    if (call.faulted()) {
        return static_cast<LONG>(call.fault->error);
    }
    return static_cast<LONG>(status);
}

}  // namespace

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM, PHKEY phkResult) {
    Registry& registry = Machine::Current().registry;
    Registry::KeyLookup base;
    if (LONG status = BeginOpen("RegOpenKeyExA", hKey, lpSubKey, phkResult, base)) {
        return status;
    }
    if (lpSubKey != nullptr && lpSubKey[0] == '\\') {
        return ERROR_BAD_PATHNAME;  // a subkey path is relative to the key
    }
    std::shared_ptr<RegistryKey> key =
        Walk(registry, base.key, lpSubKey, (ulOptions & REG_OPTION_OPEN_LINK) != 0);
    if (!key) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (key->denyOpen) {
        return ERROR_ACCESS_DENIED;
    }
    *phkResult = registry.OpenKeyHandle(key, Join(base.path, lpSubKey));
    return ERROR_SUCCESS;
}

namespace {

// What RegCreateKeyExA and RegCreateKeyExW share, once the subkey is in ANSI. With
// REG_OPTION_CREATE_LINK the last key is made a link, which leads nowhere until its
// "SymbolicLinkValue" is set.
LONG CreateKey(const char* function, HKEY hKey, LPCSTR lpSubKey, DWORD dwOptions, PHKEY phkResult,
               LPDWORD lpdwDisposition) {
    Registry& registry = Machine::Current().registry;
    Registry::KeyLookup base;
    if (LONG status = BeginOpen(function, hKey, lpSubKey, phkResult, base)) {
        return status;
    }
    std::shared_ptr<RegistryKey> key = base.key;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    std::vector<std::string> parts = SubkeyParts(lpSubKey);
    for (size_t i = 0; i < parts.size(); ++i) {
        bool makeLink = (dwOptions & REG_OPTION_CREATE_LINK) != 0 && i + 1 == parts.size();
        auto& slot = key->children[sim::UpperCase(parts[i])];
        if (slot && makeLink) {
            return ERROR_ALREADY_EXISTS;
        }
        if (!slot) {
            if (key->denyOpen) {
                key->children.erase(sim::UpperCase(parts[i]));
                return ERROR_ACCESS_DENIED;
            }
            slot = std::make_shared<RegistryKey>();
            slot->name = parts[i];
            slot->parent = key.get();
            slot->link = makeLink;
            disposition = REG_CREATED_NEW_KEY;
        }
        bool created = false;
        key = makeLink ? slot : registry.FollowLinkCreating(slot, created);
        if (created) {
            disposition = REG_CREATED_NEW_KEY;
        }
        if (key == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    if (key->denyOpen) {
        return ERROR_ACCESS_DENIED;
    }
    *phkResult = registry.OpenKeyHandle(key, Join(base.path, lpSubKey));
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = disposition;
    }
    return ERROR_SUCCESS;
}

}  // namespace

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions, REGSAM,
                            LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return CreateKey("RegCreateKeyExA", hKey, lpSubKey, dwOptions, phkResult, lpdwDisposition);
}

LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD dwOptions, REGSAM,
                            LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    std::string subkey = Narrow(lpSubKey);
    return CreateKey("RegCreateKeyExW", hKey, lpSubKey != nullptr ? subkey.c_str() : nullptr, dwOptions,
                     phkResult, lpdwDisposition);
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR, LPDWORD,
                          PFILETIME lpftLastWriteTime) {
    Registry& registry = Machine::Current().registry;
    Registry::KeyLookup key;
    DWORD status = registry.KeyFromHandle(hKey, key);
    ApiCall call("RegEnumKeyExA", key.path + "#" + std::to_string(dwIndex));
    if (call.faulted()) {
        return static_cast<LONG>(call.fault->error);
    }
    if (status != ERROR_SUCCESS) {
        return static_cast<LONG>(status);
    }
    if (lpName == nullptr || lpcchName == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (dwIndex >= key.key->children.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    auto child = key.key->children.begin();
    std::advance(child, dwIndex);
    const std::string& name = child->second->name;
    if (*lpcchName <= name.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpftLastWriteTime != nullptr) {
        *lpftLastWriteTime = FILETIME{0, 0};
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    Registry& registry = Machine::Current().registry;
    Registry::KeyLookup base;
    DWORD status = registry.KeyFromHandle(hKey, base);
    ApiCall call("RegDeleteKeyA", Join(base.path, lpSubKey));
    if (call.faulted()) {
        return static_cast<LONG>(call.fault->error);
    }
    if (status != ERROR_SUCCESS) {
        return static_cast<LONG>(status);
    }
    if (lpSubKey == nullptr || *lpSubKey == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    // The key is opened by its name, as a plain open does: a link there leads to the key it names,
    // and that one is deleted.
    std::shared_ptr<RegistryKey> key = Walk(registry, base.key, lpSubKey);
    if (!key) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (key->denyDelete || key->denyOpen) {
        return ERROR_ACCESS_DENIED;
    }
    if (!key->children.empty()) {
        if (registry.keyDeletion() == sim::KeyDeletion::Nt || HasProtectedKey(*key)) {
            return ERROR_ACCESS_DENIED;
        }
    }
    MarkDeleted(*key);
    key->parent->children.erase(sim::UpperCase(key->name));
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR, LPDWORD, LPDWORD, LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                             LPDWORD, LPDWORD lpcValues, LPDWORD, LPDWORD, LPDWORD,
                             PFILETIME lpftLastWriteTime) {
    Registry& registry = Machine::Current().registry;
    Registry::KeyLookup key;
    DWORD status = registry.KeyFromHandle(hKey, key);
    ApiCall call("RegQueryInfoKeyA", key.path);
    if (call.faulted()) {
        return static_cast<LONG>(call.fault->error);
    }
    if (status != ERROR_SUCCESS) {
        return static_cast<LONG>(status);
    }
    if (lpcSubKeys != nullptr) {
        *lpcSubKeys = static_cast<DWORD>(key.key->children.size());
    }
    if (lpcbMaxSubKeyLen != nullptr) {
        DWORD longest = 0;
        for (const auto& child : key.key->children) {
            longest = std::max(longest, static_cast<DWORD>(child.second->name.size()));
        }
        *lpcbMaxSubKeyLen = longest;
    }
    if (lpcValues != nullptr) {
        *lpcValues = static_cast<DWORD>(key.key->values.size());
    }
    if (lpftLastWriteTime != nullptr) {
        *lpftLastWriteTime = FILETIME{0, 0};
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    Registry& registry = Machine::Current().registry;
    Registry::KeyLookup key;
    registry.KeyFromHandle(hKey, key);
    ApiCall call("RegCloseKey", key.path);
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER) {
        return ERROR_SUCCESS;
    }
    // A close always lets go of the handle, even when a fault makes it report an error.
    bool closed = registry.CloseKeyHandle(hKey);
    if (call.faulted()) {
        return static_cast<LONG>(call.fault->error);
    }
    return closed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
