// Holds a file open the way another program (a virus scanner, a backup) might, for the end-to-end
// tests: read access, shared for reading only, so that nobody can delete the file meanwhile.
//
// Usage: hold_file.exe <file>
// Prints "holding" once the file is open, then keeps it open until its standard input ends, closes
// it and exits 0. Exits 1 (printing "cannot open <error>") when the file cannot be opened.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hold_file.exe <file>\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
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
    CloseHandle(file);
    return 0;
}
