#include "common/limits.h"
#include "files/file_tasks.h"

namespace {

// A plain file marked read-only; a folder or a link keeps its own attributes.
int IsReadOnlyFile(DWORD attributes) {
    DWORD kinds = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kinds) == FILE_ATTRIBUTE_READONLY;
}

// Clears the read-only attribute alone, keeping the others; 1 when it was cleared.
int ClearReadOnly(LPCSTR path, DWORD attributes) {
    DWORD others = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesA(path, others != 0 ? others : FILE_ATTRIBUTE_NORMAL) != 0;
}

}  // namespace

int MakeDeletable(LPCSTR path) {
    DWORD attributes = GetFileAttributesA(path);
    return !IsReadOnlyFile(attributes) || ClearReadOnly(path, attributes);
}

DWORD DeleteWhenFree(LPCSTR path, int& pausesLeft, int retryMissingFolder) {
    // Files copied from a CD keep their read-only attribute, and DeleteFileA refuses such a file.
    DWORD attributes = GetFileAttributesA(path);
    int cleared = IsReadOnlyFile(attributes) && ClearReadOnly(path, attributes);
    DWORD error = 0;
    while (!DeleteFileA(path)) {
        error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || (error == ERROR_PATH_NOT_FOUND && !retryMissingFolder)) {
            return 0;
        }
        if (pausesLeft <= 0) {
            break;
        }
        --pausesLeft;
        Sleep(kRetryPauseMs);
        error = 0;
    }
    // A file that stays keeps the attribute it had.
    if (error != 0 && cleared) {
        SetFileAttributesA(path, attributes);
    }
    return error;
}
