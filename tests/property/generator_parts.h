// The parts of a generated machine, each built in a file of its own and called in this order by
// GenerateMachine: the installation folder and its files (generate_install_folder.cpp), the
// temporary folder (generate_temp_folder.cpp), the registry with "InstallPath"
// (generate_registry.cpp, generate_install_path.cpp) and the shortcuts (generate_shortcuts.cpp),
// the processes, the traps others left and the user's start (generate_processes.cpp).
#pragma once

#include <string>

#include "generator_builder.h"

namespace property {
namespace generator {

struct Install {
    std::string folder;  // where the files are: "C:\Apps\VORSK Software\Tandrel", or "C:" for the root
    std::string value;   // the same as a full path: "C:\" for the root
    bool placed = true;
};

Install ChooseInstallFolder(Builder& b);
void PlaceProductFiles(Builder& b, const Install& install);

std::string ChooseTempFolder(Builder& b, const Install& install);

void AddMachineKeys(Builder& b);
void AddMachineProductKey(Builder& b, const Install& install, const std::string& tempFolder);
void WriteInstallPath(Builder& b, const Install& install, const std::string& tempFolder);
void AddUserProductKeys(Builder& b);
void AddVendorKeys(Builder& b, HKEY root);

void AddShortcuts(Builder& b, const Install& install, const std::string& tempFolder);

void AddRunningProduct(Builder& b, const Install& install);
void AddTraps(Builder& b, const std::string& tempFolder);
void ChooseUserStart(Builder& b, const Install& install, const std::string& tempFolder);

}  // namespace generator
}  // namespace property
