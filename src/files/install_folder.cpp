#include "common/folders.h"
#include "common/limits.h"
#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"
#include "rules/safety_rules.h"

namespace {

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

// The folder above the installation folder goes too when it is the vendor's and now empty.
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
    if (IsVendorFolder(parent)) {
        RemoveDirectoryA(parent);
    }
}

}  // namespace

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
