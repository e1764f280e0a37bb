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

// A folder's identity: the serial number of its volume and its file index, the same by whatever name
// it is reached (another drive letter standing for it, a junction). 0 where the folder cannot be
// opened, as on Windows 9x, which opens no folders: then only the names tell.
struct FolderIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

int GetFolderIdentity(LPCSTR path, FolderIdentity& identity) {
    HANDLE folder = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION information;
    int known = GetFileInformationByHandle(folder, &information) != 0;
    CloseHandle(folder);
    identity = FolderIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                              information.nFileIndexLow};
    return known;
}

// A folder of the system's, as a function reports it, and the root of its drive: by name or identity
// the same as `path` (whose identity is `identity` when `known`). A folder that cannot be had counts
// unless it is `optional`.
typedef UINT(WINAPI* GetFolderFunction)(LPSTR, UINT);

int IsSystemFolderOrItsRoot(LPCSTR path, int known, const FolderIdentity& identity,
                            GetFolderFunction getFolder, int optional) {
    PathBuffer folder;
    UINT length = getFolder(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return !optional;
    }
    PathBuffer root;
    CopyText(root, MAX_PATH, folder);
    if (root[1] == ':') {
        root[2] = '\\';
        root[3] = 0;
    }
    LPCSTR others[] = {folder, root};
    for (LPCSTR other : others) {
        FolderIdentity otherIdentity;
        if (IsSameFolder(path, other) ||
            (known && GetFolderIdentity(other, otherIdentity) && otherIdentity.volume == identity.volume &&
             otherIdentity.indexHigh == identity.indexHigh && otherIdentity.indexLow == identity.indexLow)) {
            return 1;
        }
    }
    return 0;
}

// SysWOW64 is the system folder of 32-bit programs on 64-bit Windows; older Windows lack the
// function, and 32-bit ones fail it: then there is no such folder.
UINT WINAPI GetWow64Folder(LPSTR buffer, UINT size) {
    auto getWow64Folder = reinterpret_cast<GetFolderFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemWow64DirectoryA")));
    return getWow64Folder != nullptr ? getWow64Folder(buffer, size) : 0;
}

int IsUserProfileFolder(LPCSTR path) {
    PathBuffer profile;
    DWORD size = ExpandEnvironmentStringsA("%USERPROFILE%", profile, MAX_PATH);
    // Not set (Windows 9x): the text stays as it is, which names no folder.
    return size > 0 && size <= MAX_PATH && IsFullPath(profile) && IsSameFolder(path, profile);
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
    return length < MAX_PATH && IsWideFormOf(folder, wide);
}

}  // namespace

int IsMissing(LPCSTR path) {
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        return 0;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

int IsSameFolder(LPCSTR path, LPCSTR other) {
    PathBuffer fullPath;
    PathBuffer fullOther;
    return !GetFullFolderPath(path, fullPath) || !GetFullFolderPath(other, fullOther) ||
           lstrcmpiA(fullPath, fullOther) == 0;
}

int RunsFromFolder(LPCSTR folder) {
    PathBuffer own;
    if (!GetOwnPath(own)) {
        return 1;
    }
    int cut = lstrlenA(own);
    while (cut > 0 && own[cut - 1] != '\\') {
        --cut;
    }
    own[cut] = 0;
    return IsSameFolder(own, folder);
}

int IsRootOrSystemFolder(LPCSTR path) {
    PathBuffer full;
    if (!GetFullFolderPath(path, full) || IsRoot(full)) {
        return 1;
    }
    FolderIdentity identity;
    int known = GetFolderIdentity(full, identity);
    return IsSystemFolderOrItsRoot(full, known, identity, GetWindowsDirectoryA, 0) ||
           IsSystemFolderOrItsRoot(full, known, identity, GetSystemDirectoryA, 0) ||
           IsSystemFolderOrItsRoot(full, known, identity, GetWow64Folder, 1);
}

int IsUsableTempFolder(LPCSTR folder) {
    return IsFullPath(folder) && !IsRootOrSystemFolder(folder) && !IsUserProfileFolder(folder) &&
           NamesTheWideTempFolder(folder);
}
