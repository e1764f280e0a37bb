#include "common/folders.h"

#include "common/path_buffer.h"

namespace {

typedef DWORD(WINAPI* GetTempPathWFunction)(DWORD, LPWSTR);

// The full form of a path without trailing backslashes; 0 when it cannot be had whole, or names a
// device ("\\?\", "\\.\"), which spells the same places differently.
int GetFullFolderPath(LPCSTR path, PathBuffer& full) {
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH ||
        (full[0] == '\\' && full[1] == '\\' && (full[2] == '?' || full[2] == '.') && full[3] == '\\')) {
        return 0;
    }
    int end = lstrlenA(full);
    while (end > 0 && full[end - 1] == '\\') {
        full[--end] = 0;
    }
    return 1;
}

// "X:", or "\\server\share": at most the one backslash between server and share.
int IsRoot(LPCSTR fullPath) {
    if (fullPath[0] != 0 && fullPath[1] == ':') {
        return fullPath[2] == 0;
    }
    int separators = 0;
    for (int i = 2; fullPath[i] != 0; ++i) {
        separators += fullPath[i] == '\\';
    }
    return separators < 2;
}

// Whether the path is the folder that getFolder reports; also when that one cannot be had.
int IsFolderOf(LPCSTR path, UINT(WINAPI* getFolder)(LPSTR, UINT)) {
    PathBuffer folder;
    UINT length = getFolder(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH || IsSameFolder(path, folder);
}

int IsUserProfileFolder(LPCSTR path) {
    PathBuffer profile;
    DWORD size = ExpandEnvironmentStringsA("%USERPROFILE%", profile, MAX_PATH);
    // Not set (Windows 9x): the text stays as it is, which names no folder.
    return size > 0 && size <= MAX_PATH && IsFullPath(profile) && IsSameFolder(path, profile);
}

int SameWideText(LPCWSTR text, LPCWSTR other) {
    for (; *text == *other; ++text, ++other) {
        if (*text == 0) {
            return 1;
        }
    }
    return 0;
}

// An ANSI program sees a name with a character its code page lacks as a look-alike: the temporary
// folder C:\Users\Łukasz\Temp reads as C:\Users\Lukasz\Temp under code page 1252, somebody else's
// folder. The wide form tells. Windows 9x has no GetTempPathW, and no other form to tell by.
int NamesTheWideTempFolder(LPCSTR folder) {
    auto getTempPathW = reinterpret_cast<GetTempPathWFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTempPathW")));
    WCHAR wide[MAX_PATH];
    DWORD length = getTempPathW != nullptr ? getTempPathW(MAX_PATH, wide) : 0;
    if (length == 0) {
        return 1;
    }
    WCHAR widened[MAX_PATH];
    return length < MAX_PATH && MultiByteToWideChar(CP_ACP, 0, folder, -1, widened, MAX_PATH) > 0 &&
           SameWideText(widened, wide);
}

}  // namespace

int IsSameFolder(LPCSTR path, LPCSTR other) {
    PathBuffer fullPath;
    PathBuffer fullOther;
    return !GetFullFolderPath(path, fullPath) || !GetFullFolderPath(other, fullOther) ||
           lstrcmpiA(fullPath, fullOther) == 0;
}

int IsRootOrSystemFolder(LPCSTR path) {
    PathBuffer full;
    return !GetFullFolderPath(path, full) || IsRoot(full) || IsFolderOf(full, GetWindowsDirectoryA) ||
           IsFolderOf(full, GetSystemDirectoryA);
}

int IsUsableTempFolder(LPCSTR folder) {
    return IsFullPath(folder) && !IsRootOrSystemFolder(folder) && !IsUserProfileFolder(folder) &&
           NamesTheWideTempFolder(folder);
}
