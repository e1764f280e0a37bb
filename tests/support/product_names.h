// The names the product's installation puts on a machine, written once for every test and for the
// machine generator. Constants only: the libFuzzer target includes this without GoogleTest.
#pragma once

namespace product_names {

// What the user sees in every box.
inline constexpr char kProductName[] = "VORSK Tandrel 98";

// Registry paths, below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
inline constexpr char kProductKey[] = "Software\\VORSK Software\\Tandrel";
inline constexpr char kVendorKey[] = "Software\\VORSK Software";
inline constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kUninstallEntry[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VorskTandrel";
inline constexpr char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
inline constexpr char kAppPathsEntry[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tandrel.exe";
inline constexpr char kShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The product's files in its installation folder, in the order the uninstaller deletes them; beside
// them the "images" folder and uninstall.exe.
inline constexpr const char* kProductFiles[] = {
    "Tandrel.exe", "Tandra.htm", "registration.txt", "la.txt", "VORSK Tandrel 98 Homepage.url",
    "order.htm",   "ghosts.htm"};

// The shortcut's name in the user's Startup and Programs folders.
inline constexpr char kShortcutName[] = "VORSK Tandrel 98.lnk";

// The content of every copy of uninstall.exe on a simulated machine.
inline constexpr char kUninstallerImage[] = "MZ uninstaller image";

// Where a default installation puts things.
inline constexpr char kDefaultInstallFolder[] = "C:\\Apps\\VORSK Software\\Tandrel";
inline constexpr char kDefaultStartupFolder[] = "C:\\WINDOWS\\Start Menu\\Programs\\StartUp";
inline constexpr char kDefaultProgramsFolder[] = "C:\\WINDOWS\\Start Menu\\Programs";
inline constexpr char kDefaultTempFolder[] = "C:\\WINDOWS\\TEMP\\";  // as GetTempPathA reports it

}  // namespace product_names
