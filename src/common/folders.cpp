#include "common/folders.h"

#include "common/path_buffer.h"
#include "platform/optional_functions.h"

namespace {

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
    // "X:" alone opens the drive's current folder; its root is "X:\".
    char root[4] = {path[0], ':', '\\', 0};
    HANDLE folder = CreateFileA(path[0] != 0 && path[1] == ':' && path[2] == 0 ? root : path, 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
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

int SameIdentity(const FolderIdentity& one, const FolderIdentity& other) {
    return one.volume == other.volume && one.indexHigh == other.indexHigh && one.indexLow == other.indexLow;
}

// A folder in its full form, and its identity once that has been asked for, so that one folder
// compared with several is looked at once.
struct ResolvedFolder {
    PathBuffer full;
    int identityKnown;  // -1: not asked for yet
    FolderIdentity identity;
};

// 0 when the path cannot be had whole.
int Resolve(LPCSTR path, ResolvedFolder& folder) {
    folder.identityKnown = -1;
    return GetFullFolderPath(path, folder.full);
}

int IdentityOf(ResolvedFolder& folder) {
    if (folder.identityKnown < 0) {
        folder.identityKnown = GetFolderIdentity(folder.full, folder.identity);
    }
    return folder.identityKnown;
}

// By name, or by identity.
int IsSame(ResolvedFolder& one, ResolvedFolder& other) {
    return lstrcmpiA(one.full, other.full) == 0 ||
           (IdentityOf(one) && IdentityOf(other) && SameIdentity(one.identity, other.identity));
}

// A folder of the system's, as a function reports it, and the root of its drive: by name or identity
// the same as `path`. A folder that cannot be had counts unless it is `optional`.
typedef UINT(WINAPI* GetFolderFunction)(LPSTR, UINT);

int IsSystemFolderOrItsRoot(ResolvedFolder& path, GetFolderFunction getFolder, int optional) {
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
        // One that cannot be judged counts as the same: the caller then leaves `path` alone.
        ResolvedFolder system;
        if (!Resolve(other, system) || IsSame(path, system)) {
            return 1;
        }
    }
    return 0;
}

// SysWOW64 is the system folder of 32-bit programs on 64-bit Windows; older Windows lack the
// function, and 32-bit ones fail it: then there is no such folder.
UINT WINAPI GetWow64Folder(LPSTR buffer, UINT size) {
    GetSystemWow64DirectoryAFunction getWow64Folder = FindGetSystemWow64DirectoryA();
    return getWow64Folder != nullptr ? getWow64Folder(buffer, size) : 0;
}

// The exact ANSI form of a wide path whose short (8.3) form is plain ASCII, as the system makes it for
// a name outside the code page ("C:\users\_UKA~1\Temp\"); 0 when there is none.
int ShortAnsiForm(LPCWSTR wide, PathBuffer& folder) {
    GetShortPathNameWFunction getShortPathW = FindGetShortPathNameW();
    WCHAR shortForm[MAX_PATH];
    DWORD length = getShortPathW != nullptr ? getShortPathW(wide, shortForm, MAX_PATH) : 0;
    if (length == 0 || length >= MAX_PATH) {
        return 0;
    }
    for (DWORD i = 0; i <= length; ++i) {
        if (shortForm[i] >= 0x80) {
            return 0;
        }
        folder[i] = static_cast<char>(shortForm[i]);
    }
    return IsWideFormOf(folder, shortForm);
}

// An ANSI program sees a name with a character its code page lacks as a look-alike: the temporary
// folder C:\Users\Łukasz\Temp reads as C:\Users\Lukasz\Temp under code page 1252, somebody else's
// folder. `wide` (`wideLength` characters; 0 where Windows 9x has no wide function, and no other form
// to tell by) tells; its short form may name the place exactly, and then replaces `path`. 0 (path
// emptied) when neither does.
int MakeExact(PathBuffer& path, LPCWSTR wide, DWORD wideLength) {
    if (wideLength == 0 || (wideLength < MAX_PATH && IsWideFormOf(path, wide)) ||
        (wideLength < MAX_PATH && ShortAnsiForm(wide, path))) {
        return 1;
    }
    path[0] = 0;
    return 0;
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
    return CompareFolders(path, other) != 0;
}

int CompareFolders(LPCSTR path, LPCSTR other) {
    ResolvedFolder one;
    ResolvedFolder two;
    if (!Resolve(path, one) || !Resolve(other, two)) {
        return -1;
    }
    return IsSame(one, two);
}

int GetOwnFolder(PathBuffer& folder) {
    if (!GetOwnPath(folder)) {
        return 0;
    }
    int cut = lstrlenA(folder);
    while (cut > 0 && folder[cut - 1] != '\\') {
        --cut;
    }
    folder[cut] = 0;
    return 1;
}

int IsInsideFolder(LPCSTR path, LPCSTR folder) {
    PathBuffer part;
    ResolvedFolder target;
    if (!GetFullFolderPath(path, part) || !Resolve(folder, target)) {
        return 1;
    }
    for (int end = lstrlenA(part); end > 0; --end) {
        if (part[end] != '\\' && part[end] != 0) {
            continue;
        }
        // "C:" alone would name drive C's current folder, not its root.
        part[end == 2 && part[1] == ':' ? 3 : end] = 0;
        ResolvedFolder above;
        if (!Resolve(part, above) || IsSame(above, target)) {
            return 1;
        }
    }
    return 0;
}

int IsOtherDriveRoot(LPCSTR path) {
    ResolvedFolder root;
    if (!Resolve(path, root) || root.full[0] == 0 || root.full[1] != ':' || root.full[2] != 0) {
        return 0;
    }
    return !IsSystemFolderOrItsRoot(root, GetWindowsDirectoryA, 0) &&
           !IsSystemFolderOrItsRoot(root, GetSystemDirectoryA, 0);
}

int IsTempFolder(LPCSTR path) {
    PathBuffer temp;
    if (!GetTempFolder(temp)) {
        // A look-alike still names the folder the system resolves it to.
        DWORD length = GetTempPathA(MAX_PATH, temp);
        if (length == 0 || length >= MAX_PATH) {
            return 1;
        }
    }
    return IsSameFolder(path, temp);
}

int RunsFromFolder(LPCSTR folder) {
    PathBuffer own;
    return !GetOwnFolder(own) || IsSameFolder(own, folder);
}

int IsRootOrSystemFolder(LPCSTR path) {
    ResolvedFolder folder;
    if (!Resolve(path, folder) || IsRoot(folder.full)) {
        return 1;
    }
    return IsSystemFolderOrItsRoot(folder, GetWindowsDirectoryA, 0) ||
           IsSystemFolderOrItsRoot(folder, GetSystemDirectoryA, 0) ||
           IsSystemFolderOrItsRoot(folder, GetWow64Folder, 1);
}

int GetTempFolder(PathBuffer& folder) {
    DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) {
        folder[0] = 0;
        return 0;
    }
    GetTempPathWFunction getTempPathW = FindGetTempPathW();
    WCHAR wide[MAX_PATH];
    return MakeExact(folder, wide, getTempPathW != nullptr ? getTempPathW(MAX_PATH, wide) : 0);
}

int GetOwnPath(PathBuffer& path) {
    // A path that did not fit comes back cut, naming some other file.
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        path[0] = 0;
        return 0;
    }
    // Started by its short name, the copy is still told its long one, which may be a look-alike.
    GetModuleFileNameWFunction getModuleFileNameW = FindGetModuleFileNameW();
    WCHAR wide[MAX_PATH];
    return MakeExact(path, wide,
                     getModuleFileNameW != nullptr ? getModuleFileNameW(nullptr, wide, MAX_PATH) : 0);
}
