// What an uninstall may remove or change on a given machine, worked out from the product's
// description alone: the registry values that name its folders, the fixed names of its files and
// keys, the temporary folder and how the user started it. Everything else must be exactly as it was.
// Paths are compared the way Windows resolves them (letter case, "..", repeated separators, trailing
// dots and spaces).
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "machine.h"
#include "machine_generator.h"

namespace property {

struct FileState {
    std::string path;  // as listed
    bool folder = false;
    std::string content;
    DWORD attributes = 0;
};

// Every file and folder, every key, and every value the generator wrote.
struct MachineState {
    std::map<std::string, FileState> files;   // by resolved, case-folded path
    std::map<std::string, std::string> keys;  // "HKLM\SOFTWARE\..." case-folded -> as listed
    std::map<std::string, std::optional<sim::RegistryValue>> values;  // "HKLM\PATH:NAME" case-folded
};

// With `placedAttributes`, the files' attributes are taken from what the generator placed (as they
// are before any program ran), which spares a look-up per file.
MachineState CaptureState(const sim::Machine& machine, const GeneratedMachine& generated,
                          bool placedAttributes = false);

// The identity of a full path, or nothing for a path that is not one ("X:\..." or "\\server\share").
std::optional<std::string> FullPathKey(const std::string& path);

class RemovalModel {
  public:
    // Reads the machine as it is before the uninstall; `typedSwitch`: the program the user started with
    // "/internally", if so.
    RemovalModel(const sim::Machine& machine, const MachineState& before,
                 const std::optional<std::string>& typedSwitch = std::nullopt);

    bool FileMayGo(const std::string& key) const { return filesMayGo_.count(key) != 0; }
    bool FileMayAppear(const std::string& key) const;
    // The program the second phase runs as, which its script deletes: the temporary copy, or the
    // program the user started with the switch.
    bool IsSecondPhaseImage(const std::string& key) const { return secondImage_ && key == *secondImage_; }
    // delme1.bat to delme200.bat directly in the temporary folder, under a name that was free or
    // may be freed by the run.
    bool IsNewScript(const std::string& key) const;
    bool KeyMayGo(const std::string& key) const;
    bool KeyMayAppear(const std::string& key) const { return keysMayAppear_.count(key) != 0; }
    // The installation folder as the program names it, where the model takes it for the product's.
    const std::optional<std::string>& ProductFolder() const { return productFolder_; }

    // Differences between the states that the model does not allow, one line each.
    std::vector<std::string> Compare(const MachineState& before, const MachineState& after) const;

    std::string Describe() const;

  private:
    void AllowProductFolder(const sim::Machine& machine, const MachineState& before);
    void AllowTempFolder(const sim::Machine& machine, const MachineState& before,
                         const std::optional<std::string>& typedSwitch);
    void AllowProductKeys();
    void MayGo(const std::string& path);
    void MayAppear(const std::string& path);

    std::optional<std::string> productFolder_;
    std::set<std::string> filesMayGo_;
    std::set<std::string> filesMayAppear_;
    bool IsScriptName(const std::string& key) const;

    std::string scriptPrefix_;  // the temporary folder's identity and "\DELME"
    std::set<std::string> oldScripts_;
    std::optional<std::string> secondImage_;
    std::vector<std::string> keyTreesMayGo_;  // the key and everything below it
    std::set<std::string> keysMayGo_;         // the key alone
    std::set<std::string> keysMayAppear_;
};

}  // namespace property
