// The floor of removing the images folder under Wine: nothing but listing a folder with
// FindFirstFileA/FindNextFileA and deleting each file with DeleteFileA, as uninstall.exe's
// RemoveImagesFolder does (pattern "<folder>\*.*", delete while listing), then RemoveDirectoryA.
// Prints the microseconds the loop took (QueryPerformanceCounter), so that process start-up is not in it.
//
// Usage: floor.exe [/listed] <folder>
//   /listed  lists the whole folder first and deletes afterwards, to tell a cost of deleting during
//            the listing from a cost of the deletions themselves.
// No C runtime, like uninstall.exe: only KERNEL32.
#include <windows.h>

namespace {

char* SkipSpaces(char* text) {
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    return text;
}

// The command line after the program's own name.
char* Arguments() {
    char* line = GetCommandLineA();
    if (*line == '"') {
        ++line;
        while (*line && *line != '"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            ++line;
    }
    return SkipSpaces(line);
}

int Length(const char* text) {
    int length = 0;
    while (text[length])
        ++length;
    return length;
}

// "<folder>\<name>" into `out` (MAX_PATH bytes); false when it would not fit.
bool Join(char* out, const char* folder, const char* name) {
    int folderLength = Length(folder), nameLength = Length(name);
    if (folderLength + 1 + nameLength >= MAX_PATH)
        return false;
    for (int i = 0; i < folderLength; ++i)
        out[i] = folder[i];
    out[folderLength] = '\\';
    for (int i = 0; i <= nameLength; ++i)
        out[folderLength + 1 + i] = name[i];
    return true;
}

bool IsDotName(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

void Print(unsigned long long value, const char* unit) {
    char text[48];
    int end = sizeof text;
    text[--end] = '\n';
    for (int i = Length(unit) - 1; i >= 0; --i)
        text[--end] = unit[i];
    do {
        text[--end] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text + end, sizeof text - end, &written, nullptr);
}

int Run() {
    char* folder = Arguments();
    bool listed = false;
    if (folder[0] == '/' && (folder[1] == 'l' || folder[1] == 'L')) {
        listed = true;
        while (*folder && *folder != ' ')
            ++folder;
        folder = SkipSpaces(folder);
    }
    if (*folder == '"') {
        ++folder;
        int length = Length(folder);
        if (length && folder[length - 1] == '"')
            folder[length - 1] = 0;
    }
    char pattern[MAX_PATH], path[MAX_PATH];
    if (!*folder || !Join(pattern, folder, "*.*"))
        return 2;

    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    unsigned long long deleted = 0;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (!listed) {
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!IsDotName(entry.cFileName) && Join(path, folder, entry.cFileName) && DeleteFileA(path))
                    ++deleted;
            } while (FindNextFileA(search, &entry));
            FindClose(search);
        }
    } else if (search != INVALID_HANDLE_VALUE) {
        // The names one after the other, each with its terminator.
        const SIZE_T capacity = 64 << 20;
        char* names =
            static_cast<char*>(VirtualAlloc(nullptr, capacity, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!names)
            return 3;
        SIZE_T used = 0;
        do {
            int length = Length(entry.cFileName);
            if (IsDotName(entry.cFileName) || used + static_cast<SIZE_T>(length) + 1 > capacity)
                continue;
            for (int i = 0; i <= length; ++i)
                names[used + i] = entry.cFileName[i];
            used += static_cast<SIZE_T>(length) + 1;
        } while (FindNextFileA(search, &entry));
        FindClose(search);
        for (SIZE_T at = 0; at < used; at += static_cast<SIZE_T>(Length(names + at)) + 1) {
            if (Join(path, folder, names + at) && DeleteFileA(path))
                ++deleted;
        }
        VirtualFree(names, 0, MEM_RELEASE);
    }
    RemoveDirectoryA(folder);
    QueryPerformanceCounter(&stop);
    Print(static_cast<unsigned long long>(stop.QuadPart - start.QuadPart) * 1000000ULL /
              static_cast<unsigned long long>(frequency.QuadPart),
          " us");
    Print(deleted, " deleted");
    return 0;
}

}  // namespace

extern "C" void __stdcall FloorStart() {
    ExitProcess(static_cast<UINT>(Run()));
}
