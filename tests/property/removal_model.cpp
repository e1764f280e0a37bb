#include "removal_model.h"

#include <algorithm>
#include <cctype>

#include "code_pages.h"
#include "support/product_names.h"

namespace property {

namespace {

using namespace product_names;

std::string RootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU";
}

std::string KeyName(HKEY root, const std::string& path) {
    return sim::UpperCase(RootName(root) + "\\" + path);
}

// The data of a string value as far as its first terminator; nothing when the value is missing.
std::optional<std::string> StringData(const sim::Machine& machine, HKEY root, const std::string& path,
                                      const std::string& name) {
    std::optional<sim::RegistryValue> value = machine.registry.GetValue(root, path, name);
    if (!value) {
        return std::nullopt;
    }
    return value->data.substr(0, value->data.find('\0'));
}

// A drive or share root, the Windows folder or the system folder (those of the simulated machine):
// never an installation folder, whatever "InstallPath" says.
bool IsSharedFolder(const std::string& path) {
    sim::SimPath resolved;
    return sim::ResolvePath(path, "", resolved, false, false) != 0 || resolved.segments.empty() ||
           sim::PathKey(resolved) == "C:\\WINDOWS" || sim::PathKey(resolved) == "C:\\WINDOWS\\SYSTEM32" ||
           sim::PathKey(resolved) == "C:\\WINDOWS\\SYSWOW64";
}

// "InstallPath" as the program reads it: an expandable value with the environment put in, and '/'
// a separator like '\'.
std::optional<std::string> InstallFolder(const sim::Machine& machine) {
    std::optional<std::string> text = StringData(machine, HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue);
    std::optional<sim::RegistryValue> value =
        machine.registry.GetValue(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue);
    // Its ANSI form names another folder than the value itself.
    if (!text || (!value->wide.empty() && value->wide != sim::AnsiToWide(*text))) {
        return std::nullopt;
    }
    if (value->type == REG_EXPAND_SZ) {
        text = machine.shell.ExpandVariables(*text);
    }
    std::replace(text->begin(), text->end(), '/', '\\');
    return text;
}

// A folder that exists is the product's only with its executable or its uninstaller in it.
bool IsProductsFolder(const std::string& folder, const MachineState& before) {
    auto file = [&before](const std::string& path) {
        std::optional<std::string> key = FullPathKey(path);
        auto found = key ? before.files.find(*key) : before.files.end();
        return found != before.files.end() && !found->second.folder;
    };
    std::optional<std::string> key = FullPathKey(folder);
    return before.files.count(*key) == 0 || file(folder + "\\" + kMainExecutable) ||
           file(folder + "\\" + kUninstallerName);
}

// Whether the temporary folder may take the copy and the script: a full path that is no root, not
// one of the system's folders, not the user's profile folder, and named alike in ANSI and Unicode.
bool IsTempFolder(const sim::Machine& machine, const std::string& folder) {
    std::optional<std::string> key = FullPathKey(folder);
    std::optional<std::string> profile = machine.shell.Variable("USERPROFILE");
    auto present = [&machine, &folder](const char* extension) {
        return machine.files.Exists(folder + "\\" + kUninstallerName + extension);
    };
    return key && !IsSharedFolder(folder) && !(profile && FullPathKey(*profile) == key) &&
           machine.files.TempPathWide() == sim::AnsiToWide(folder) && !present(".manifest") &&
           !present(".local");
}

std::string DescribeFile(const FileState& file) {
    std::string text = file.folder ? "folder" : "file \"" + file.content + "\"";
    return text + " attributes " + std::to_string(file.attributes);
}

std::string DescribeValue(const std::optional<sim::RegistryValue>& value) {
    if (!value) {
        return "(none)";
    }
    return "type " + std::to_string(value->type) + " \"" + value->data + "\"";
}

}  // namespace

MachineState CaptureState(const sim::Machine& machine, const GeneratedMachine& generated,
                          bool placedAttributes) {
    MachineState state;
    // Listed as "PATH\" for a folder and "PATH=content" for a file. A name may hold '=' too: the
    // path ends at the first '=' before which a file exists.
    for (const std::string& entry : machine.files.AllFiles()) {
        FileState file;
        size_t equals = entry.find('=');
        while (equals != std::string::npos && !(machine.files.Exists(entry.substr(0, equals)) &&
                                                !machine.files.IsFolder(entry.substr(0, equals)))) {
            equals = entry.find('=', equals + 1);
        }
        if (equals == std::string::npos && !entry.empty() && entry.back() == '\\') {
            file.folder = true;
            file.path = entry.substr(0, entry.size() - 1);
        } else {
            file.path = entry.substr(0, equals);
            file.content = equals == std::string::npos ? std::string() : entry.substr(equals + 1);
        }
        std::string key = sim::UpperCase(file.path);
        if (!file.folder) {
            auto placed = generated.fileAttributes.find(key);
            file.attributes = placedAttributes && placed != generated.fileAttributes.end()
                                  ? placed->second
                                  : machine.files.Attributes(file.path);
        }
        state.files[key] = file;
    }
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (const std::string& path : machine.registry.AllKeys(root)) {
            state.keys[KeyName(root, path)] = RootName(root) + "\\" + path;
        }
    }
    for (const ValueRef& value : generated.values) {
        state.values[KeyName(value.root, value.path) + ":" + sim::UpperCase(value.name)] =
            machine.registry.GetValue(value.root, value.path, value.name);
    }
    return state;
}

std::optional<std::string> FullPathKey(const std::string& path) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                 separator(path[2]);
    bool unc = path.size() >= 3 && separator(path[0]) && separator(path[1]);
    sim::SimPath resolved;
    if (!(drive || unc) || sim::ResolvePath(path, "", resolved, false, false) != 0) {
        return std::nullopt;
    }
    return sim::PathKey(resolved);
}

void RemovalModel::MayGo(const std::string& path) {
    if (std::optional<std::string> key = FullPathKey(path)) {
        filesMayGo_.insert(*key);
    }
}

void RemovalModel::MayAppear(const std::string& path) {
    if (std::optional<std::string> key = FullPathKey(path)) {
        filesMayAppear_.insert(*key);
    }
}

RemovalModel::RemovalModel(const sim::Machine& machine, const MachineState& before,
                           const std::optional<std::string>& typedSwitch) {
    AllowProductFolder(machine, before);
    AllowTempFolder(machine, before, typedSwitch);
    AllowProductKeys();
}

// The installation folder, its named files, the files directly in its images folder, the installed
// uninstaller, the vendor's folder above it, and the two shortcuts.
void RemovalModel::AllowProductFolder(const sim::Machine& machine, const MachineState& before) {
    std::optional<std::string> install = InstallFolder(machine);
    if (install && FullPathKey(*install) && !IsSharedFolder(*install) && IsProductsFolder(*install, before)) {
        const std::string& P = *install;
        productFolder_ = P;
        MayGo(P);
        for (const std::string& name : ProductFileNames()) {
            MayGo(P + "\\" + name);
        }
        MayGo(P + "\\" + kUninstallerName);
        MayGo(P + kImagesSubfolder);
        std::string images = *FullPathKey(P + kImagesSubfolder);
        for (const auto& entry : before.files) {
            const std::string& key = entry.first;
            if (!entry.second.folder && key.size() > images.size() + 1 &&
                key.compare(0, images.size(), images) == 0 && key[images.size()] == '\\' &&
                key.find('\\', images.size() + 1) == std::string::npos) {
                filesMayGo_.insert(key);
            }
        }
        // The parent, both as the text before the last backslash and as the folder that holds P,
        // when it is the vendor's.
        std::vector<std::string> parents;
        size_t cut = P.find_last_of('\\');
        if (cut != std::string::npos) {
            parents.push_back(P.substr(0, cut));
        }
        sim::SimPath resolved;
        if (sim::ResolvePath(P, "", resolved, false, false) == 0 && !resolved.segments.empty()) {
            resolved.segments.pop_back();
            parents.push_back(sim::PathText(resolved));
        }
        for (const std::string& parent : parents) {
            sim::SimPath folder;
            if (FullPathKey(parent) && sim::ResolvePath(parent, "", folder, false, false) == 0 &&
                sim::UpperCase(sim::PathText(folder)).find(sim::UpperCase(kVendorFolderMarker)) !=
                    std::string::npos) {
                filesMayGo_.insert(sim::PathKey(folder));
            }
        }
    }

    // The two shortcuts.
    for (const char* folderName : {kStartupValue, kProgramsValue}) {
        std::optional<std::string> folder =
            StringData(machine, HKEY_CURRENT_USER, kShellFoldersKey, folderName);
        if (folder && FullPathKey(*folder)) {
            MayGo(*folder + "\\" + kShortcutName);
        }
    }
}

void RemovalModel::AllowTempFolder(const sim::Machine& machine, const MachineState& before,
                                   const std::optional<std::string>& typedSwitch) {
    // The temporary folder (created when missing), the copy of the uninstaller in it (an older one
    // is overwritten), and the run's own script under a name not taken before; none of these where the
    // shell would expand the folder's name, and no copy where the folder is none for it. Started with
    // the switch, no copy is made, and the program that ran goes instead.
    const std::string& T = machine.files.TempPath();
    bool keepsName = machine.shell.ExpandVariables(T) == T;
    MayAppear(T);
    secondImage_ = FullPathKey(typedSwitch.value_or(T + "\\" + kUninstallerName));
    if (secondImage_ && (typedSwitch || (keepsName && IsTempFolder(machine, T)))) {
        filesMayGo_.insert(*secondImage_);
        filesMayAppear_.insert(*secondImage_);
    }
    std::optional<std::string> tempKey = FullPathKey(T);
    if (tempKey && keepsName) {
        scriptPrefix_ = *tempKey + (tempKey->back() == '\\' ? "" : "\\") + "DELME";
        for (const auto& entry : before.files) {
            if (IsScriptName(entry.first)) {
                oldScripts_.insert(entry.first);
            }
        }
    }
}

void RemovalModel::AllowProductKeys() {
    // Registry: the Uninstall entry, the App Paths entry, the product keys with everything below,
    // the vendor keys themselves; the machine-wide product key may be created on the way.
    keyTreesMayGo_ = {
        KeyName(HKEY_LOCAL_MACHINE, kUninstallEntry),
        KeyName(HKEY_LOCAL_MACHINE, kAppPathsEntry),
        KeyName(HKEY_CURRENT_USER, kProductKey),
        KeyName(HKEY_LOCAL_MACHINE, kProductKey),
    };
    keysMayGo_ = {KeyName(HKEY_CURRENT_USER, kVendorKey), KeyName(HKEY_LOCAL_MACHINE, kVendorKey)};
    keysMayAppear_ = {KeyName(HKEY_LOCAL_MACHINE, kSoftwareKey), KeyName(HKEY_LOCAL_MACHINE, kVendorKey),
                      KeyName(HKEY_LOCAL_MACHINE, kProductKey)};
}

bool RemovalModel::IsScriptName(const std::string& key) const {
    if (scriptPrefix_.empty() || key.size() <= scriptPrefix_.size() + 4 ||
        key.compare(0, scriptPrefix_.size(), scriptPrefix_) != 0 ||
        key.compare(key.size() - 4, 4, ".BAT") != 0) {
        return false;
    }
    std::string digits = key.substr(scriptPrefix_.size(), key.size() - scriptPrefix_.size() - 4);
    if (digits.empty() || digits.size() > 3 || digits[0] == '0') {
        return false;
    }
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return std::stoi(digits) <= 200;
}

// A name taken before the run is free again when the run may remove what held it (the temporary
// folder can be the images folder).
bool RemovalModel::IsNewScript(const std::string& key) const {
    return IsScriptName(key) && (oldScripts_.count(key) == 0 || FileMayGo(key));
}

bool RemovalModel::FileMayAppear(const std::string& key) const {
    return filesMayAppear_.count(key) != 0 || IsNewScript(key);
}

bool RemovalModel::KeyMayGo(const std::string& key) const {
    if (keysMayGo_.count(key) != 0) {
        return true;
    }
    for (const std::string& tree : keyTreesMayGo_) {
        if (key == tree || (key.size() > tree.size() && key.compare(0, tree.size(), tree) == 0 &&
                            key[tree.size()] == '\\')) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> RemovalModel::Compare(const MachineState& before, const MachineState& after) const {
    std::vector<std::string> problems;
    for (const auto& entry : before.files) {
        auto now = after.files.find(entry.first);
        if (now == after.files.end()) {
            if (!FileMayGo(entry.first)) {
                problems.push_back("removed, not ours: " + entry.second.path);
            }
        } else if (now->second.folder != entry.second.folder || now->second.content != entry.second.content ||
                   now->second.attributes != entry.second.attributes) {
            if (!FileMayGo(entry.first)) {
                problems.push_back("changed, not ours: " + entry.second.path + " was " +
                                   DescribeFile(entry.second) + ", is " + DescribeFile(now->second));
            }
        }
    }
    for (const auto& entry : after.files) {
        if (before.files.count(entry.first) == 0 && !FileMayAppear(entry.first)) {
            problems.push_back("created, not ours: " + entry.second.path);
        }
    }
    for (const auto& entry : before.keys) {
        if (after.keys.count(entry.first) == 0 && !KeyMayGo(entry.first)) {
            problems.push_back("key removed, not ours: " + entry.second);
        }
    }
    for (const auto& entry : after.keys) {
        if (before.keys.count(entry.first) == 0 && !KeyMayAppear(entry.first)) {
            problems.push_back("key created, not ours: " + entry.second);
        }
    }
    for (const auto& entry : before.values) {
        auto now = after.values.find(entry.first);
        std::string keyName = entry.first.substr(0, entry.first.rfind(':'));
        bool keyStays = after.keys.count(keyName) != 0;
        if (now == after.values.end() || !keyStays) {
            continue;  // the key went; the key comparison judged that
        }
        const std::optional<sim::RegistryValue>& was = entry.second;
        const std::optional<sim::RegistryValue>& is = now->second;
        bool same =
            was.has_value() == is.has_value() && (!was || (was->type == is->type && was->data == is->data));
        if (!same) {
            problems.push_back("value changed: " + entry.first + " was " + DescribeValue(was) + ", is " +
                               DescribeValue(is));
        }
    }
    return problems;
}

std::string RemovalModel::Describe() const {
    std::string text = "  may go:";
    for (const std::string& key : filesMayGo_) {
        text += "\n    " + key;
    }
    text += "\n  may appear: " + std::to_string(filesMayAppear_.size()) + " paths";
    return text;
}

}  // namespace property
