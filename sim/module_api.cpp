// GetModuleHandleA and GetProcAddress of the simulated Windows: the system DLLs by name, and the
// functions a program looks up in them at run time because older Windows lack them.
#include <cstring>

#include "api_call.h"

using sim::ApiCall;
using sim::Text;

namespace {

const char* const kModuleNames[] = {"KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL", "SHELL32.DLL"};

struct Export {
    const char* module;
    const char* name;
    FARPROC function;
};

template <typename Function>
FARPROC AsProc(Function function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

const Export kLookedUp[] = {
    {"KERNEL32.DLL", "GetTempPathW", AsProc(&GetTempPathW)},
    {"KERNEL32.DLL", "GetSystemWow64DirectoryA", AsProc(&GetSystemWow64DirectoryA)},
    {"KERNEL32.DLL", "GetShortPathNameW", AsProc(&GetShortPathNameW)},
    {"KERNEL32.DLL", "GetModuleFileNameW", AsProc(&GetModuleFileNameW)},
    {"KERNEL32.DLL", "ExpandEnvironmentStringsW", AsProc(&ExpandEnvironmentStringsW)},
    {"ADVAPI32.DLL", "RegQueryValueExW", AsProc(&RegQueryValueExW)},
};

// A module handle is the address of its name in the table above, which no other handle has.
HMODULE ModuleHandle(size_t index) {
    return reinterpret_cast<HMODULE>(const_cast<char*>(kModuleNames[index]));
}

}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    ApiCall call("GetModuleHandleA", Text(lpModuleName));
    std::string name = sim::UpperCase(Text(lpModuleName));
    if (name.find('.') == std::string::npos) {
        name += ".DLL";
    }
    for (size_t i = 0; i < sizeof kModuleNames / sizeof kModuleNames[0]; ++i) {
        if (name == kModuleNames[i]) {
            return ModuleHandle(i);
        }
    }
    return call.Fail<HMODULE>(ERROR_MOD_NOT_FOUND, nullptr);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    ApiCall call("GetProcAddress", Text(lpProcName));
    const char* module = nullptr;
    for (size_t i = 0; i < sizeof kModuleNames / sizeof kModuleNames[0]; ++i) {
        if (hModule == ModuleHandle(i)) {
            module = kModuleNames[i];
        }
    }
    if (module == nullptr) {
        return call.Fail<FARPROC>(ERROR_MOD_NOT_FOUND, nullptr);
    }
    for (const Export& candidate : kLookedUp) {
        if (std::strcmp(module, candidate.module) == 0 && Text(lpProcName) == candidate.name &&
            call.machine.modules.HasFunction(candidate.name)) {
            return candidate.function;
        }
    }
    return call.Fail<FARPROC>(ERROR_PROC_NOT_FOUND, nullptr);
}
