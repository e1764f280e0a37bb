#include "support/installed_product.h"

#include <algorithm>

namespace testing_support {

std::string ProductLayout::TempCopy() const {
    return TempFile(kUninstallerName);
}

std::string ProductLayout::TempFile(const std::string& name) const {
    std::string folder = tempFolder;
    if (folder.empty() || folder.back() != '\\') {
        folder += '\\';
    }
    return folder + name;
}

void InstallProduct(sim::Machine& machine, const ProductLayout& layout) {
    machine.files.SetTempPath(layout.tempFolder);
    machine.files.AddFolder(layout.tempFolder);

    // The product's registry entries.
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue, layout.installFolder);
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, "Version", "1.0");
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kUninstallEntry, "DisplayName", kProductName);
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString",
                               layout.InstalledUninstaller());
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kAppPathsEntry, "",
                               layout.installFolder + "\\" + kMainExecutable);
    machine.registry.SetString(HKEY_CURRENT_USER, kProductKey, "Registered", "no");
    machine.registry.SetString(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Settings\\Window", "Left",
                               "10");
    machine.registry.SetString(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Settings\\Sound", "Volume",
                               "7");
    machine.registry.AddKey(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Recent\\Games\\Level 1");
    machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kStartupValue, layout.startupFolder);
    machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kProgramsValue, layout.programsFolder);

    // Other programs' entries, which must survive.
    machine.registry.SetString(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\OtherApp", "DisplayName",
                               "Other");
    machine.registry.SetString(HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + "\\other.exe", "",
                               "C:\\Other\\other.exe");
    machine.registry.SetString(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Tool", "InstallPath",
                               "C:\\Other");
    machine.registry.SetString(HKEY_CURRENT_USER, "Software\\Other Vendor\\Tool", "Colour", "blue");

    // The product's files.
    for (const std::string& name : ProductFileNames()) {
        machine.files.AddFile(layout.installFolder + "\\" + name, name + " content");
    }
    machine.files.AddFile(layout.installFolder + kImagesSubfolder + "\\title.bmp", "bitmap");
    machine.files.AddFile(layout.installFolder + kImagesSubfolder + "\\ghost.bmp", "bitmap");
    machine.files.AddFile(layout.installFolder + kImagesSubfolder + "\\board.gif", "gif");
    machine.files.AddFile(layout.InstalledUninstaller(), kUninstallerImage);
    machine.files.AddFile(layout.startupFolder + "\\" + kShortcutName, "shortcut");
    machine.files.AddFile(layout.programsFolder + "\\" + kShortcutName, "shortcut");

    // Other programs' files, beside the product's.
    machine.files.AddFile("C:\\Other\\other.exe", "other");
    machine.files.AddFile(layout.programsFolder + "\\Other.lnk", "other shortcut");
    machine.files.AddFile(layout.TempFile("setup.log"), "someone's log");
}

int StartProduct(sim::Machine& machine, const ProductLayout& layout, bool closesOnWmClose,
                 sim::Time closeDelay, sim::Time endsAfterWindow) {
    int product = machine.processes.StartBackgroundProcess(layout.installFolder + "\\" + kMainExecutable,
                                                           layout.installFolder);
    machine.processes.GetProcess(product).exitDelay = endsAfterWindow;
    machine.desktop.AddWindow(kWindowClass, "Tandrel", product, closesOnWmClose, closeDelay);
    return product;
}

sim::StartOutcome UserStartsUninstaller(sim::Machine& machine, const ProductLayout& layout,
                                        sim::ProcessOptions options) {
    return machine.driver.RunProgram(&WinMain, layout.InstalledUninstaller(), std::nullopt,
                                     layout.installFolder, options);
}

sim::StartOutcome RunCopyThatTakesOver(sim::Machine& machine, size_t start) {
    return machine.driver.RunStart(start, [](HINSTANCE, HINSTANCE, LPSTR, int) {
        HANDLE handOver = CreateEventA(nullptr, TRUE, FALSE, kHandOverEvent);
        SetEvent(handOver);
        CloseHandle(handOver);
        return 1;
    });
}

UninstallOptions AsTheUserStartsIt(const ProductLayout& layout) {
    UninstallOptions options;
    options.image = layout.InstalledUninstaller();
    options.folder = layout.installFolder;
    return options;
}

Snapshot TakeSnapshot(const sim::Machine& machine) {
    return Snapshot{machine.registry.AllKeys(HKEY_LOCAL_MACHINE), machine.registry.AllKeys(HKEY_CURRENT_USER),
                    machine.files.AllFiles()};
}

std::vector<std::string> CallsOf(const sim::Machine& machine, int process,
                                 const std::vector<std::string>& functions) {
    std::vector<std::string> calls;
    for (const sim::CallRecord& call : machine.journal.Calls()) {
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
    for (const sim::CallRecord& call : machine.journal.Calls()) {
        if (call.function == function && call.detail == detail && (process == 0 || call.process == process)) {
            ++count;
        }
    }
    return count;
}

int FirstCallAt(const sim::Machine& machine, const std::string& function, const std::string& detail) {
    const std::vector<sim::CallRecord>& journal = machine.journal.Calls();
    for (size_t i = 0; i < journal.size(); ++i) {
        if (journal[i].function == function && journal[i].detail == detail) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string ExpectedCleanupScript(const std::string& tempFolder, int number, const std::string& program) {
    return CleanupScriptText(program.empty() ? tempFolder + kUninstallerName : program,
                             tempFolder + "delme" + std::to_string(number) + ".bat");
}

}  // namespace testing_support
