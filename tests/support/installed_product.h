// Builders for machines with the product installed, and small views of what a test inspects.
#pragma once

#include <string>
#include <vector>

#include "machine.h"
#include "support/complete_uninstall.h"
#include "support/product_names.h"

namespace testing_support {

using namespace product_names;

// Where the product and the user's folders are on a simulated machine.
struct ProductLayout {
    std::string installFolder = kDefaultInstallFolder;
    std::string startupFolder = kDefaultStartupFolder;
    std::string programsFolder = kDefaultProgramsFolder;
    std::string tempFolder = kDefaultTempFolder;

    std::string InstalledUninstaller() const { return installFolder + "\\" + kUninstallerName; }
    std::string TempCopy() const;  // the temporary copy of the uninstaller
    std::string TempFile(const std::string& name) const;
};

// Installs the product as its installer would, with other programs' keys and files beside it.
void InstallProduct(sim::Machine& machine, const ProductLayout& layout = {});

// Starts the product: a process running Tandrel.exe with its main window, which closes `closeDelay`
// ms after it is asked to; the process ends `endsAfterWindow` ms later. Returns the process id.
int StartProduct(sim::Machine& machine, const ProductLayout& layout = {}, bool closesOnWmClose = true,
                 sim::Time closeDelay = 0, sim::Time endsAfterWindow = 0);

// The user starts the installed uninstaller without arguments, from its folder.
sim::StartOutcome UserStartsUninstaller(sim::Machine& machine, const ProductLayout& layout = {},
                                        sim::ProcessOptions options = {});

// Runs the start of the temporary copy as a copy that only takes over, as the real one does first,
// and ends: for tests of the first process alone.
sim::StartOutcome RunCopyThatTakesOver(sim::Machine& machine, size_t start = 0);

// A complete uninstall as the user starts it: the installed uninstaller without arguments, from its
// folder (RunCompleteUninstall).
UninstallOptions AsTheUserStartsIt(const ProductLayout& layout = {});

// Every key under both roots, and every file, for before/after comparisons.
struct Snapshot {
    std::vector<std::string> machineKeys;
    std::vector<std::string> userKeys;
    std::vector<std::string> files;
    bool operator==(const Snapshot& other) const {
        return machineKeys == other.machineKeys && userKeys == other.userKeys && files == other.files;
    }
};
Snapshot TakeSnapshot(const sim::Machine& machine);

// The journal of one process restricted to the named functions, as "Function detail" lines.
std::vector<std::string> CallsOf(const sim::Machine& machine, int process,
                                 const std::vector<std::string>& functions);

// How often one process (0: any) called `function` with exactly this main argument.
int CountCall(const sim::Machine& machine, const std::string& function, const std::string& detail,
              int process = 0);

// The position in the journal of the first call of `function` with exactly this main argument (-1:
// none), for the few orders a user or the system can see.
int FirstCallAt(const sim::Machine& machine, const std::string& function, const std::string& detail);

// The cleanup script the uninstaller writes, byte for byte, for a temporary folder (ending in a
// backslash), a script number and the program that ran (by default the temporary copy).
std::string ExpectedCleanupScript(const std::string& tempFolder, int number, const std::string& program = "");

}  // namespace testing_support
