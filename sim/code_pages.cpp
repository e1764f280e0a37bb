// Tables of code pages 1252 and 437 for the upper half; both agree with ASCII below 0x80.
#include "code_pages.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "api_call.h"

namespace sim {

namespace {

// Best fits follow the base letter of an accented character ("Š" to "S"), as Windows does.
const unsigned char kAnsiToOem[128] = {
    0x3F, 0x3F, 0x3F, 0x9F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x53, 0x3F, 0x3F, 0x3F, 0x5A, 0x3F,
    0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x54, 0x73, 0x3F, 0x3F, 0x3F, 0x7A, 0x59,
    0xFF, 0xAD, 0x9B, 0x9C, 0x3F, 0x9D, 0x3F, 0x3F, 0x3F, 0x3F, 0xA6, 0xAE, 0xAA, 0x3F, 0x3F, 0x3F,
    0xF8, 0xF1, 0xFD, 0x33, 0x3F, 0xE6, 0x3F, 0xFA, 0x3F, 0x31, 0xA7, 0xAF, 0xAC, 0xAB, 0x33, 0xA8,
    0x41, 0x41, 0x41, 0x41, 0x8E, 0x8F, 0x92, 0x80, 0x45, 0x90, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,
    0x3F, 0xA5, 0x4F, 0x4F, 0x4F, 0x4F, 0x99, 0x3F, 0x3F, 0x55, 0x55, 0x55, 0x9A, 0x59, 0x3F, 0xE1,
    0x85, 0xA0, 0x83, 0x61, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    0x3F, 0xA4, 0x95, 0xA2, 0x93, 0x6F, 0x94, 0xF6, 0x3F, 0x97, 0xA3, 0x96, 0x81, 0x79, 0x3F, 0x98,
};

// 0: the OEM character (box drawing, Greek, mathematics) has no ANSI twin.
const unsigned char kOemToAnsi[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, 0x00, 0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0x00, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xDF, 0x00, 0x00, 0x00, 0x00, 0xB5, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xB1, 0x00, 0x00, 0x00, 0x00, 0xF7, 0x00, 0xB0, 0x00, 0xB7, 0x00, 0x00, 0xB2, 0x00, 0xA0,
};

// The characters of 0x80 to 0x9F in code page 1252; above them it agrees with Latin-1. The five
// bytes the code page leaves unassigned convert to the control characters of the same number.
const char16_t kAnsiControlRange[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Not a valid character of a file name: a path holding it is refused, as a missing one would be.
const char kNoTwin = '\x01';

}  // namespace

unsigned char AnsiToOem(unsigned char ansi) {
    return ansi < 0x80 ? ansi : kAnsiToOem[ansi - 0x80];
}

unsigned char OemToAnsi(unsigned char oem) {
    return oem < 0x80 ? oem : kOemToAnsi[oem - 0x80];
}

std::string DecodeOemText(const std::string& oem) {
    std::string ansi;
    for (char c : oem) {
        unsigned char twin = OemToAnsi(static_cast<unsigned char>(c));
        ansi += twin != 0 ? static_cast<char>(twin) : kNoTwin;
    }
    return ansi;
}

std::u16string AnsiToWide(const std::string& ansi) {
    std::u16string wide;
    for (char c : ansi) {
        unsigned char byte = static_cast<unsigned char>(c);
        wide += byte >= 0x80 && byte < 0xA0 ? kAnsiControlRange[byte - 0x80] : static_cast<char16_t>(byte);
    }
    return wide;
}

std::string WideToAnsi(const std::u16string& wide) {
    std::string ansi;
    for (char16_t unit : wide) {
        const char16_t* twin = std::find(std::begin(kAnsiControlRange), std::end(kAnsiControlRange), unit);
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            ansi += static_cast<char>(unit);
        } else if (twin != std::end(kAnsiControlRange)) {
            ansi += static_cast<char>(0x80 + (twin - kAnsiControlRange));
        } else {
            ansi += '?';
        }
    }
    return ansi;
}

}  // namespace sim

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
