// The cost of one process start under Wine: a GUI program that starts and exits at once. No C
// runtime, like uninstall.exe, so that it starts the same way.
#include <windows.h>

extern "C" void __stdcall NoopStart() {
    ExitProcess(0);
}
