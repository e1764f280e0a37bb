#include <gtest/gtest.h>

#include "support/installed_product.h"

#include <algorithm>
#include <iterator>

namespace testing_support {

std::string ProductLayout::TempCopy() const {
    return TempFile("uninstall.exe");
}

std::string ProductLayout::TempFile(const std::string& name) const {
    std::string folder = tempFolder;
    if (folder.empty() || folder.back() != '\\') {
        folder += '\\';
    }
    return folder + name;
}

std::vector<std::string> ProductFileNames() {
    return {std::begin(kProductFiles), std::end(kProductFiles)};
}

void InstallProduct(sim::Machine& machine, const ProductLayout& layout) {
    machine.SetTempPath(layout.tempFolder);
    machine.AddFolder(layout.tempFolder);

    // The product's registry entries.
    machine.SetString(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", layout.installFolder);
    machine.SetString(HKEY_LOCAL_MACHINE, kProductKey, "Version", "1.0");
    machine.SetString(HKEY_LOCAL_MACHINE, kUninstallEntry, "DisplayName", kProductName);
    machine.SetString(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString", layout.InstalledUninstaller());
    machine.SetString(HKEY_LOCAL_MACHINE, kAppPathsEntry, "", layout.installFolder + "\\Tandrel.exe");
    machine.SetString(HKEY_CURRENT_USER, kProductKey, "Registered", "no");
    machine.SetString(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Settings\\Window", "Left", "10");
    machine.SetString(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Settings\\Sound", "Volume", "7");
    machine.AddKey(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Recent\\Games\\Level 1");
    machine.SetString(HKEY_CURRENT_USER, kShellFoldersKey, "Startup", layout.startupFolder);
    machine.SetString(HKEY_CURRENT_USER, kShellFoldersKey, "Programs", layout.programsFolder);

    // Other programs' entries, which must survive.
    machine.SetString(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\OtherApp", "DisplayName", "Other");
    machine.SetString(HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + "\\other.exe", "",
                      "C:\\Other\\other.exe");
    machine.SetString(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Tool", "InstallPath", "C:\\Other");
    machine.SetString(HKEY_CURRENT_USER, "Software\\Other Vendor\\Tool", "Colour", "blue");

    // The product's files.
    for (const std::string& name : ProductFileNames()) {
        machine.AddFile(layout.installFolder + "\\" + name, name + " content");
    }
    machine.AddFile(layout.installFolder + "\\images\\title.bmp", "bitmap");
    machine.AddFile(layout.installFolder + "\\images\\ghost.bmp", "bitmap");
    machine.AddFile(layout.installFolder + "\\images\\board.gif", "gif");
    machine.AddFile(layout.InstalledUninstaller(), kUninstallerImage);
    machine.AddFile(layout.startupFolder + "\\" + kShortcutName, "shortcut");
    machine.AddFile(layout.programsFolder + "\\" + kShortcutName, "shortcut");

    // Other programs' files, beside the product's.
    machine.AddFile("C:\\Other\\other.exe", "other");
    machine.AddFile(layout.programsFolder + "\\Other.lnk", "other shortcut");
    machine.AddFile(layout.TempFile("setup.log"), "someone's log");
}

int StartProduct(sim::Machine& machine, const ProductLayout& layout, bool closesOnWmClose) {
    int product =
        machine.StartBackgroundProcess(layout.installFolder + "\\Tandrel.exe", layout.installFolder);
    machine.AddWindow("VorskTandrel", "Tandrel", product, closesOnWmClose);
    return product;
}

sim::StartOutcome UserStartsUninstaller(sim::Machine& machine, const ProductLayout& layout,
                                        sim::ProcessOptions options) {
    return machine.RunProgram(&WinMain, layout.InstalledUninstaller(), std::nullopt, layout.installFolder,
                              options);
}

Snapshot TakeSnapshot(const sim::Machine& machine) {
    return Snapshot{machine.AllKeys(HKEY_LOCAL_MACHINE), machine.AllKeys(HKEY_CURRENT_USER),
                    machine.AllFiles()};
}

std::vector<std::string> CallsOf(const sim::Machine& machine, int process,
                                 const std::vector<std::string>& functions) {
    std::vector<std::string> calls;
    for (const sim::CallRecord& call : machine.Journal()) {
        if ((process == 0 || call.process == process) &&
            std::find(functions.begin(), functions.end(), call.function) != functions.end()) {
            calls.push_back(call.detail.empty() ? call.function : call.function + " " + call.detail);
        }
    }
    return calls;
}

int CountCall(const sim::Machine& machine, const std::string& function, const std::string& detail,
              int process) {
    int count = 0;
    for (const sim::CallRecord& call : machine.Journal()) {
        if (call.function == function && call.detail == detail && (process == 0 || call.process == process)) {
            ++count;
        }
    }
    return count;
}

int FirstCallAt(const sim::Machine& machine, const std::string& function, const std::string& detail) {
    const std::vector<sim::CallRecord>& journal = machine.Journal();
    for (size_t i = 0; i < journal.size(); ++i) {
        if (journal[i].function == function && journal[i].detail == detail) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string ExpectedCleanupScript(const std::string& tempFolder, int number) {
    std::string script = tempFolder + "delme" + std::to_string(number) + ".bat";
    return "\r\n"
           "@echo off\r\n"
           ":myLabel\r\n"
           "del \"" +
           tempFolder +
           "uninstall.exe\"\r\n"
           "if exist \"" +
           tempFolder +
           "uninstall.exe\" goto myLabel\r\n"
           "del \"" +
           script + "\"\r\n";
}

::testing::AssertionResult NoHandlesOpen(const sim::Machine& machine) {
    if (machine.OpenKeyCount() == 0 && machine.OpenFileHandleCount() == 0 &&
        machine.OpenFindHandleCount() == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "open handles: " << machine.OpenKeyCount() << " keys, " << machine.OpenFileHandleCount()
           << " files, " << machine.OpenFindHandleCount() << " searches";
}

}  // namespace testing_support
