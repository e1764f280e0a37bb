// Process start-up for the Windows build, which links no C or C++ runtime: the entry point the
// system calls, and the two memory routines the compiler may emit calls to on its own.
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

}  // namespace

extern "C" void WINAPI WinMainCRTStartup() {
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
