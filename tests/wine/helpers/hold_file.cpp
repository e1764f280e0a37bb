// Holds a file open the way another program (a virus scanner, a backup) might, for the end-to-end
// tests: read access, shared for reading only, so that nobody can delete the file meanwhile. Holds a
// named object instead, or makes a registry link, as any program of the user's may.
//
// Usage: hold_file.exe <file> | --event <name> | --mutex <name> | --link <key> <target>
// Prints "holding" once the file is open (the event made and set, the mutex made and owned), then
// keeps it until its standard input ends, closes it and exits 0. Exits 1 (printing "cannot open
// <error>") when the file or object cannot be had. --link makes <key> (HKCU\... or HKLM\..., replacing
// a key of that name) a link to the key <target>, named the same way, and exits 0 at once.
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

HKEY RootOf(const char* key) {
    return std::strncmp(key, "HKCU\\", 5) == 0 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// The name the kernel knows a key by, which is what a link holds: \Registry\User\<sid>\... for the
// user's own keys, \Registry\Machine\... for the machine's.
std::wstring KernelPath(const char* key) {
    std::wstring path = L"\\Registry\\Machine\\";
    if (RootOf(key) == HKEY_CURRENT_USER) {
        HANDLE token = nullptr;
        char user[256];
        DWORD size = 0;
        LPWSTR sid = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
            !GetTokenInformation(token, TokenUser, user, sizeof user, &size) ||
            !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid)) {
            return L"";
        }
        path = std::wstring(L"\\Registry\\User\\") + sid + L"\\";
    }
    for (const char* c = key + 5; *c != 0; ++c) {
        path += static_cast<wchar_t>(*c);
    }
    return path;
}

int MakeLink(const char* key, const char* target) {
    // Only a new key can be made a link.
    RegDeleteKeyA(RootOf(key), key + 5);
    std::wstring data = KernelPath(target);
    HKEY link;
    LONG status = data.empty() ? ERROR_NO_SUCH_USER
                               : RegCreateKeyExA(RootOf(key), key + 5, 0, nullptr, REG_OPTION_CREATE_LINK,
                                                 KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr);
    if (status == ERROR_SUCCESS) {
        // The target without a terminator, as Windows expects it.
        status = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK,
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size() * sizeof data[0]));
        RegCloseKey(link);
    }
    if (status != ERROR_SUCCESS) {
        std::printf("cannot link %ld\n", status);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    HANDLE held = nullptr;
    if (argc == 4 && std::strcmp(argv[1], "--link") == 0) {
        return MakeLink(argv[2], argv[3]);
    } else if (argc == 3 && std::strcmp(argv[1], "--event") == 0) {
        held = CreateEventA(nullptr, TRUE, TRUE, argv[2]);
    } else if (argc == 3 && std::strcmp(argv[1], "--mutex") == 0) {
        held = CreateMutexA(nullptr, TRUE, argv[2]);
    } else if (argc == 2) {
        held = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    } else {
        std::fprintf(
            stderr,
            "usage: hold_file.exe <file> | --event <name> | --mutex <name> | --link <key> <target>\n");
        return 2;
    }
    if (held == nullptr || held == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %lu\n", GetLastError());
        return 1;
    }
    std::printf("holding\n");
    std::fflush(stdout);

    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[64];
    DWORD read = 0;
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
    CloseHandle(held);
    return 0;
}
