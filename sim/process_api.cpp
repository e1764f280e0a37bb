// The functions of the simulated Windows (KERNEL32) that tell a program about its own process: its
// command line and image, its last error, its pointers, and Sleep, which lets the virtual clock run.
#include <algorithm>
#include <cstring>

#include "api_call.h"

using sim::ApiCall;

LPSTR WINAPI GetCommandLineA(void) {
    ApiCall call("GetCommandLineA", "");
    return &call.Caller().commandLine[0];
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    ApiCall call("GetModuleFileNameA", "");
    if (call.faulted()) {
        return call.Fail();
    }
    if (hModule != nullptr && hModule != reinterpret_cast<HMODULE>(0x400000)) {
        return call.Fail(ERROR_MOD_NOT_FOUND);
    }
    const std::string& image = call.Caller().image;
    if (nSize == 0) {
        return call.Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (image.size() >= nSize) {
        // As Windows since Vista: cut, terminated, and the full buffer size returned.
        std::memcpy(lpFilename, image.data(), nSize - 1);
        lpFilename[nSize - 1] = 0;
        return call.Fail(ERROR_INSUFFICIENT_BUFFER, nSize);
    }
    std::memcpy(lpFilename, image.c_str(), image.size() + 1);
    return static_cast<DWORD>(image.size());
}

// Not imported by the program: looked up, as Windows 9x lacks it. Cut as GetModuleFileNameA is.
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    char ansi[MAX_PATH];
    DWORD length = GetModuleFileNameA(hModule, ansi, std::min<DWORD>(nSize, MAX_PATH));
    if (length == 0 || length >= std::min<DWORD>(nSize, MAX_PATH)) {
        return length;
    }
    std::u16string wide = sim::AnsiToWide(ansi);
    std::copy(wide.begin(), wide.end(), lpFilename);
    lpFilename[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
}

DWORD WINAPI GetLastError(void) {
    ApiCall call("GetLastError", "");
    return call.Caller().lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    ApiCall call("SetLastError", std::to_string(dwErrCode));
    call.machine.processes.SetLastErrorCode(dwErrCode);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    ApiCall call("Sleep", std::to_string(dwMilliseconds));
    call.machine.driver.LetTimePass(dwMilliseconds);
}

BOOL WINAPI IsBadReadPtr(CONST void* lp, UINT_PTR ucb) {
    ApiCall call("IsBadReadPtr", std::to_string(ucb));
    return ucb > 0 && (lp == nullptr || call.machine.processes.IsMarked(lp, false));
}

BOOL WINAPI IsBadWritePtr(LPVOID lp, UINT_PTR ucb) {
    ApiCall call("IsBadWritePtr", std::to_string(ucb));
    return ucb > 0 && (lp == nullptr || call.machine.processes.IsMarked(lp, true));
}
