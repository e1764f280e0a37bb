// The Windows functions that some Windows the program runs on lack (Windows 9x, the first 32-bit
// releases, 32-bit Windows), so that importing them would keep the program from starting there:
// each is looked up at run time, and null means this Windows has none. Every such function is
// listed here, with its type; nothing else calls GetProcAddress.
#pragma once

#include "platform/windows_api.h"

namespace optional_functions {

template <typename Function>
Function LookUp(LPCSTR module, LPCSTR name) {
    // The module is loaded in every process that imports from it, as this program does.
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}

}  // namespace optional_functions

// The wide forms, which tell a path the ANSI code page cannot hold (Windows NT and later).
typedef DWORD(WINAPI* GetTempPathWFunction)(DWORD, LPWSTR);
inline GetTempPathWFunction FindGetTempPathW() {
    return optional_functions::LookUp<GetTempPathWFunction>("kernel32.dll", "GetTempPathW");
}
typedef DWORD(WINAPI* GetModuleFileNameWFunction)(HMODULE, LPWSTR, DWORD);
inline GetModuleFileNameWFunction FindGetModuleFileNameW() {
    return optional_functions::LookUp<GetModuleFileNameWFunction>("kernel32.dll", "GetModuleFileNameW");
}
typedef DWORD(WINAPI* GetShortPathNameWFunction)(LPCWSTR, LPWSTR, DWORD);
inline GetShortPathNameWFunction FindGetShortPathNameW() {
    return optional_functions::LookUp<GetShortPathNameWFunction>("kernel32.dll", "GetShortPathNameW");
}
typedef DWORD(WINAPI* ExpandEnvironmentStringsWFunction)(LPCWSTR, LPWSTR, DWORD);
inline ExpandEnvironmentStringsWFunction FindExpandEnvironmentStringsW() {
    return optional_functions::LookUp<ExpandEnvironmentStringsWFunction>("kernel32.dll",
                                                                         "ExpandEnvironmentStringsW");
}
typedef LONG(WINAPI* RegQueryValueExWFunction)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
inline RegQueryValueExWFunction FindRegQueryValueExW() {
    return optional_functions::LookUp<RegQueryValueExWFunction>("advapi32.dll", "RegQueryValueExW");
}

// SysWOW64, the system folder of 32-bit programs on 64-bit Windows (Windows XP x64 and later; 32-bit
// Windows has the function, and fails it).
typedef UINT(WINAPI* GetSystemWow64DirectoryAFunction)(LPSTR, UINT);
inline GetSystemWow64DirectoryAFunction FindGetSystemWow64DirectoryA() {
    return optional_functions::LookUp<GetSystemWow64DirectoryAFunction>("kernel32.dll",
                                                                        "GetSystemWow64DirectoryA");
}

// Loading DLLs from the system folder only (Windows 8, and Vista/7 with an update; XP SP1 for the
// second).
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);
inline SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
    return optional_functions::LookUp<SetDefaultDllDirectoriesFunction>("kernel32.dll",
                                                                        "SetDefaultDllDirectories");
}
typedef BOOL(WINAPI* SetDllDirectoryAFunction)(LPCSTR);
inline SetDllDirectoryAFunction FindSetDllDirectoryA() {
    return optional_functions::LookUp<SetDllDirectoryAFunction>("kernel32.dll", "SetDllDirectoryA");
}
