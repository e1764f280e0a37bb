// The string functions of the simulated Windows: formatting, copying and comparing (KERNEL32, USER32)
// and the conversions between the ANSI, OEM and UTF-16 code pages (code_pages.h). They work on the
// caller's buffers alone: of the machine they use only the journal and the caller's last error.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "api_call.h"
#include "code_pages.h"

using sim::ApiCall;
using sim::Text;

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    ApiCall call("wsprintfA", Text(format));
    va_list arguments;
    va_start(arguments, format);
    // wsprintfA fills at most 1024 bytes: 1023 characters and the terminator; a cut text counts 1024.
    int written = std::vsnprintf(buffer, 1024, format, arguments);
    va_end(arguments);
    return written > 1023 ? 1024 : written;
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

// KERNEL32's conversion to UTF-16, from the ANSI code page (the only one the program names).
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    sim::ApiCall call("MultiByteToWideChar", sim::Text(lpMultiByteStr));
    if (call.faulted() || CodePage != CP_ACP || lpMultiByteStr == nullptr || cbMultiByte == 0) {
        return call.Fail(call.faulted() ? call.fault->error : ERROR_INVALID_PARAMETER, 0);
    }
    // -1: the text and its terminator.
    std::string text = cbMultiByte < 0 ? std::string(lpMultiByteStr, std::strlen(lpMultiByteStr) + 1)
                                       : std::string(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
    std::u16string wide = sim::AnsiToWide(text);
    int needed = static_cast<int>(wide.size());
    if (cchWideChar == 0) {
        return needed;
    }
    if (cchWideChar < needed) {
        return call.Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    std::copy(wide.begin(), wide.end(), lpWideCharStr);
    return needed;
}

// USER32's conversions. Both work in place when source and target are the same buffer.
BOOL WINAPI CharToOemBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength) {
    sim::ApiCall call("CharToOemBuffA", std::to_string(cchDstLength));
    if (call.faulted()) {
        return call.Fail();
    }
    for (DWORD i = 0; i < cchDstLength; ++i) {
        lpszDst[i] = static_cast<char>(sim::AnsiToOem(static_cast<unsigned char>(lpszSrc[i])));
    }
    return TRUE;
}

BOOL WINAPI OemToCharBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength) {
    sim::ApiCall call("OemToCharBuffA", std::to_string(cchDstLength));
    if (call.faulted()) {
        return call.Fail();
    }
    for (DWORD i = 0; i < cchDstLength; ++i) {
        unsigned char twin = sim::OemToAnsi(static_cast<unsigned char>(lpszSrc[i]));
        lpszDst[i] = twin != 0 ? static_cast<char>(twin) : '?';
    }
    return TRUE;
}
