#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "platform/optional_functions.h"
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

// The value as the wide function reads it, for the caller to compare with what the ANSI one read: a
// character the ANSI code page lacks reads as a look-alike there, "C:\Apps\Tłndrel" under code page
// 1252 as "C:\Apps\Tlndrel", another folder. 1 when read; 0 when it cannot be read whole; -1 where
// there is nothing to tell by: Windows 9x has no wide function (or only one that fails), and a value
// that is no string has no wide form.
int ReadWideForm(HKEY key, LPCSTR valueName, DWORD type, WCHAR (&wide)[MAX_PATH + 1]) {
    RegQueryValueExWFunction queryWide = FindRegQueryValueExW();
    if (queryWide == nullptr || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return -1;
    }
    WCHAR name[MAX_PATH];
    DWORD size = MAX_PATH * sizeof wide[0];
    if (MultiByteToWideChar(CP_ACP, 0, valueName, -1, name, MAX_PATH) == 0) {
        return 0;
    }
    LONG status = queryWide(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(wide), &size);
    if (status != ERROR_SUCCESS) {
        return status == ERROR_CALL_NOT_IMPLEMENTED ? -1 : 0;
    }
    wide[size / sizeof wide[0]] = 0;  // room kept for it: the data need not be terminated
    return 1;
}

// The wide form expanded as the ANSI one is: a variable may hold what the code page lacks
// (%LOCALAPPDATA% of a user named Łukasz). 0 when it cannot be had whole.
int ExpandWideForm(WCHAR (&wide)[MAX_PATH + 1]) {
    ExpandEnvironmentStringsWFunction expandWide = FindExpandEnvironmentStringsW();
    WCHAR expanded[MAX_PATH];
    DWORD size = expandWide != nullptr ? expandWide(wide, expanded, MAX_PATH) : 0;
    if (size == 0 || size > MAX_PATH) {
        return 0;
    }
    for (DWORD i = 0; i < size; ++i) {
        wide[i] = expanded[i];
    }
    return 1;
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
    WCHAR wide[MAX_PATH + 1];
    int read = status == ERROR_SUCCESS && TerminateValueData(value, size);
    int wideForm = read ? ReadWideForm(key, valueName, type, wide) : -1;
    RegCloseKey(key);
    // Compared once expanded: that is the path the rest of the uninstall works on.
    read = read && wideForm != 0 &&
           (type != REG_EXPAND_SZ || (ExpandValue(value) && (wideForm < 0 || ExpandWideForm(wide)))) &&
           (wideForm < 0 || IsWideFormOf(value, wide));
    if (!read) {
        ClearPath(value);
    }
    return read;
}
