// The tests' vocabulary, for every test, the machine generator and the benchmark. What the program
// itself names (its names, keys, files and messages) comes from its own header, put together as the
// program puts it together, so that a test cannot drift from it; what only the tests need is declared
// here once. No GoogleTest: the libFuzzer target and the benchmark include this too.
//
// The messages are the program's own constants (kCopyFailedMessage, kStartFailedMessage,
// kMissingInstallPathMessage, ...): a test compares against those, and spells out a whole text only
// where its exact wording is the point.
#pragma once

#include <string>
#include <vector>

#include "common/product_identity.h"

namespace product_names {

// What the user sees in every box's caption.
inline constexpr const char* kProductName = kProduct.displayName;

// The names the program uses on the desktop and for its kernel objects.
inline constexpr const char* kWindowClass = kProduct.windowClassName;
inline constexpr const char* kUninstallMutex = kProduct.uninstallMutexName;
inline constexpr const char* kHandOverEvent = kProduct.handOverEventName;
inline constexpr const char* kRemovedEvent = kProduct.removedEventName;

// Registry paths, below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, and the values the program reads.
inline constexpr const char* kProductKey = kProduct.productKeyPath;
inline constexpr const char* kVendorKey = kProduct.vendorKeyPath;
inline constexpr const char* kUninstallKey = kUninstallKeyPath;
inline const std::string kUninstallEntry =
    std::string(kUninstallKeyPath) + "\\" + kProduct.uninstallEntryName;
inline constexpr const char* kAppPathsKey = kAppPathsKeyPath;
inline const std::string kAppPathsEntry = std::string(kAppPathsKeyPath) + "\\" + kProduct.mainExecutable;
inline constexpr const char* kShellFoldersKey = kShellFoldersKeyPath;
inline constexpr const char* kInstallPathValue = kProduct.installPathValueName;

// The product's executable and the uninstaller's file name.
inline constexpr const char* kMainExecutable = kProduct.mainExecutable;
inline constexpr const char* kUninstallerName = kProduct.uninstallerFileName;

// The product's seven files in its installation folder, by name, in the order the uninstaller
// deletes them; beside them the "images" folder and uninstall.exe.
inline const std::vector<std::string>& ProductFileNames() {
    static const std::vector<std::string> names = {kProduct.mainExecutable,
                                                   kTandraPage,
                                                   kRegistrationFile,
                                                   kLicenceFile,
                                                   std::string(kProduct.displayName) + kHomepageSuffix,
                                                   kOrderForm,
                                                   kGhostsPage};
    return names;
}

// The shortcut's name in the user's Startup and Programs folders.
inline const std::string kShortcutName = std::string(kProduct.displayName) + kShortcutExtension;

// --- What only the tests need -----------------------------------------------------------------

// The content of every copy of uninstall.exe on a simulated machine.
inline constexpr char kUninstallerImage[] = "MZ uninstaller image";

// Where a default installation puts things.
inline constexpr char kDefaultInstallFolder[] = "C:\\Apps\\VORSK Software\\Tandrel";
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
