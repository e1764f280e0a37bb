#include "common/path_buffer.h"
#include "control/product_identity.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"

namespace {

const char kImagesFolder[] = "\\images";

// The first process runs from the installed uninstaller and lets go of it only when it exits. It is
// given 51 attempts 50 ms apart, about 2.5 seconds.
const int kUninstallerRetries = 50;
const DWORD kRetryPauseMs = 50;

// Files copied from a CD keep their read-only attribute, and DeleteFileA refuses such a file.
BOOL DeleteProductFile(LPCSTR path) {
    MakeDeletable(path);
    return DeleteFileA(path);
}

void DeleteFileIn(LPCSTR folder, LPCSTR separator, LPCSTR name) {
    PathBuffer path;
    if (BuildPath(path, folder, separator, name)) {
        DeleteProductFile(path);
    }
}

void DeleteProductFiles(LPCSTR installPath) {
    char homepageShortcut[64];
    CopyText(homepageShortcut, sizeof homepageShortcut, kProduct.displayName);
    AppendText(homepageShortcut, sizeof homepageShortcut, " Homepage.url");
    LPCSTR files[] = {
        kProduct.mainExecutable, "Tandra.htm", "registration.txt", "la.txt",
        homepageShortcut,        "order.htm",  "ghosts.htm",
    };
    for (LPCSTR file : files) {
        DeleteFileIn(installPath, "\\", file);
    }
}

// Only the files directly inside "images" go; a subfolder stays, and with it the folders above.
void RemoveImagesFolder(LPCSTR installPath) {
    PathBuffer imagesFolder;
    if (!BuildPath(imagesFolder, installPath, kImagesFolder)) {
        return;
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
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (lstrcmpA(entry.cFileName, ".") != 0 && lstrcmpA(entry.cFileName, "..") != 0) {
                DeleteFileIn(imagesFolder, "\\", entry.cFileName);
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(imagesFolder);
}

void DeleteInstalledUninstaller(LPCSTR installPath) {
    PathBuffer uninstaller;
    if (!BuildPath(uninstaller, installPath, "\\", kProduct.uninstallerFileName)) {
        return;
    }
    int retries = 0;
    while (!DeleteProductFile(uninstaller)) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND || ++retries > kUninstallerRetries) {
            return;
        }
        Sleep(kRetryPauseMs);
    }
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
// marker is trusted only on a parent path without dot names, which is the folder its text shows.
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

// "X:", or "\\server\share": at most the one backslash between server and share.
int IsRoot(LPCSTR path) {
    if (path[0] != 0 && path[1] == ':') {
        return path[2] == 0;
    }
    int separators = 0;
    for (int i = 2; path[i] != 0; ++i) {
        separators += path[i] == '\\';
    }
    return separators < 2;
}

// Cuts the backslashes at the end of a path, so that "C:\WINDOWS\" compares equal to "C:\WINDOWS".
void CutTrailingBackslashes(LPSTR path) {
    int length = lstrlenA(path);
    while (length > 0 && path[length - 1] == '\\') {
        path[--length] = 0;
    }
}

// Whether the path is the folder that getFolder reports; also when that one cannot be had.
int IsFolderOf(LPCSTR path, UINT(WINAPI* getFolder)(LPSTR, UINT)) {
    PathBuffer folder;
    UINT length = getFolder(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 1;
    }
    CutTrailingBackslashes(folder);
    return lstrcmpiA(path, folder) == 0;
}

// A drive or share root, the Windows folder and the system folder are never the product's folder,
// whatever "InstallPath" says (a damaged value, or a product installed into a root): files there of
// the product's names are somebody else's. The path is judged in its full form, so that "C:\." or
// "c:\windows\system32\.." are known too; one that cannot be judged is left alone, and so is a
// device path ("\\?\", "\\.\"), which names the same places in another spelling.
int IsSharedFolder(LPCSTR installPath) {
    PathBuffer full;
    DWORD length = GetFullPathNameA(installPath, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH ||
        (full[0] == '\\' && full[1] == '\\' && (full[2] == '?' || full[2] == '.') && full[3] == '\\')) {
        return 1;
    }
    CutTrailingBackslashes(full);
    return IsRoot(full) || IsFolderOf(full, GetWindowsDirectoryA) || IsFolderOf(full, GetSystemDirectoryA);
}

}  // namespace

int MakeDeletable(LPCSTR path) {
    DWORD attributes = GetFileAttributesA(path);
    DWORD kinds = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kinds) != FILE_ATTRIBUTE_READONLY) {
        return 1;
    }
    return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != 0;
}

void RemoveInstallFolder(LPCSTR installPath) {
    // A relative path would be resolved against the temporary folder this process runs in.
    if (!IsFullPath(installPath) || IsSharedFolder(installPath)) {
        return;
    }
    DeleteProductFiles(installPath);
    RemoveImagesFolder(installPath);
    DeleteInstalledUninstaller(installPath);
    if (!RemoveDirectoryA(installPath)) {
        return;
    }
    RemoveVendorFolder(installPath);
    SHChangeNotify(SHCNE_RMDIR, SHCNF_PATH, installPath, nullptr);
}
