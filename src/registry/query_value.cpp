#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "platform/windows_api.h"
#include "registry/registry_tasks.h"

namespace {
// A REG_EXPAND_SZ value ("%ProgramFiles%\VORSK Software\Tandrel") means the text with the
// environment's variables put in, as every Windows program reads it. One that does not fit whole is
// not taken at all.
int ExpandValue(PathBuffer& value) {
    PathBuffer expanded;
    DWORD size = ExpandEnvironmentStringsA(value, expanded, MAX_PATH);
    if (size == 0 || size > MAX_PATH) {
        ClearPath(value);
        return 0;
    }
    return CopyText(value, MAX_PATH, expanded);
}

typedef LONG(WINAPI* RegQueryValueExWFunction)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);

// Whether a string read through the ANSI function is the value itself. A character the ANSI code page
// lacks reads as a look-alike: "C:\Apps\Tłndrel" under code page 1252 reads as "C:\Apps\Tlndrel",
// another folder. Windows 9x has no wide function (or only one that fails): there ANSI is all there is.
int ReadsAsItself(HKEY key, LPCSTR valueName, DWORD type, LPCSTR text) {
    auto queryWide = reinterpret_cast<RegQueryValueExWFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegQueryValueExW")));
    if (queryWide == nullptr || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return 1;
    }
    WCHAR name[MAX_PATH];
    WCHAR wide[MAX_PATH + 1];
    DWORD size = MAX_PATH * sizeof wide[0];
    if (MultiByteToWideChar(CP_ACP, 0, valueName, -1, name, MAX_PATH) == 0) {
        return 0;
    }
    LONG status = queryWide(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(wide), &size);
    if (status != ERROR_SUCCESS) {
        return status == ERROR_CALL_NOT_IMPLEMENTED;
    }
    wide[size / sizeof wide[0]] = 0;  // room kept for it: the data need not be terminated
    return IsWideFormOf(text, wide);
}

}  // namespace

int QuerySzValue(HKEY root, LPCSTR valueName, LPSTR buffer) {
    if (valueName == nullptr || IsBadReadPtr(valueName, 1) || lstrlenA(valueName) == 0) {
        MessageBoxA(nullptr, kInvalidNameMessage, kProduct.displayName, MB_ICONERROR);
        return 0;
    }
    if (buffer == nullptr || IsBadWritePtr(buffer, MAX_PATH)) {
        MessageBoxA(nullptr, kInvalidBufferMessage, kProduct.displayName, MB_ICONERROR);
        return 0;
    }

    // Created rather than opened: a missing product key is no error here, and the registry task
    // removes the empty key again later in the same run.
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(root, kProduct.productKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE,
                        nullptr, &key, &disposition) != ERROR_SUCCESS) {
        return 0;
    }
    PathBuffer& value = *reinterpret_cast<PathBuffer*>(buffer);
    value[0] = 0;
    DWORD size = MAX_PATH;
    DWORD type = REG_NONE;
    // Whatever the value holds is taken as the string; only an expandable one is read differently.
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    int read = status == ERROR_SUCCESS && TerminateValueData(value, size) &&
               ReadsAsItself(key, valueName, type, value);
    RegCloseKey(key);
    if (!read) {
        ClearPath(value);
        return 0;
    }
    return type != REG_EXPAND_SZ || ExpandValue(value);
}
