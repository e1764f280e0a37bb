// The tests' vocabulary, for every test, the machine generator and the benchmark: every name, key,
// file and text the program shows or uses, spelled out as a user or the system meets it, and what only
// the tests need. Spelled out, not taken from the program's header, so that a typo there fails a test:
// tests/common/product_identity_test.cpp holds that header to this file, and every other test takes
// its names from here. No GoogleTest: the libFuzzer target and the benchmark include this too.
#pragma once

#include <string>
#include <vector>

namespace product_names {

// What the user sees in every box's caption.
inline constexpr char kProductName[] = "VORSK Tandrel 98";

// The names the program uses on the desktop and for its kernel objects.
inline constexpr char kWindowClass[] = "VorskTandrel";
inline constexpr char kUninstallMutex[] = "VorskTandrelUninstall";
inline constexpr char kHandOverEvent[] = "VorskTandrelUninstallHandOver";
inline constexpr char kRemovedEvent[] = "VorskTandrelUninstallRemoved";
inline constexpr char kIncompleteEvent[] = "VorskTandrelUninstallIncomplete";

// The command line: the switch the copy runs its second phase with, and an unattended run's.
inline constexpr char kSecondPhaseSwitch[] = "/internally";
inline constexpr char kSilentSwitch[] = "/S";
inline constexpr char kSilentSecondPhase[] = "/internally /S";

// Registry paths, below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, and the values the program reads.
inline constexpr char kSoftwareKey[] = "Software";
inline constexpr char kVendorKeyName[] = "VORSK Software";
inline constexpr char kVendorKey[] = "Software\\VORSK Software";
inline constexpr char kProductKeyName[] = "Tandrel";
inline constexpr char kProductKey[] = "Software\\VORSK Software\\Tandrel";
inline constexpr char kInstallPathValue[] = "InstallPath";
inline constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kUninstallEntryName[] = "VorskTandrel";
inline const std::string kUninstallEntry =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VorskTandrel";
inline constexpr char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
inline const std::string kAppPathsEntry =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tandrel.exe";
inline constexpr char kShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kStartupValue[] = "Startup";
inline constexpr char kProgramsValue[] = "Programs";

// The product's executable, the uninstaller's file name, and what marks a path as in the vendor's
// folder.
inline constexpr char kMainExecutable[] = "Tandrel.exe";
inline constexpr char kUninstallerName[] = "uninstall.exe";
inline constexpr char kVendorFolderMarker[] = "\\VORSK Software";

// The product's seven files in its installation folder, by name, in the order the uninstaller
// deletes them; beside them the images folder and uninstall.exe.
inline const std::vector<std::string>& ProductFileNames() {
    static const std::vector<std::string> names = {
        "Tandrel.exe", "Tandra.htm", "registration.txt", "la.txt", "VORSK Tandrel 98 Homepage.url",
        "order.htm",   "ghosts.htm"};
    return names;
}
inline constexpr char kImagesSubfolder[] = "\\images";  // after the installation folder

// The shortcut's name in the user's Startup and Programs folders.
inline constexpr char kShortcutName[] = "VORSK Tandrel 98.lnk";

// What the user reads, word for word.
inline constexpr char kConfirmationText[] = "This will uninstall VORSK Tandrel 98.";
inline constexpr char kCopyFailedText[] = "Can not copy uninstall.exe to TEMP.";
inline constexpr char kStartFailedText[] = "Can not start uninstall.exe in TEMP.";
inline constexpr char kMissingInstallPathText[] = "Can not find install path to remove files.";
inline constexpr char kStillRunningText[] = "VORSK Tandrel 98 is still running. Close it, then choose Retry.";
inline constexpr char kInvalidNameText[] = "Error querying SZ value from registry. Invalid value name.";
inline constexpr char kInvalidBufferText[] = "Error querying SZ value from registry. Invalid return value.";
inline std::string FilesStayText(const std::string& installFolder) {
    return "Can not remove all files of VORSK Tandrel 98. They stay in " + installFolder + ".";
}

// --- What only the tests need -----------------------------------------------------------------

// The content of every copy of uninstall.exe on a simulated machine.
inline constexpr char kUninstallerImage[] = "MZ uninstaller image";

// Where a default installation puts things.
inline constexpr char kDefaultInstallFolder[] = "C:\\Apps\\VORSK Software\\Tandrel";
inline constexpr char kDefaultVendorFolder[] = "C:\\Apps\\VORSK Software";
inline constexpr char kDefaultStartupFolder[] = "C:\\WINDOWS\\Start Menu\\Programs\\StartUp";
inline constexpr char kDefaultProgramsFolder[] = "C:\\WINDOWS\\Start Menu\\Programs";
inline constexpr char kDefaultTempFolder[] = "C:\\WINDOWS\\TEMP\\";  // as GetTempPathA reports it

// The cleanup script the uninstaller writes, byte for byte: it deletes `program` (the one that ran the
// second phase) until it is gone, then deletes `script`, itself. Its text up to the first path:
inline constexpr char kCleanupScriptStart[] = "\r\n@echo off\r\n:myLabel\r\ndel \"";
inline std::string CleanupScriptText(const std::string& program, const std::string& script) {
    return kCleanupScriptStart + program + "\"\r\nif exist \"" + program + "\" goto myLabel\r\ndel \"" +
           script + "\"\r\n";
}

}  // namespace product_names
