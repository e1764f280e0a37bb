#include "common/folders.h"
#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"

namespace {

// The first process runs from the installed uninstaller and lets go of it only when it exits; a
// product that has just closed its window may still hold its files for a moment. The uninstaller is
// given 51 attempts 50 ms apart, about 2.5 seconds (and as much longer as a first process that could
// not be told of the hand-over waits), and the product's files share as many pauses.
const int kRetryPauses = 50;

// 1 when the file is gone, or was never there.
int DeleteFileIn(LPCSTR folder, LPCSTR name, int& pausesLeft) {
    PathBuffer path;
    return !BuildPath(path, folder, "\\", name) || DeleteWhenFree(path, pausesLeft, 0) == 0;
}

int DeleteNamedFiles(LPCSTR installPath, int& pausesLeft) {
    char homepageShortcut[64];
    CopyText(homepageShortcut, sizeof homepageShortcut, kProduct.displayName);
    AppendText(homepageShortcut, sizeof homepageShortcut, kHomepageSuffix);
    LPCSTR files[] = {
        kProduct.mainExecutable, kTandraPage, kRegistrationFile, kLicenceFile,
        homepageShortcut,        kOrderForm,  kGhostsPage,
    };
    int allGone = 1;
    for (LPCSTR file : files) {
        allGone &= DeleteFileIn(installPath, file, pausesLeft);
    }
    return allGone;
}

// Only the files directly inside "images" go; a subfolder stays, and with it the folders above.
int RemoveImagesFolder(LPCSTR installPath, int& pausesLeft) {
    PathBuffer imagesFolder;
    if (!BuildPath(imagesFolder, installPath, kImagesFolder)) {
        return 1;
    }
    PathBuffer pattern;
    WIN32_FIND_DATAA entry;
    HANDLE search = INVALID_HANDLE_VALUE;
    // A link (a junction, a symbolic link) leads to a folder of somebody else's: it is not listed, and
    // removing it below removes only the link.
    if ((GetFileAttributesA(imagesFolder) & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        BuildPath(pattern, imagesFolder, "\\*.*")) {
        search = FindFirstFileA(pattern, &entry);
    }
    int allGone = 1;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (lstrcmpA(entry.cFileName, ".") != 0 && lstrcmpA(entry.cFileName, "..") != 0) {
                // A subfolder is handed over like a file, and stays: it is not waited for.
                int noPauses = 0;
                int folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                allGone &=
                    DeleteFileIn(imagesFolder, entry.cFileName, folder ? noPauses : pausesLeft) || folder;
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(imagesFolder);
    return allGone;
}

// 1 when it is gone.
int DeleteInstalledUninstaller(LPCSTR installPath, DWORD firstProcessLingersMs) {
    PathBuffer uninstaller;
    int pausesLeft = kRetryPauses + static_cast<int>(firstProcessLingersMs / kRetryPauseMs);
    // A path that does not fit names no file of ours.
    if (!BuildPath(uninstaller, installPath, "\\", kProduct.uninstallerFileName)) {
        return 1;
    }
    // Tried for the whole budget even where the folder is missing: only a missing file ends it.
    DWORD error = DeleteWhenFree(uninstaller, pausesLeft, 1);
    return error == 0 || error == ERROR_PATH_NOT_FOUND;
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

// The folder above the installation folder goes too when it is the vendor's and now empty. The
// marker is trusted only on a parent path without dot names, which is the folder its text shows, and
// only as the installer spells it: an empty vendor folder spelled otherwise is a harmless leftover.
void RemoveVendorFolder(LPCSTR installPath) {
    PathBuffer parent;
    if (!BuildPath(parent, installPath, "")) {
        return;
    }
    int cut = -1;
    for (int i = 0; parent[i] != 0; ++i) {
        if (parent[i] == '\\') {
            cut = i;
        }
    }
    if (cut < 0) {
        return;
    }
    parent[cut] = 0;
    if (ContainsText(parent, kProduct.vendorFolderMarker) && !HasDotName(parent)) {
        RemoveDirectoryA(parent);
    }
}

int HoldsFile(LPCSTR folder, LPCSTR name) {
    PathBuffer path;
    if (!BuildPath(path, folder, "\\", name)) {
        return 0;
    }
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Whether `path` holds exactly the bytes of the running program: this product's uninstaller, not the
// uninstall.exe of another product, as most have one. The program is a few KiB; a file that differs,
// is longer than kMaxProgramBytes or cannot be read whole is not it.
const int kCompareChunk = 512;
const int kMaxProgramBytes = 1024 * 1024;

HANDLE OpenForReading(LPCSTR path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

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

}  // namespace

// A relative path would be resolved against the temporary folder this process runs in; a root and
// the system's folders hold files of the product's names that are somebody else's, and so does any
// folder without the product's executable or this very uninstaller (the user's Documents, Program
// Files, another product's folder with an uninstall.exe of its own, a damaged value naming something
// else). The temporary folder holds this program's copy, and other programs' files. A folder that is
// gone is still tried: only the installed uninstaller is waited for there.
int IsProductFolder(LPCSTR installPath) {
    PathBuffer uninstaller;
    return IsFullPath(installPath) && !IsRootOrSystemFolder(installPath) && !IsTempFolder(installPath) &&
           (IsMissing(installPath) || HoldsFile(installPath, kProduct.mainExecutable) ||
            (BuildPath(uninstaller, installPath, "\\", kProduct.uninstallerFileName) &&
             IsThisProgram(uninstaller)));
}

int RemoveProductFiles(LPCSTR installPath) {
    int pausesLeft = kRetryPauses;
    int allGone = DeleteNamedFiles(installPath, pausesLeft);
    allGone &= RemoveImagesFolder(installPath, pausesLeft);
    return allGone;
}

int RemoveUninstallerAndFolder(LPCSTR installPath, DWORD firstProcessLingersMs) {
    int gone = DeleteInstalledUninstaller(installPath, firstProcessLingersMs);
    if (RemoveDirectoryA(installPath)) {
        RemoveVendorFolder(installPath);
        SHChangeNotify(SHCNE_RMDIR, SHCNF_PATH, installPath, nullptr);
    }
    return gone;
}

int RemoveInstallFolder(LPCSTR installPath, DWORD firstProcessLingersMs) {
    if (!IsProductFolder(installPath)) {
        return 0;
    }
    int filesGone = RemoveProductFiles(installPath);
    return RemoveUninstallerAndFolder(installPath, firstProcessLingersMs) && filesGone;
}
