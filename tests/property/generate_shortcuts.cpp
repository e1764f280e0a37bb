// The product's shortcuts in the user's Startup and Programs folders, named by the Shell Folders values
// in every form those values come in, and look-alikes beside them.
#include "generator_parts.h"
#include "sim_path.h"

namespace property {
namespace generator {

namespace {

// A Shell Folders value: the folder it names (none: the data say it all), whether it is there at all,
// its type and data (empty: the folder, terminated).
struct ShellFolderValue {
    std::string folder;
    bool write = true;
    DWORD type = REG_SZ;
    std::string data;
};

using ShellFolderBuild = void (*)(ShellFolderValue& v, Builder& b, const Install& install,
                                  const std::string& tempFolder);

const Choice<ShellFolderBuild> kShellFolders[] = {
    {60, "as installed", [](ShellFolderValue&, Builder&, const Install&, const std::string&) {}},
    {5, "with a trailing backslash",
     [](ShellFolderValue& v, Builder&, const Install&, const std::string&) { v.folder += "\\"; }},
    {5, "no such value",
     [](ShellFolderValue& v, Builder&, const Install&, const std::string&) { v.write = false; }},
    {4, "empty", [](ShellFolderValue& v, Builder&, const Install&, const std::string&) { v.folder = ""; }},
    {4, "relative",
     [](ShellFolderValue& v, Builder& b, const Install&, const std::string& tempFolder) {
         v.folder = b.c.Chance(50) ? "Start Menu\\Programs" : "..";
         sim::SimPath resolved;
         if (sim::ResolvePath(v.folder, tempFolder, resolved, false, false) == 0) {
             b.File(Join(sim::PathText(resolved), kShortcutName), "shortcut a relative path would name");
         }
     }},
    {5, "a folder around the length limit",
     [](ShellFolderValue& v, Builder& b, const Install&, const std::string&) {
         // Long enough that the shortcut's path does not fit, or only just does.
         static const std::vector<size_t> kLengths = {236, 237, 238, 239, 240, 250, 258, 259};
         v.folder = PadPath(v.folder, b.c.OneOf(kLengths), "Long");
         AddCutVictims(b, Join(v.folder, kShortcutName), "look-alike of the shortcut");
     }},
    {3, "260 bytes without a terminator",
     [](ShellFolderValue& v, Builder& b, const Install&, const std::string&) {
         v.data = PadPath(v.folder, 260, "Long");
         b.Folder(v.data.substr(0, 259));
         b.File(Join(v.data.substr(0, 259), kShortcutName), "shortcut a cut value would name");
         v.folder.clear();
     }},
    {3, "expandable",
     [](ShellFolderValue& v, Builder&, const Install&, const std::string&) {
         v.type = REG_EXPAND_SZ;
         v.data = WithTerminator("%USERPROFILE%\\Start Menu");
         v.folder.clear();
     }},
    {3, "a drive root",
     [](ShellFolderValue& v, Builder&, const Install&, const std::string&) { v.folder = "C:\\"; }},
    {3, "the installation folder",
     [](ShellFolderValue& v, Builder&, const Install& install, const std::string&) {
         v.folder = install.value;
     }},
    {2, "on a share",
     [](ShellFolderValue& v, Builder&, const Install&, const std::string&) {
         v.folder = std::string(kShare) + "\\Start Menu";
     }},
    {2, "binary",
     [](ShellFolderValue& v, Builder&, const Install&, const std::string&) {
         v.type = REG_BINARY;
         v.data = v.folder;
     }},
};

void AddShellFolder(Builder& b, const char* valueName, const std::string& usual, const Install& install,
                    const std::string& tempFolder) {
    ShellFolderValue v;
    v.folder = usual;
    b.Variant(kShellFolders, std::string(valueName) + ": ").build(v, b, install, tempFolder);
    if (!v.write) {
        return;
    }
    if (v.data.empty()) {
        v.data = WithTerminator(v.folder);
    }
    b.Value(HKEY_CURRENT_USER, kShellFoldersKey, valueName, v.type, v.data);
    b.Note(std::string(valueName) + " = \"" + v.data.substr(0, v.data.find('\0')) + "\" type " +
           std::to_string(v.type));
    if (!v.folder.empty() && b.c.Chance(85)) {
        std::string shortcut = Join(v.folder, kShortcutName);
        if (b.File(shortcut, "shortcut", b.Odd(5) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE) &&
            b.Odd(3)) {
            b.Lock(shortcut, LockTime(b.c));
        }
    }
}

}  // namespace

void AddShortcuts(Builder& b, const Install& install, const std::string& tempFolder) {
    if (b.Odd(3)) {
        b.Note("no Shell Folders key");
    } else {
        AddShellFolder(b, kStartupValue, kDefaultStartupFolder, install, tempFolder);
        AddShellFolder(b, kProgramsValue, kDefaultProgramsFolder, install, tempFolder);
        b.String(HKEY_CURRENT_USER, kShellFoldersKey, "Desktop", "C:\\WINDOWS\\Desktop");
        if (b.Odd(4)) {
            b.m.registry.DenyKeyOpen(HKEY_CURRENT_USER, kShellFoldersKey);
            b.Note("Shell Folders cannot be opened");
        }
    }
    if (b.c.Chance(50)) {
        b.File(Join(kDefaultProgramsFolder, "Other.lnk"), "other shortcut");
        b.File(Join("C:\\WINDOWS\\All Users\\Start Menu\\Programs", kShortcutName), "all users' shortcut");
    }
    for (const char* lookAlike : {"VORSK Tandrel 98.lnk.bak", "VORSK Tandrel 98.pif", "VORSK Tandrel.lnk",
                                  "VORSK Software\\VORSK Tandrel 98.lnk", "VORSK Tandrel 98 .lnk2"}) {
        if (b.c.Chance(5)) {
            b.File(Join(kDefaultProgramsFolder, lookAlike), std::string("look-alike ") + lookAlike);
        }
    }
}

}  // namespace generator
}  // namespace property
