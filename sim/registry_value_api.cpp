// The registry functions of the simulated Windows on values: querying them (in ANSI, and in UTF-16 as
// NT keeps strings) and setting them. Values are found without regard to letter case; a handle to a
// key deleted meanwhile answers ERROR_KEY_DELETED, as on NT.
#include <cstring>

#include "api_call.h"
#include "code_pages.h"

using sim::ApiCall;
using sim::Machine;
using sim::Narrow;
using sim::Registry;
using sim::Text;

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
