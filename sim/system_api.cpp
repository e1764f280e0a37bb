// The process, window, message-box, shell and string functions of the simulated Windows (KERNEL32,
// USER32, SHELL32), on its processes and clock.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "api_call.h"

using sim::ApiCall;
using sim::Machine;
using sim::Text;

namespace {

// Copies a folder's path as GetWindowsDirectoryA does: its length, or the size it needs when it does
// not fit.
UINT CopyFolderPath(const char* function, const std::string& path, LPSTR buffer, UINT size) {
    ApiCall call(function, "");
    if (call.faulted()) {
        return call.Fail();
    }
    if (size < path.size() + 1) {
        return static_cast<UINT>(path.size() + 1);
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

}  // namespace

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return CopyFolderPath("GetWindowsDirectoryA", "C:\\WINDOWS", lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return CopyFolderPath("GetSystemDirectoryA", "C:\\WINDOWS\\SYSTEM32", lpBuffer, uSize);
}

// As on 64-bit Windows; a test makes the function a stub for a 32-bit one, or takes it away
// (GetProcAddress) for an older one.
UINT WINAPI GetSystemWow64DirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (Machine::Current().modules.IsStub("GetSystemWow64DirectoryA")) {
        return ApiCall("GetSystemWow64DirectoryA", "").Fail(ERROR_CALL_NOT_IMPLEMENTED);
    }
    return CopyFolderPath("GetSystemWow64DirectoryA", "C:\\WINDOWS\\SysWOW64", lpBuffer, uSize);
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    ApiCall call("wsprintfA", Text(format));
    va_list arguments;
    va_start(arguments, format);
    // wsprintfA fills at most 1024 bytes: 1023 characters and the terminator; a cut text counts 1024.
    int written = std::vsnprintf(buffer, 1024, format, arguments);
    va_end(arguments);
    return written > 1023 ? 1024 : written;
}

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
    call.machine.clock.Advance(dwMilliseconds);
}

BOOL WINAPI IsBadReadPtr(CONST void* lp, UINT_PTR ucb) {
    ApiCall call("IsBadReadPtr", std::to_string(ucb));
    return ucb > 0 && (lp == nullptr || call.machine.processes.IsMarked(lp, false));
}

BOOL WINAPI IsBadWritePtr(LPVOID lp, UINT_PTR ucb) {
    ApiCall call("IsBadWritePtr", std::to_string(ucb));
    return ucb > 0 && (lp == nullptr || call.machine.processes.IsMarked(lp, true));
}

int WINAPI lstrlenA(LPCSTR lpString) {
    ApiCall("lstrlenA", "");
    return lpString == nullptr ? 0 : static_cast<int>(std::strlen(lpString));
}

LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
    ApiCall("lstrcpyA", Text(lpString2));
    if (lpString1 == nullptr || lpString2 == nullptr) {
        return nullptr;
    }
    return std::strcpy(lpString1, lpString2);
}

LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
    ApiCall("lstrcatA", Text(lpString2));
    if (lpString1 == nullptr || lpString2 == nullptr) {
        return nullptr;
    }
    return std::strcat(lpString1, lpString2);
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    ApiCall("lstrcmpiA", Text(lpString1) + "|" + Text(lpString2));
    const unsigned char* a = reinterpret_cast<const unsigned char*>(lpString1 != nullptr ? lpString1 : "");
    const unsigned char* b = reinterpret_cast<const unsigned char*>(lpString2 != nullptr ? lpString2 : "");
    for (;; ++a, ++b) {
        int x = std::tolower(*a);
        int y = std::tolower(*b);
        if (x != y || x == 0) {
            return x < y ? -1 : x > y ? 1 : 0;
        }
    }
}

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
    ApiCall("lstrcmpA", Text(lpString1) + "|" + Text(lpString2));
    // lstrcmpA orders words as a dictionary does: letters first without regard to case ("a" < "B"), then
    // lower case before upper case ("a" < "A"). Other characters keep their byte order here.
    const unsigned char* a = reinterpret_cast<const unsigned char*>(lpString1 != nullptr ? lpString1 : "");
    const unsigned char* b = reinterpret_cast<const unsigned char*>(lpString2 != nullptr ? lpString2 : "");
    int caseOrder = 0;
    for (;; ++a, ++b) {
        int x = std::tolower(*a);
        int y = std::tolower(*b);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        if (x == 0) {
            return caseOrder;
        }
        if (caseOrder == 0 && *a != *b) {
            caseOrder = std::islower(*a) ? -1 : 1;
        }
    }
}
