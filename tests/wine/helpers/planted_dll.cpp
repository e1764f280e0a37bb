// A DLL planted in the temporary folder under the name of one that the system DLLs load on demand.
// If a process ever loads it, it leaves a note at C:\planted_dll_loaded.txt naming that process, and
// refuses to stay.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    char process[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, process, MAX_PATH);
    HANDLE note = CreateFileA("C:\\planted_dll_loaded.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (note != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(note, process, length, &written, nullptr);
        WriteFile(note, "\r\n", 2, &written, nullptr);
        CloseHandle(note);
    }
    return FALSE;
}
