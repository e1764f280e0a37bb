// The fixed names by which every task addresses the one product this uninstaller serves, and the texts
// it shows: each written here once. Texts built from several of them are put together where they are
// used.
#pragma once

struct ProductIdentity {
    const char* displayName;
    const char* windowClassName;
    const char* uninstallEntryName;
    const char* vendorKeyName;
    const char* vendorKeyPath;
    const char* productKeyName;
    const char* productKeyPath;
    const char* mainExecutable;
    const char* vendorFolderMarker;
    const char* uninstallerFileName;
    const char* secondPhaseSwitch;
    const char* silentSwitch;
    const char* silentSecondPhaseParameters;
    const char* installPathValueName;
    const char* uninstallMutexName;
    const char* handOverEventName;
    const char* removedEventName;
    const char* incompleteEventName;
};

inline constexpr ProductIdentity kProduct = {
    "VORSK Tandrel 98",                   // displayName
    "VorskTandrel",                       // windowClassName
    "VorskTandrel",                       // uninstallEntryName
    "VORSK Software",                     // vendorKeyName
    "Software\\VORSK Software",           // vendorKeyPath
    "Tandrel",                            // productKeyName
    "Software\\VORSK Software\\Tandrel",  // productKeyPath
    "Tandrel.exe",                        // mainExecutable
    "\\VORSK Software",                   // vendorFolderMarker
    "uninstall.exe",                      // uninstallerFileName
    "/internally",                        // secondPhaseSwitch
    "/S",                                 // silentSwitch
    "/internally /S",                     // silentSecondPhaseParameters
    "InstallPath",                        // installPathValueName
    "VorskTandrelUninstall",              // uninstallMutexName
    "VorskTandrelUninstallHandOver",      // handOverEventName
    "VorskTandrelUninstallRemoved",       // removedEventName
    "VorskTandrelUninstallIncomplete",    // incompleteEventName
};

// The system's keys in which the product has entries of its own, below HKEY_LOCAL_MACHINE (the first
// two) or HKEY_CURRENT_USER (the Shell Folders, with the values that name the user's folders).
inline constexpr char kUninstallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kAppPathsKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
inline constexpr char kShellFoldersKeyPath[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kStartupValueName[] = "Startup";
inline constexpr char kProgramsValueName[] = "Programs";
// The key that holds the vendor key under either root.
inline constexpr char kSoftwareKeyPath[] = "Software";

// The product's files in its installation folder besides its executable, in the order they are
// deleted; its Internet shortcut, named with the display name and kHomepageSuffix, comes after the
// licence. Its shortcuts in the user's folders are named with the display name and kShortcutExtension.
inline constexpr char kTandraPage[] = "Tandra.htm";
inline constexpr char kRegistrationFile[] = "registration.txt";
inline constexpr char kLicenceFile[] = "la.txt";
inline constexpr char kHomepageSuffix[] = " Homepage.url";
inline constexpr char kOrderForm[] = "order.htm";
inline constexpr char kGhostsPage[] = "ghosts.htm";
inline constexpr char kImagesFolder[] = "\\images";
inline constexpr char kShortcutExtension[] = ".lnk";

// What the user is told, in boxes captioned with the display name. The confirmation reads
// kConfirmationStart, the display name and a full stop; the box about a product that still runs
// reads the display name and kStillRunningEnd; the box about files that stay reads
// kFilesStayStart, the display name, kFilesStayPlace, the installation folder and a full stop.
inline constexpr char kConfirmationStart[] = "This will uninstall ";
inline constexpr char kCopyFailedMessage[] = "Can not copy uninstall.exe to TEMP.";
inline constexpr char kStartFailedMessage[] = "Can not start uninstall.exe in TEMP.";
inline constexpr char kMissingInstallPathMessage[] = "Can not find install path to remove files.";
inline constexpr char kFilesStayStart[] = "Can not remove all files of ";
inline constexpr char kFilesStayPlace[] = ". They stay in ";
inline constexpr char kFullStop[] = ".";
// The display name, then this: the product runs on after it was asked to close.
inline constexpr char kStillRunningEnd[] = " is still running. Close it, then choose Retry.";
inline constexpr char kInvalidNameMessage[] = "Error querying SZ value from registry. Invalid value name.";
inline constexpr char kInvalidBufferMessage[] =
    "Error querying SZ value from registry. Invalid return value.";
