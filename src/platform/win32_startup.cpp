// Process start-up for the Windows build, which links no C or C++ runtime: the entry point the
// system calls, and the two memory routines the compiler may emit calls to on its own.
#include "platform/optional_functions.h"
#include "platform/windows_api.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The argument tail, as a C runtime would hand it to WinMain: the line past the program name.
LPSTR ArgumentTail(LPSTR line) {
    if (*line == '"') {
        ++line;
        while (*line != 0 && *line != '"') {
            ++line;
        }
        if (*line == '"') {
            ++line;
        }
    } else {
        while (*line > ' ') {
            ++line;
        }
    }
    while (*line != 0 && *line <= ' ') {
        ++line;
    }
    return line;
}

// The DLLs that the system DLLs load only when the program first needs them (MessageBoxA loads the
// theme library, ShellExecuteA and SHChangeNotify the COM libraries), in the order they depend on
// one another. Windows looks for such a DLL in the program's own folder first, and the second phase
// runs from the temporary folder, which every program of the user can write.
const char* const kOnDemandDlls[] = {"\\uxtheme.dll", "\\rpcrt4.dll", "\\combase.dll", "\\ole32.dll"};

// Windows that have them are told to load DLLs from the system folder only (both functions are
// looked up, so that the program still starts where they are missing). Under Wine that alone did
// not keep a planted DLL out; loading each on-demand DLL by its full path first does, since a DLL
// already loaded is not searched for again. One that does not exist in this Windows is skipped.
void LoadDllsFromTheSystemFolderOnly() {
    SetDefaultDllDirectoriesFunction setDefaultDirectories = FindSetDefaultDllDirectories();
    if (setDefaultDirectories != nullptr) {
        setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    SetDllDirectoryAFunction setDirectory = FindSetDllDirectoryA();
    if (setDirectory != nullptr) {
        setDirectory("");
    }
    char path[MAX_PATH];
    UINT folderLength = GetSystemDirectoryA(path, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH) {
        return;
    }
    for (LPCSTR name : kOnDemandDlls) {
        // A path that would not fit is not loaded: cut, it would name another file.
        if (folderLength + static_cast<UINT>(lstrlenA(name)) < MAX_PATH) {
            path[folderLength] = 0;
            lstrcatA(path, name);
            LoadLibraryA(path);
        }
    }
}

}  // namespace

extern "C" void WINAPI WinMainCRTStartup() {
    LoadDllsFromTheSystemFolderOnly();
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(&__ImageBase);
    ExitProcess(
        static_cast<UINT>(WinMain(instance, nullptr, ArgumentTail(GetCommandLineA()), SW_SHOWDEFAULT)));
}

extern "C" void* memset(void* target, int value, size_t count) {
    void* start = target;
    asm volatile("rep stosb" : "+D"(target), "+c"(count) : "a"(value) : "memory");
    return start;
}

extern "C" void* memcpy(void* target, const void* source, size_t count) {
    void* start = target;
    asm volatile("rep movsb" : "+D"(target), "+S"(source), "+c"(count) : : "memory");
    return start;
}
