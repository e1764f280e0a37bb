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

void DeleteFileIn(LPCSTR folder, LPCSTR separator, LPCSTR name) {
    PathBuffer path;
    if (BuildPath(path, folder, separator, name)) {
        DeleteFileA(path);
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
    if (BuildPath(pattern, imagesFolder, "\\*.*")) {
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
    while (!DeleteFileA(uninstaller)) {
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

}  // namespace

void RemoveInstallFolder(LPCSTR installPath) {
    // A relative path would be resolved against the temporary folder this process runs in.
    if (!IsFullPath(installPath)) {
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
