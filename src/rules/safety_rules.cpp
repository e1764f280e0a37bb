#include "rules/safety_rules.h"

#include "common/folders.h"
#include "common/limits.h"
#include "common/path_buffer.h"
#include "common/product_identity.h"

namespace {

int HoldsFile(LPCSTR folder, LPCSTR name) {
    PathBuffer path;
    if (!BuildPath(path, folder, "\\", name)) {
        return 0;
    }
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

HANDLE OpenForReading(LPCSTR path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Whether `path` holds exactly the bytes of the running program: this product's uninstaller, not the
// uninstall.exe of another product, as most have one. A file that differs, is longer than
// kMaxProgramBytes or cannot be read whole is not it.
int IsThisProgram(LPCSTR path) {
    PathBuffer own;
    if (!GetOwnPath(own)) {
        return 0;
    }
    HANDLE mine = OpenForReading(own);
    HANDLE theirs = OpenForReading(path);
    int same = mine != INVALID_HANDLE_VALUE && theirs != INVALID_HANDLE_VALUE;
    int ended = 0;
    for (int read = 0; same && !ended && read < kMaxProgramBytes; read += kCompareChunk) {
        char ours[kCompareChunk];
        char other[kCompareChunk];
        DWORD oursRead = 0;
        DWORD otherRead = 0;
        same = ReadFile(mine, ours, kCompareChunk, &oursRead, nullptr) &&
               ReadFile(theirs, other, kCompareChunk, &otherRead, nullptr) && oursRead == otherRead;
        for (DWORD i = 0; same && i < oursRead; ++i) {
            same = ours[i] == other[i];
        }
        ended = oursRead == 0;
    }
    if (mine != INVALID_HANDLE_VALUE) {
        CloseHandle(mine);
    }
    if (theirs != INVALID_HANDLE_VALUE) {
        CloseHandle(theirs);
    }
    return same && ended;
}

int IsUserProfileFolder(LPCSTR path) {
    PathBuffer profile;
    DWORD size = ExpandEnvironmentStringsA("%USERPROFILE%", profile, MAX_PATH);
    // Not set (Windows 9x): the text stays as it is, which names no folder.
    return size > 0 && size <= MAX_PATH && IsFullPath(profile) && IsSameFolder(path, profile);
}

// Whether the environment's `variable` ("%TMP%") names exactly this folder.
int NamedBy(LPCSTR variable, LPCSTR folder) {
    PathBuffer value;
    DWORD size = ExpandEnvironmentStringsA(variable, value, MAX_PATH);
    return size > 0 && size <= MAX_PATH && IsFullPath(value) && CompareFolders(value, folder) == 1;
}

// A name of dots (and spaces, which Windows drops after them) steps to another folder: the text
// "C:\Apps\VORSK Software\..\Stuff" names C:\Apps\Stuff, whatever it contains.
int HasDotName(LPCSTR path) {
    int start = 0;
    for (int i = 0;; ++i) {
        char c = path[i];
        if (c == 0 || c == '\\' || c == '/') {
            int dots = 0;
            int others = 0;
            for (int j = start; j < i; ++j) {
                dots += path[j] == '.';
                others += path[j] != '.' && path[j] != ' ';
            }
            if (dots > 0 && others == 0) {
                return 1;
            }
            if (c == 0) {
                return 0;
            }
            start = i + 1;
        }
    }
}

// A drive root other than the system drive's is somebody's own choice when TMP or TEMP names it: a
// RAM disk, a subst drive.
int IsChosenDriveRoot(LPCSTR folder) {
    return IsOtherDriveRoot(folder) && (NamedBy("%TMP%", folder) || NamedBy("%TEMP%", folder));
}

}  // namespace

// A relative path would be resolved against the temporary folder this process runs in; a root, the
// system's folders and any folder without the product's programs (the user's Documents, a damaged
// value naming something else) hold files of the product's names that are somebody else's.
int IsProductFolder(LPCSTR installPath) {
    PathBuffer uninstaller;
    return IsFullPath(installPath) && !IsRootOrSystemFolder(installPath) && !IsTempFolder(installPath) &&
           (IsMissing(installPath) || HoldsFile(installPath, kProduct.mainExecutable) ||
            (BuildPath(uninstaller, installPath, "\\", kProduct.uninstallerFileName) &&
             IsThisProgram(uninstaller)));
}

int IsUsableTempFolder(LPCSTR folder) {
    // A TEMP inside the folder this program runs from (a relative TEMP, which the system resolves
    // against the installation folder) would get the copy, which keeps that folder in place.
    PathBuffer own;
    return IsFullPath(folder) && (!IsRootOrSystemFolder(folder) || IsChosenDriveRoot(folder)) &&
           !IsUserProfileFolder(folder) && GetOwnFolder(own) && !IsInsideFolder(folder, own);
}

int CanStartCopyAt(LPCSTR copyPath) {
    // The shell expands variables in the names it starts: a folder really named "%USERNAME%" would
    // start a file of some other folder.
    if (!ExpandsToItself(copyPath)) {
        return 0;
    }
    // The folder is listed rather than asked by name: the loader finds the planted names also where
    // they would not fit a path of MAX_PATH characters.
    PathBuffer pattern;
    if (!BuildPath(pattern, copyPath, "*")) {
        return 0;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    PathBuffer manifest;
    PathBuffer local;
    BuildPath(manifest, kProduct.uninstallerFileName, ".manifest");
    BuildPath(local, kProduct.uninstallerFileName, ".local");
    int planted = 0;
    do {
        planted = lstrcmpiA(entry.cFileName, manifest) == 0 || lstrcmpiA(entry.cFileName, local) == 0;
    } while (!planted && FindNextFileA(search, &entry));
    FindClose(search);
    return !planted;
}

namespace {

// Whether the script's text can hold `path` exactly.
int NamesExactly(LPCSTR path) {
    if (ContainsText(path, "!")) {
        return 0;
    }
    PathBuffer oem;
    PathBuffer back;
    DWORD length = static_cast<DWORD>(lstrlenA(path));
    if (!CharToOemBuffA(path, oem, length) || !OemToCharBuffA(oem, back, length)) {
        return 0;
    }
    back[length] = 0;
    return SameText(back, path);
}

}  // namespace

int ScriptCanName(LPCSTR tempFolder, LPCSTR program) {
    return NamesExactly(tempFolder) && ExpandsToItself(tempFolder) && NamesExactly(program);
}

int IsVendorFolder(LPCSTR parent) {
    return ContainsText(parent, kProduct.vendorFolderMarker) && !HasDotName(parent);
}
