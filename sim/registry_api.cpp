// The registry functions of the simulated Windows. Keys and values are found without regard to
// letter case; a handle to a key deleted meanwhile answers ERROR_KEY_DELETED, as on NT.
#include <cstring>

#include "api_call.h"
#include "code_pages.h"

using sim::ApiCall;
using sim::Machine;
using sim::Registry;
using sim::RegistryKey;
using sim::Text;

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

// A wide name in ANSI, as the registry of this simulation keeps names.
std::string Narrow(LPCWSTR text) {
    std::u16string wide;
    for (const WCHAR* c = text; c != nullptr && *c != 0; ++c) {
        wide += *c;
    }
    return sim::WideToAnsi(wide);
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

namespace {

// What the two query functions share, once the value is found: the type, the size, and the data as
// far as the buffer takes them. `data` is the value as this function reads it; `unit` the size of
// one character of a string.
LONG CopyValue(const sim::RegistryValue& value, const std::string& data, size_t unit, LPDWORD lpType,
               LPBYTE lpData, LPDWORD lpcbData) {
    if (lpType != nullptr) {
        *lpType = value.type;
    }
    DWORD size = static_cast<DWORD>(data.size());
    if (lpcbData == nullptr) {
        return ERROR_SUCCESS;
    }
    if (lpData != nullptr && *lpcbData < size) {
        // What lands in a buffer that is too small is undefined; a part of the data is the worst case.
        std::memcpy(lpData, data.data(), *lpcbData);
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData != nullptr && size > 0) {
        std::memcpy(lpData, data.data(), size);
    }
    // A string stored without its terminator gets one where the buffer has room, as NT does; the
    // size returned does not count it.
    bool stringType = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    bool terminated = size >= unit && data.compare(size - unit, unit, std::string(unit, '\0')) == 0;
    if (lpData != nullptr && stringType && size > 0 && size + unit <= *lpcbData && !terminated) {
        std::memset(lpData + size, 0, unit);
    }
    *lpcbData = size;
    return ERROR_SUCCESS;
}

// The query's start, shared by both functions: the journal, faults, the key and the value by name.
LONG FindValue(const char* function, HKEY hKey, const std::string& name, LPBYTE lpData, LPDWORD lpcbData,
               const sim::RegistryValue*& found) {
    Registry::KeyLookup key;
    DWORD status = Machine::Current().registry.KeyFromHandle(hKey, key);
    ApiCall call(function, key.path + ":" + name);
    if (call.faulted()) {
        return static_cast<LONG>(call.fault->error);
    }
    if (status != ERROR_SUCCESS) {
        return static_cast<LONG>(status);
    }
    if (lpData != nullptr && lpcbData == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    found = nullptr;
    for (const sim::RegistryValue& candidate : key.key->values) {
        if (sim::SameName(candidate.name, name)) {
            found = &candidate;
        }
    }
    return found == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

}  // namespace

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
    const sim::RegistryValue* value = nullptr;
    if (LONG status = FindValue("RegQueryValueExA", hKey, Text(lpValueName), lpData, lpcbData, value)) {
        return status;
    }
    return CopyValue(*value, value->data, 1, lpType, lpData, lpcbData);
}

// Strings in UTF-16, as NT keeps them: the wide form a test gave, or the ANSI data converted.
LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
    if (Machine::Current().modules.IsStub("RegQueryValueExW")) {
        ApiCall("RegQueryValueExW", Narrow(lpValueName));
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    const sim::RegistryValue* value = nullptr;
    if (LONG status = FindValue("RegQueryValueExW", hKey, Narrow(lpValueName), lpData, lpcbData, value)) {
        return status;
    }
    bool stringType = value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ;
    if (!stringType) {
        return CopyValue(*value, value->data, 1, lpType, lpData, lpcbData);
    }
    std::u16string wide = sim::AnsiToWide(value->data);
    if (!value->wide.empty()) {
        wide = value->wide + (!value->data.empty() && value->data.back() == 0 ? std::u16string(1, 0) : u"");
    }
    std::string bytes;
    for (char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return CopyValue(*value, bytes, 2, lpType, lpData, lpcbData);
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

namespace {

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// UTF-16 data as the characters they hold (an odd last byte left out).
std::u16string Utf16(const std::string& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return units;
}

// What RegSetValueExA and RegSetValueExW share: the journal, faults, the key, and the value stored, as
// the ANSI data and, for a string the ANSI code page cannot hold, its wide form. A link's
// "SymbolicLinkValue" names the key the link leads to.
LONG StoreValue(const char* function, HKEY hKey, const std::string& name, DWORD dwType, CONST BYTE* lpData,
                const std::string& data, const std::u16string& wide) {
    sim::Registry::KeyLookup key;
    DWORD status = Machine::Current().registry.KeyFromHandle(hKey, key);
    ApiCall call(function, key.path + ":" + name);
    if (call.faulted()) {
        return static_cast<LONG>(call.fault->error);
    }
    if (status != ERROR_SUCCESS) {
        return static_cast<LONG>(status);
    }
    if (lpData == nullptr && !data.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key.key->link && dwType == REG_LINK && sim::SameName(name, "SymbolicLinkValue")) {
        Registry::SetLinkTarget(*key.key, sim::WideToAnsi(Utf16(data)));
    }
    for (sim::RegistryValue& value : key.key->values) {
        if (sim::SameName(value.name, name)) {
            value.type = dwType;
            value.data = data;
            value.wide = wide;
            return ERROR_SUCCESS;
        }
    }
    key.key->values.push_back(sim::RegistryValue{name, dwType, data, wide});
    return ERROR_SUCCESS;
}

}  // namespace

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, CONST BYTE* lpData,
                           DWORD cbData) {
    const char* bytes = reinterpret_cast<const char*>(lpData);
    // A string whose count leaves out the terminator that follows it is stored with it, as NT does.
    if (bytes != nullptr && IsStringType(dwType) && cbData > 0 && bytes[cbData - 1] != 0 &&
        bytes[cbData] == 0) {
        ++cbData;
    }
    std::string data = bytes != nullptr ? std::string(bytes, cbData) : std::string(cbData, '\0');
    return StoreValue("RegSetValueExA", hKey, Text(lpValueName), dwType, lpData, data, {});
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, CONST BYTE* lpData,
                           DWORD cbData) {
    std::string data = lpData != nullptr ? std::string(reinterpret_cast<const char*>(lpData), cbData)
                                         : std::string(cbData, '\0');
    if (!IsStringType(dwType)) {
        return StoreValue("RegSetValueExW", hKey, Narrow(lpValueName), dwType, lpData, data, {});
    }
    // A string is kept in ANSI, with its wide form beside it where the ANSI code page cannot hold it
    // (its ANSI data then hold '?' where Windows would read a look-alike).
    std::u16string units = Utf16(data);
    std::string ansi = sim::WideToAnsi(units);
    std::u16string wide;
    if (sim::AnsiToWide(ansi) != units) {
        wide = !units.empty() && units.back() == 0 ? units.substr(0, units.size() - 1) : units;
    }
    return StoreValue("RegSetValueExW", hKey, Narrow(lpValueName), dwType, lpData, ansi, wide);
}
