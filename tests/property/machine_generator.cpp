#include "machine_generator.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>

#include "sim/in_process.h"
#include "support/product_names.h"
#include "code_pages.h"

namespace property {

namespace {

// The product's names, shared with the tests.
using namespace product_names;

const char kShare[] = "\\\\SERVER\\SHARE";

constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') {
        return folder + name;
    }
    return folder + "\\" + name;
}

// base + "\" + stem + filler names, exactly `length` characters, no name longer than 40 and none
// ending in a dot or space (Windows would drop those).
std::string PadPath(const std::string& base, size_t length, const std::string& stem) {
    std::string path = Join(base, stem);
    while (path.size() < length) {
        size_t name = path.size() - path.find_last_of('\\') - 1;
        if (name >= 40 && length - path.size() >= 2) {
            path += '\\';
        } else {
            path += static_cast<char>('a' + path.size() % 26);
        }
    }
    return path;
}

std::string WithTerminator(const std::string& text) {
    return text + std::string(1, '\0');
}

class Builder {
  public:
    Builder(Choices& choices, sim::Machine& machine, GeneratedMachine& generated)
        : c(choices), m(machine), g(generated) {}

    Choices& c;
    sim::Machine& m;
    GeneratedMachine& g;
    int hostility = 0;  // 0: an ordinary machine, 1: a few odd things, 2: many

    // Something odd, more often on more hostile machines, never on ordinary ones.
    bool Odd(int percent) { return c.Chance(percent * hostility / 2); }

    // One of several forms, the first (ordinary) one on ordinary machines.
    int Variant(std::initializer_list<int> weights) {
        int picked = c.Weighted(weights);
        return hostility == 0 ? 0 : picked;
    }

    void Note(const std::string& text) { g.description.push_back(text); }

    void Root(const std::string& root) {
        if (root.size() == 2) {
            m.files.AddDrive(root);
        } else {
            m.files.AddShare(root);
        }
        g.fileRoots.push_back(root);
    }

    // Whether a file (or folder) can be put at `path` without replacing a folder by a file or
    // putting something below a file; fills `keys` with the case-folded paths from the root down.
    bool Placeable(const std::string& path, bool folder, std::vector<std::string>& keys) const {
        sim::SimPath resolved;
        if (sim::ResolvePath(path, "", resolved, false, false) != 0 || resolved.segments.empty()) {
            return false;
        }
        bool rootKnown =
            std::any_of(g.fileRoots.begin(), g.fileRoots.end(),
                        [&resolved](const std::string& root) { return sim::SameName(root, resolved.root); });
        if (!rootKnown) {
            return false;
        }
        std::string key = sim::UpperCase(resolved.root);
        for (size_t i = 0; i < resolved.segments.size(); ++i) {
            key += "\\" + sim::UpperCase(resolved.segments[i]);
            keys.push_back(key);
            auto found = placed_.find(key);
            bool last = i + 1 == resolved.segments.size();
            if (found != placed_.end() && (last ? found->second != folder : !found->second)) {
                return false;
            }
        }
        return true;
    }

    void Placed(const std::vector<std::string>& keys, bool folder) {
        for (size_t i = 0; i < keys.size(); ++i) {
            placed_[keys[i]] = i + 1 < keys.size() || folder;
        }
    }

    bool File(const std::string& path, const std::string& content,
              DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
        std::vector<std::string> keys;
        if (!Placeable(path, false, keys)) {
            return false;
        }
        m.files.AddFile(path, content, attributes);
        Placed(keys, false);
        g.fileAttributes[keys.back()] = attributes;
        return true;
    }

    bool Folder(const std::string& path) {
        std::vector<std::string> keys;
        if (!Placeable(path, true, keys)) {
            return false;
        }
        m.files.AddFolder(path);
        Placed(keys, true);
        return true;
    }

    bool IsFile(const std::string& path) const {
        sim::SimPath resolved;
        if (sim::ResolvePath(path, "", resolved, false, false) != 0) {
            return false;
        }
        auto found = placed_.find(sim::PathKey(resolved));
        return found != placed_.end() && !found->second;
    }

  private:
    // What the generator has put on the machine: case-folded path -> is a folder. The machine
    // starts with its temporary folder.
    std::map<std::string, bool> placed_ = {{"C:\\WINDOWS", true}, {"C:\\WINDOWS\\TEMP", true}};

  public:
    bool Lock(const std::string& path, sim::Time until) {
        sim::SimPath resolved;
        if (sim::ResolvePath(path, "", resolved, false, false) != 0) {
            return false;
        }
        m.files.LockFile(path, c.Chance(50) ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED, until);
        Note("locked until " + std::to_string(until) + ": " + path);
        return true;
    }

    void Value(HKEY root, const std::string& path, const std::string& name, DWORD type,
               const std::string& data) {
        m.registry.SetValue(root, path, name, type, data);
        g.values.push_back(ValueRef{root, path, name});
    }

    void String(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
        Value(root, path, name, REG_SZ, WithTerminator(text));
    }

    // A key with a value of its own, so that a change to it shows.
    void Key(HKEY root, const std::string& path) { String(root, path, "Owner", path); }
};

std::string RandomName(Choices& c, size_t length) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-.{}~";
    std::string name;
    for (size_t i = 0; i < length; ++i) {
        name += kLetters[c.Pick(static_cast<int>(sizeof kLetters) - 1)];
    }
    if (name.empty() || name.back() == ' ' || name.back() == '.') {
        name += 'k';
    }
    if (name[0] == ' ') {
        name[0] = 'k';
    }
    return name;
}

sim::Time LockTime(Choices& c) {
    static const std::vector<sim::Time> kTimes = {sim::kForever, 0, 100, 2000, 3000, 60000};
    return c.OneOf(kTimes);
}

// --- The installation folder ------------------------------------------------------------------

struct Install {
    std::string folder;  // where the files are: "C:\Apps\VORSK Software\Tandrel", or "C:" for the root
    std::string value;   // the same as a full path: "C:\" for the root
    bool placed = true;
};

Install ChooseInstallFolder(Builder& b) {
    Install install;
    int kind = b.c.Weighted({40, 8, 6, 4, 14, 5, 4, 3, 3, 2, 4, 3, 2});
    if (b.hostility == 0 && kind > 3 && kind != 6) {
        kind = 0;
    }
    switch (kind) {
        case 0:
            install.folder = "C:\\Apps\\VORSK Software\\Tandrel";
            break;
        case 1:
            install.folder = "C:\\Program Files\\VORSK Software\\Tandrel 98";
            break;
        case 2:
            install.folder = "C:\\Tools\\Tandrel";
            break;
        case 3:
            install.folder = "C:\\Apps\\Vorsk Software\\Tandrel";
            break;
        case 4: {
            static const std::vector<size_t> kLengths = {200, 230, 240, 242, 245, 247, 248, 250,
                                                         252, 255, 258, 259, 260, 261, 280};
            install.folder = PadPath("C:\\Apps\\VORSK Software", b.c.OneOf(kLengths), "Tandrel");
            break;
        }
        case 5:
            install.folder = std::string(kShare) + "\\VORSK Software\\Tandrel";
            break;
        case 6:
            install.folder = "D:\\VORSK Software\\Tandrel";
            break;
        case 7:
            install.folder = "C:";
            break;
        case 8:
            install.folder = "C:\\VORSK Software";
            break;
        case 9:
            install.folder = "C:\\Apps\\VORSK Software\\VORSK Software\\Tandrel";
            break;
        case 10:
            install.folder = "C:\\Apps\\VORSK Software\\Tandrel";
            install.placed = false;
            break;
        case 11:
            install.folder = "C:\\WINDOWS";
            break;
        default:
            install.folder = "C:\\Programme\\VORSK Software\\T\xe4ndrel";
            break;
    }
    install.value = install.folder.size() == 2 ? install.folder + "\\" : install.folder;
    b.Note("installed in " + install.folder + (install.placed ? "" : " (no files)"));
    return install;
}

// Files named like what a path cut at the length limit would name: a program that cuts instead of
// refusing deletes or overwrites them.
void AddCutVictims(Builder& b, const std::string& fullPath, const std::string& content) {
    for (size_t limit : {static_cast<size_t>(MAX_PATH - 1), static_cast<size_t>(MAX_PATH - 2)}) {
        if (fullPath.size() <= limit) {
            continue;
        }
        std::string cut = fullPath.substr(0, limit);
        if (cut.back() == '\\') {
            continue;
        }
        if (b.File(cut, content + " (cut victim)")) {
            b.Note("cut victim: " + cut);
        }
    }
}

void AddProductFilesIn(Builder& b, const std::string& folder, const std::string& why) {
    for (const std::string& name : ProductFileNames()) {
        b.File(Join(folder, name), why + " " + name);
    }
    b.File(Join(folder, "images\\title.bmp"), why + " picture");
    b.File(Join(folder, "uninstall.exe"), why + " uninstaller");
}

void PlaceProductFiles(Builder& b, const Install& install) {
    const std::string& L = install.folder;
    b.Folder(install.value);
    // Copied from a CD: all or some of the product's files read-only, and the user's files beside them too.
    int readOnly = b.c.Weighted({85, 8, 7});
    auto attributes = [&b, readOnly](int oddPercent) {
        bool set = readOnly == 1 || (readOnly == 2 && b.c.Chance(50)) || b.Odd(oddPercent);
        return set ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE;
    };
    DWORD others = readOnly != 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE;
    if (readOnly != 0) {
        b.Note(readOnly == 1 ? "all product files read-only" : "some product files read-only");
    }
    for (const std::string& name : ProductFileNames()) {
        std::string path = Join(L, name);
        switch (b.Variant({85, 8, 4, 3})) {
            case 0:
                b.File(path, name + " content", attributes(5));
                break;
            case 1:
                break;  // not there
            case 2:
                if (b.Folder(path)) {
                    b.File(Join(path, "keep.txt"), "inside a folder named like a product file");
                    b.Note("folder named " + name);
                }
                break;
            default:
                b.File(path, name + " content", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
                break;
        }
        if (b.Odd(4)) {
            b.Lock(path, LockTime(b.c));
        }
        AddCutVictims(b, path, "look-alike of " + name);
    }

    static const std::vector<std::string> kPictures = {"title.bmp",     "ghost.bmp",  "board.gif",
                                                       "logo.ico",      "splash.jpg", "a.bmp",
                                                       "uninstall.exe", "Tandrel.exe"};
    std::string images = Join(L, "images");
    switch (b.Variant({65, 15, 8, 7, 5, 5})) {
        case 0:
        case 2: {
            int count = 1 + b.c.Pick(6);
            for (int i = 0; i < count; ++i) {
                std::string picture = Join(images, b.c.OneOf(kPictures));
                b.File(picture, "picture", attributes(4));
                if (b.Odd(3)) {
                    b.Lock(picture, LockTime(b.c));
                }
            }
            if (b.Odd(5)) {
                // A picture whose path only just fits, or does not.
                size_t room = images.size() < 250 ? 258 - images.size() : 4;
                b.File(Join(images, std::string(room + static_cast<size_t>(b.c.Pick(3)), 'p')),
                       "long picture");
            }
            if (b.Odd(10)) {
                b.File(Join(images, "sub\\deep.bmp"), "picture in a subfolder", others);
                b.Note("images has a subfolder");
            }
            break;
        }
        case 1:
            break;
        case 3:
            b.Folder(images);
            break;
        case 4:
            b.File(images, "a file named images");
            b.Note("images is a file");
            break;
        default: {
            // A link (a junction) to a folder of the user's, whose files are not the product's.
            std::string target = b.c.Chance(50) ? "C:\\Users\\User\\Pictures" : "D:\\Photos";
            b.File(Join(target, "title.bmp"), "the user's picture", FILE_ATTRIBUTE_READONLY);
            b.File(Join(target, "holiday.jpg"), "the user's picture");
            std::vector<std::string> keys;
            if (b.Placeable(images, false, keys)) {
                b.m.files.AddLink(images, target);
                b.Placed(keys, false);  // as a file: nothing is placed below a link
                b.Note("images is a link to " + target);
            }
            break;
        }
    }
    AddCutVictims(b, Join(images, "*.*"), "look-alike of the images pattern");
    AddCutVictims(b, images, "look-alike of images");

    std::string uninstaller = Join(L, "uninstall.exe");
    if (!b.Odd(8) || install.folder.size() > 200) {
        b.File(uninstaller, kUninstallerImage, attributes(5));
    }
    if (b.Odd(3)) {
        b.Lock(uninstaller, LockTime(b.c));
    }
    AddCutVictims(b, uninstaller, "look-alike of uninstall.exe");

    struct Extra {
        const char* path;
        int percent;
    };
    static const Extra kExtras[] = {
        {"Tandrel.exe.bak", 10},   {"Tandrel.ex", 5},           {"images2\\pic.bmp", 8},
        {"sub\\uninstall.exe", 8}, {"savegame.dat", 10},        {"Tandra.htm.orig", 5},
        {"readme.txt", 5},         {"Tandrel\\Tandrel.exe", 5}, {"images.bmp", 4},
        {"uninstall.exe2", 3},     {"VORSK Tandrel 98.lnk", 3}, {"delme1.bat", 3},
    };
    for (const Extra& extra : kExtras) {
        if (b.Odd(extra.percent)) {
            std::string path = Join(L, extra.path);
            if (b.File(path, std::string("the user's ") + extra.path, others)) {
                b.Note("look-alike: " + path);
            }
        }
    }
    if (b.Odd(3)) {
        b.Lock(install.value, LockTime(b.c));
    }

    // Beside the installation folder: the vendor's other products, an empty sibling.
    size_t cut = L.find_last_of('\\');
    if (cut != std::string::npos && cut > 2) {
        std::string parent = L.substr(0, cut);
        if (b.c.Chance(15)) {
            b.File(Join(parent, "Other Game\\game.exe"), "the vendor's other game");
            b.Note("vendor folder holds another product");
        }
        if (b.c.Chance(5)) {
            b.File(Join(parent, "vendor.txt"), "the vendor's file");
        }
        if (b.c.Chance(5)) {
            b.Folder(Join(parent, "Empty Sibling"));
        }
    }
    // A sibling whose name is the installation folder's cut at the limit.
    if (L.size() >= MAX_PATH - 1) {
        AddProductFilesIn(b, L.substr(0, MAX_PATH - 1), "sibling cut at the limit");
        AddProductFilesIn(b, L.substr(0, MAX_PATH - 2), "sibling cut at the limit");
    }
}

// --- "InstallPath" -------------------------------------------------------------------------------

// A folder a wrong reading of the value would name, with files named like the product's.
void AddVictimFolder(Builder& b, const std::string& folder, const std::string& why) {
    sim::SimPath resolved;
    if (sim::ResolvePath(folder, "", resolved, false, false) != 0) {
        return;
    }
    AddProductFilesIn(b, sim::PathText(resolved), why);
    b.Note("victims (" + why + ") in " + sim::PathText(resolved));
}

// Files that a relative "InstallPath" would name when it is resolved against the temporary folder.
void AddRelativeVictims(Builder& b, const std::string& relative, const std::string& tempFolder) {
    sim::SimPath resolved;
    if (sim::ResolvePath(relative, tempFolder, resolved, false, false) == 0) {
        AddProductFilesIn(b, sim::PathText(resolved), "relative victim");
        b.Note("relative victims in " + sim::PathText(resolved));
    }
}

void WriteInstallPath(Builder& b, const Install& install, const std::string& tempFolder) {
    const std::string& L = install.value;
    auto sz = [&b](const std::string& text) {
        b.String(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", text);
        b.Note("InstallPath = \"" + text + "\"");
    };
    auto raw = [&b](DWORD type, const std::string& data, const std::string& what) {
        b.Value(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", type, data);
        b.Note("InstallPath type " + std::to_string(type) + ", " + std::to_string(data.size()) +
               " bytes: " + what);
    };
    std::string last = L.substr(L.find_last_of('\\') + 1);
    switch (b.Variant({40, 4, 2, 3, 3, 3, 6, 3, 3, 3, 8, 7, 5, 5, 3, 2, 3, 3, 6, 8})) {
        case 0:
            sz(L);
            break;
        case 1:
            sz(Join(L, ""));
            break;
        case 2:
            sz(L + "\\\\");
            break;
        case 3:
            sz(L + b.c.OneOf(std::vector<std::string>{" ", ".", ". .", "  "}));
            break;
        case 4: {
            std::string changed = L;
            bool upper = b.c.Chance(50);
            std::transform(changed.begin(), changed.end(), changed.begin(), [upper](char ch) {
                return static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(ch))
                                               : std::tolower(static_cast<unsigned char>(ch)));
            });
            sz(changed);
            break;
        }
        case 5: {
            std::string doubled;
            for (size_t i = 0; i < L.size(); ++i) {
                doubled += L[i];
                if (L[i] == '\\' && i > 2) {
                    doubled += '\\';
                }
            }
            sz(doubled);
            break;
        }
        case 6: {
            switch (b.c.Pick(6)) {
                case 0:
                    sz(L + "\\..\\" + last);
                    break;
                case 1:
                    b.File("C:\\Apps\\Stuff\\Tandrel\\Tandrel.exe", "somebody else's Tandrel.exe");
                    b.Folder("C:\\Apps\\Stuff\\Empty");
                    sz("C:\\Apps\\VORSK Software\\x\\..\\..\\Stuff\\Tandrel");
                    break;
                case 2:
                    b.File("C:\\Apps\\Stuff\\Tandrel\\Tandrel.exe", "somebody else's Tandrel.exe");
                    sz("C:\\Apps\\VORSK Software\\..\\Stuff\\Tandrel");
                    break;
                case 3:
                    sz(L + "\\..");
                    break;
                case 4:
                    sz("C:\\Apps\\VORSK Software\\..\\..\\WINDOWS");
                    break;
                default:
                    sz(L + "\\.");
                    break;
            }
            break;
        }
        case 7: {
            std::string slashed = L;
            std::replace(slashed.begin(), slashed.end(), '\\', '/');
            sz(b.c.Chance(50) ? slashed : L.substr(0, 3) + slashed.substr(3));
            break;
        }
        case 8:
            if (b.c.Chance(50)) {
                sz("");
            } else {
                raw(REG_SZ, "", "no data at all");
            }
            break;
        case 9:
            sz(b.c.OneOf(std::vector<std::string>{"C", "\\", ".", "x"}));
            break;
        case 10: {
            // Sizes around the 260-byte buffer, terminated or not.
            static const std::vector<size_t> kBytes = {258, 259, 260, 261, 262, 300};
            size_t bytes = b.c.OneOf(kBytes);
            bool terminated = b.c.Chance(50);
            size_t length = terminated ? bytes - 1 : bytes;
            std::string text = L.size() + 5 <= length ? PadPath(L, length, "Sub") : L.substr(0, length);
            if (terminated) {
                text = WithTerminator(text);
            }
            raw(REG_SZ, text, terminated ? "terminated" : "unterminated");
            std::string body = text.substr(0, text.find('\0'));
            for (size_t cut : {static_cast<size_t>(MAX_PATH - 1), static_cast<size_t>(MAX_PATH - 2)}) {
                if (body.size() > cut && body[cut - 1] != '\\') {
                    AddVictimFolder(b, body.substr(0, cut), "value cut at the buffer");
                }
            }
            break;
        }
        case 11:
            switch (b.c.Pick(8)) {
                case 0:
                    raw(REG_DWORD, std::string("\x01\x00\x00\x00", 4), "DWORD 1");
                    break;
                case 1:
                    raw(REG_DWORD, std::string("C:\\\0", 4), "DWORD spelling C:\\");
                    break;
                case 2:
                    raw(REG_BINARY, L, "the path without terminator");
                    break;
                case 3: {
                    std::string bytes;
                    int length = b.c.Pick(300);
                    for (int i = 0; i < length; ++i) {
                        bytes += static_cast<char>(b.c.Pick(256));
                    }
                    raw(REG_BINARY, bytes, "random bytes");
                    break;
                }
                case 4:
                    raw(REG_EXPAND_SZ, WithTerminator("%ProgramFiles%\\VORSK Software\\Tandrel"),
                        "unexpanded");
                    break;
                case 5:
                    raw(REG_EXPAND_SZ, WithTerminator(L), "the path");
                    break;
                case 6:
                    raw(REG_MULTI_SZ, L + std::string(1, '\0') + "C:\\WINDOWS" + std::string(2, '\0'),
                        "two strings");
                    break;
                default:
                    raw(REG_NONE, WithTerminator(L), "the path");
                    break;
            }
            break;
        case 12: {
            std::string root = b.c.OneOf(
                std::vector<std::string>{"C:\\", "C:", "D:\\", "D:", "\\\\SERVER\\SHARE",
                                         "\\\\SERVER\\SHARE\\", "\\\\SERVER", "\\\\SERVER\\", "C:\\\\"});
            if (root.rfind("\\\\SERVER", 0) == 0 && root.find("SHARE") == std::string::npos) {
                // A server alone names no folder; "images" below it would be a share of its own.
                b.Root("\\\\SERVER\\images");
                b.File("\\\\SERVER\\images\\picture.bmp", "a picture on somebody else's share");
                b.Note("share \\\\SERVER\\images");
            }
            sz(root);
            break;
        }
        case 13: {
            static const std::vector<std::string> kRelative = {"Tandrel",
                                                               "VORSK Software\\Tandrel",
                                                               ".\\Tandrel",
                                                               "..\\Tandrel",
                                                               "..",
                                                               "\\Apps\\VORSK Software\\Tandrel",
                                                               "C:Apps\\VORSK Software\\Tandrel",
                                                               "C:Tandrel",
                                                               "images\\..\\Tandrel"};
            std::string relative = b.c.OneOf(kRelative);
            AddRelativeVictims(b, relative, tempFolder);
            sz(relative);
            break;
        }
        case 14:
            sz(b.c.OneOf(std::vector<std::string>{std::string(kShare) + "\\VORSK Software\\Tandrel",
                                                  "\\\\SERVER\\NOSHARE\\Tandrel",
                                                  "\\\\SERVER\\SHARE\\..\\Tandrel"}));
            break;
        case 15:
            sz(b.c.OneOf(
                std::vector<std::string>{"C:\\Apps\\*\\Tandrel", "C:\\Apps\\VORSK Software\\Tandre?"}));
            break;
        case 16:
            raw(REG_SZ, L + std::string(1, '\0') + "C:\\WINDOWS" + std::string(1, '\0'), "a NUL inside");
            break;
        case 17:
            sz(b.c.OneOf(
                std::vector<std::string>{"C:\\WINDOWS", "C:\\Other", "C:\\Apps", "C:\\WINDOWS\\TEMP"}));
            break;
        case 19:
            // Plainly not the product's folder: the Windows folder or a root by another name (another
            // drive letter standing for it, a junction), SysWOW64, a folder of the user's without the
            // product's programs, or the installation folder's look-alike in the ANSI code page.
            switch (b.c.Pick(6)) {
                case 0:
                    b.m.files.AddSubstDrive("Z:", "C:\\");
                    AddVictimFolder(b, "C:\\WINDOWS", "the Windows folder by another drive");
                    sz("Z:\\WINDOWS");
                    break;
                case 1:
                    b.m.files.AddLink("C:\\Apps\\Windows Link", "C:\\WINDOWS");
                    AddVictimFolder(b, "C:\\WINDOWS", "the Windows folder through a junction");
                    sz("C:\\Apps\\Windows Link");
                    break;
                case 2:
                    b.m.files.AddLink("C:\\Apps\\Root Link", "C:\\");
                    AddVictimFolder(b, "C:\\", "the root through a junction");
                    sz("C:\\Apps\\Root Link\\");
                    break;
                case 3:
                    AddVictimFolder(b, "C:\\WINDOWS\\SysWOW64", "SysWOW64");
                    sz("c:\\windows\\syswow64");
                    break;
                case 4:
                    for (const char* name : {"la.txt", "order.htm", "images\\holiday.bmp"}) {
                        b.File(Join("C:\\Users\\Pat\\Documents", name), "the user's own");
                    }
                    sz("C:\\Users\\Pat\\Documents");
                    break;
                default:
                    // "...\Tłndrel" in Unicode: its ANSI form names the real installation folder.
                    sz(L);
                    b.m.registry.SetWideForm(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath",
                                             sim::AnsiToWide(L) + u"\u0142");
                    b.Note("InstallPath in Unicode is another folder than its ANSI form");
                    break;
            }
            break;
        default: {
            // A root, the Windows folder or the system folder, with somebody else's files of the
            // product's names there.
            std::string shared = b.c.OneOf(std::vector<std::string>{
                "C:\\.", "c:\\", "D:\\", "\\\\server\\share\\", "C:\\Windows", "c:\\windows\\system32\\..",
                "C:\\WINDOWS\\SYSTEM32", "c:\\Windows\\System32\\", "C:\\WINDOWS\\.\\SYSTEM32\\."});
            AddVictimFolder(b, shared, "a root or system folder");
            sz(shared);
            break;
        }
    }
}

// --- The temporary folder ----------------------------------------------------------------------

std::string ChooseTempFolder(Builder& b, const Install& install) {
    std::string T;
    bool create = true;
    switch (b.Variant({60, 8, 3, 3, 3, 3, 4, 4, 3, 4, 3, 3, 3, 3, 3, 8, 6, 8})) {
        case 0:
            T = "C:\\WINDOWS\\TEMP\\";
            break;
        case 1:
            T = "C:\\WINDOWS\\TEMP";
            break;
        case 2:
            T = PadPath("C:\\WINDOWS\\TEMP", b.c.OneOf(std::vector<size_t>{245, 246, 247, 248, 249}),
                        "Long") +
                "\\";
            break;
        case 3:
            T = PadPath("C:\\WINDOWS\\TEMP", b.c.OneOf(std::vector<size_t>{254, 256, 257, 258}), "Long") +
                "\\";
            break;
        case 4:
            T = PadPath("C:\\WINDOWS\\TEMP", b.c.OneOf(std::vector<size_t>{247, 248, 258, 259}), "Long");
            break;
        case 5:
            T = PadPath("C:\\WINDOWS\\TEMP", b.c.OneOf(std::vector<size_t>{259, 260, 299}), "Long") + "\\";
            break;
        case 6:
            T = "C:\\Documents and Settings\\Pat\\Local Settings\\Temp\\";
            break;
        case 7:
            T = b.c.Chance(50) ? "C:\\Temp\\" : "C:\\No Such\\Temp\\";
            create = false;
            break;
        case 8:
            T = b.c.OneOf(
                std::vector<std::string>{"C:\\Temp%TMP%\\", "C:\\Te%0mp\\", "C:\\100%\\", "C:\\Temp%X%\\"});
            // What the command interpreter would make of those paths.
            for (const char* victim : {"C:\\Temp\\uninstall.exe", "C:\\Temp\\delme1.bat",
                                       "C:\\100\\uninstall.exe", "C:\\100\\delme1.bat"}) {
                b.File(victim, "somebody else's file where an expanded path points");
            }
            break;
        case 9:
            T = b.c.Chance(50) ? "D:\\TEMP\\" : std::string(kShare) + "\\Temp\\";
            break;
        case 10:
            T = Join(install.value, "");
            break;
        case 11:
            T = Join(install.folder, "images\\");
            if (b.m.files.IsFolder(T) && (b.m.files.Attributes(T) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                T = "C:\\WINDOWS\\TEMP\\";  // the model names files by their paths, not through links
            }
            break;
        case 12:
            T = "C:\\WINDOWS\\SYSTEM\\..\\TEMP\\";
            break;
        case 13:
            T = "C:\\WINDOWS\\\\TEMP\\\\";
            break;
        case 15:
            // Characters a folder name may hold that the command interpreter reads its own way: beyond
            // ASCII (with and without a twin in the OEM code page), '%', '!', and those that are
            // special outside quotes.
            T = b.c.OneOf(std::vector<std::string>{
                "C:\\Users\\Jos\xE9\\Temp\\", "C:\\Documents and Settings\\J\xFCrgen\\Temp\\",
                "C:\\Users\\J\xD8rn\\Temp\\", "C:\\Users\\\x8Aimon\\Temp\\", "C:\\Temp\\a!b\\",
                "C:\\Temp\\!TEMP!\\", "C:\\Temp\\100%\\", "C:\\Temp\\a & (b) ^c; d=e, f'g\\",
                "C:\\Temp\\\x93q\x94\\"});
            // Where a misread path would point.
            for (const char* victim :
                 {"C:\\Temp\\ab\\uninstall.exe", "C:\\Temp\\ab\\delme1.bat",
                  "C:\\Users\\Jorn\\Temp\\uninstall.exe", "C:\\Users\\Simon\\Temp\\uninstall.exe",
                  "C:\\Temp\\100\\uninstall.exe", "C:\\Temp\\uninstall.exe"}) {
                b.File(victim, "somebody else's file where a misread path points");
            }
            break;
        case 16:
            // A name the environment expands, and one it does not (%NOSUCH% is not set).
            T = b.c.OneOf(std::vector<std::string>{"C:\\Users\\%USERNAME%\\Temp\\", "C:\\T\\%username%\\",
                                                   "C:\\T\\%windir%\\", "C:\\T\\%TEMP%\\",
                                                   "C:\\T\\%NOSUCH%\\"});
            break;
        case 17:
            // No temporary folder at all: a root, the Windows folder, the user's profile folder (where
            // GetTempPathA ends up without TEMP and TMP), a relative path, or a folder the ANSI code
            // page names as somebody else's. Somebody's uninstall.exe lies in each.
            switch (b.c.Pick(5)) {
                case 0:
                    T = "C:\\";
                    break;
                case 1:
                    T = "C:\\WINDOWS\\";
                    break;
                case 2:
                    T = "C:\\Users\\Pat\\";
                    b.m.shell.SetVariable("USERPROFILE", "C:\\USERS\\PAT");
                    break;
                case 3:
                    T = "Temp\\";
                    create = false;
                    break;
                default:
                    T = "C:\\Users\\Lukasz\\Temp\\";
                    b.m.files.SetTempPathWide(u"C:\\Users\\\u0141ukasz\\Temp\\");
                    break;
            }
            if (create) {
                b.File(Join(T, "uninstall.exe"), "somebody else's program");
            }
            break;
        default:
            T = "c:\\windows\\temp\\";
            break;
    }
    b.m.files.SetTempPath(T);
    // Somebody else's files where the name expanded would point.
    std::string expanded = b.m.shell.ExpandVariables(T);
    if (expanded != T) {
        for (const char* name : {"uninstall.exe", "delme1.bat"}) {
            b.File(Join(expanded, name), std::string("somebody else's ") + name);
        }
        b.Note("the environment expands it to \"" + expanded + "\"");
    }
    if (create) {
        b.Folder(T);
    }
    b.Note("temporary folder \"" + T + "\" (" + std::to_string(T.size()) + " characters)" +
           (create ? "" : ", missing"));
    if (!create) {
        return T;
    }

    b.File(Join(T, "setup.log"), "someone's log");
    if (b.Odd(10)) {
        b.File(Join(T, "uninstall.exe"), "an older copy",
               b.c.Chance(30) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE);
        b.Note("an uninstall.exe is already in the temporary folder");
    }
    if (b.Odd(6)) {
        // Somebody (a virus scanner, say) holds the temporary copy's name for a while: an older copy
        // cannot be overwritten, a new one cannot be deleted until then. A hold that never ends
        // would keep the cleanup script looping forever, which its fixed text allows.
        static const std::vector<sim::Time> kUntil = {0, 100, 2000, 10000};
        b.Lock(Join(T, "uninstall.exe"), b.c.OneOf(kUntil));
    }
    static const std::vector<std::string> kLookAlikes = {
        "uninstall.exe.bak", "Uninstall.ex_",  "delme.bat",    "delme0.bat",
        "delme01.bat",       "delme1.bat.txt", "delme201.bat", "delme-1.bat"};
    for (const std::string& name : kLookAlikes) {
        if (b.Odd(5)) {
            b.File(Join(T, name), "someone's " + name);
        }
    }
    switch (b.Variant({70, 14, 5, 5, 3, 3})) {
        case 0:
            break;
        case 1: {
            int count = 1 + b.c.Pick(5);
            for (int n = 1; n <= count; ++n) {
                b.File(Join(T, "delme" + std::to_string(n) + ".bat"),
                       "someone's script " + std::to_string(n));
            }
            b.Note(std::to_string(count) + " delme scripts already there");
            break;
        }
        case 2:
            for (int n = 1; n <= 200; ++n) {
                b.File(Join(T, "delme" + std::to_string(n) + ".bat"),
                       "someone's script " + std::to_string(n));
            }
            b.Note("all 200 delme names taken");
            break;
        case 3:
            for (int n = 1; n <= 200; ++n) {
                if (b.c.Chance(30)) {
                    b.File(Join(T, "delme" + std::to_string(n) + ".bat"), "someone's script",
                           FILE_ATTRIBUTE_READONLY);
                }
            }
            b.Note("some delme names taken");
            break;
        case 4:
            b.Folder(Join(T, "delme1.bat"));
            b.Note("delme1.bat is a folder");
            break;
        default:
            b.Lock(Join(T, "delme1.bat"), LockTime(b.c));
            break;
    }
    // What cut forms of the copy's and the script's paths would name.
    if (T.size() > 240) {
        for (const char* name : {"uninstall", "uninstall.e", "uninstall.ex", "uninstal", "unin", "delme",
                                 "delme1", "delme1.b", "delme1.ba", "delm"}) {
            b.File(Join(T, name), std::string("cut victim ") + name);
        }
        AddCutVictims(b, Join(T, "uninstall.exe"), "look-alike of the copy");
        AddCutVictims(b, Join(T, "delme1.bat"), "look-alike of the script");
    }
    return T;
}

// --- Registry ----------------------------------------------------------------------------------

void AddKeyTree(Builder& b, HKEY root, const std::string& path, int depth, int width, int& budget,
                bool denials) {
    if (depth <= 0 || budget <= 0) {
        return;
    }
    int children = b.c.Pick(width + 1);
    for (int i = 0; i < children && budget > 0; ++i) {
        std::string child = path + "\\" + RandomName(b.c, 1 + static_cast<size_t>(b.c.Pick(12)));
        --budget;
        b.m.registry.AddKey(root, child);
        if (denials && b.c.Chance(4)) {
            b.m.registry.DenyKeyOpen(root, child);
            b.Note("key open denied: " + child);
        }
        if (denials && b.c.Chance(4)) {
            b.m.registry.DenyKeyDelete(root, child);
            b.Note("key delete denied: " + child);
        }
        AddKeyTree(b, root, child, depth - 1, width, budget, denials);
    }
}

void AddUserProductKeys(Builder& b) {
    const std::string product = kProductKey;
    bool denials = b.Odd(25);
    switch (b.c.Weighted({10, 50, 15, 8, 7, 5, 5})) {
        case 0:
            b.Note("no per-user product key");
            break;
        case 1:
            b.String(HKEY_CURRENT_USER, product, "Registered", "no");
            b.String(HKEY_CURRENT_USER, product + "\\Settings\\Window", "Left", "10");
            b.String(HKEY_CURRENT_USER, product + "\\Settings\\Sound", "Volume", "7");
            b.m.registry.AddKey(HKEY_CURRENT_USER, product + "\\Recent\\Games\\Level 1");
            break;
        case 2: {
            b.Key(HKEY_CURRENT_USER, product);
            int budget = 60;
            AddKeyTree(b, HKEY_CURRENT_USER, product, 2 + b.c.Pick(5), 1 + b.c.Pick(5), budget, denials);
            b.Note("random per-user key tree");
            break;
        }
        case 3: {
            // Deep: down to where the paths no longer fit.
            std::string path = product;
            int depth = 5 + b.c.Pick(40);
            for (int i = 0; i < depth; ++i) {
                path += "\\" + RandomName(b.c, 1 + static_cast<size_t>(b.c.Pick(20)));
                b.m.registry.AddKey(HKEY_CURRENT_USER, path);
            }
            if (denials && b.c.Chance(50)) {
                b.m.registry.DenyKeyDelete(HKEY_CURRENT_USER, path);
            }
            b.Note("deep per-user key chain, " + std::to_string(path.size()) + " characters");
            break;
        }
        case 4: {
            int width = 20 + b.c.Pick(180);
            for (int i = 0; i < width; ++i) {
                std::string child = product + "\\Entry " + std::to_string(i);
                b.m.registry.AddKey(HKEY_CURRENT_USER, child);
                if (denials && b.c.Chance(3)) {
                    b.m.registry.DenyKeyDelete(HKEY_CURRENT_USER, child);
                }
            }
            b.Note("wide per-user key, " + std::to_string(width) + " children");
            break;
        }
        case 5: {
            // Names that make the child paths just fit, or not.
            for (size_t length : {200u, 220u, 226u, 227u, 228u, 229u, 240u, 255u}) {
                std::string child = product + "\\" + std::string(length, 'n') + "\\" + std::string(8, 'm');
                b.m.registry.AddKey(HKEY_CURRENT_USER, child);
            }
            b.Note("per-user keys with long names");
            break;
        }
        default:
            b.String(HKEY_CURRENT_USER, product, "Registered", "yes");
            b.m.registry.DenyKeyOpen(HKEY_CURRENT_USER, product + "\\Locked");
            b.m.registry.DenyKeyDelete(HKEY_CURRENT_USER, product + "\\Kept");
            b.Key(HKEY_CURRENT_USER, product + "\\Kept\\Child");
            b.Key(HKEY_CURRENT_USER, product + "\\After");
            b.Note("per-user keys that cannot be opened or deleted");
            break;
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(HKEY_CURRENT_USER, product);
        b.Note("per-user product key cannot be opened");
    }
}

void AddVendorKeys(Builder& b, HKEY root) {
    std::string name = root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU";
    if (b.c.Chance(15)) {
        b.String(root, std::string(kVendorKey) + "\\Other Game", "Level", "3");
        b.Note(name + " vendor key holds another product");
    }
    if (b.c.Chance(10)) {
        b.String(root, kVendorKey, "Company", "VORSK");
    }
    if (b.c.Chance(8)) {
        b.Key(root, std::string(kVendorKey) +
                        b.c.OneOf(std::vector<std::string>{"\\Tandrel2", "\\Tandrel 98", "\\Tandrel.old"}));
        b.Note(name + " vendor key holds a look-alike");
    }
    if (b.c.Chance(8)) {
        b.Key(root, b.c.OneOf(std::vector<std::string>{"Software\\VORSK Software Ltd", "Software\\VORSK",
                                                       "Software\\VORSK Software2"}));
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyDelete(root, kVendorKey);
        b.Note(name + " vendor key cannot be deleted");
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(root, kVendorKey);
        b.Note(name + " vendor key cannot be opened");
    }
}

void AddMachineKeys(Builder& b) {
    const std::string& entry = kUninstallEntry;
    if (b.c.Chance(90)) {
        b.String(HKEY_LOCAL_MACHINE, entry, "DisplayName", "VORSK Tandrel 98");
    }
    if (b.Odd(5)) {
        b.Key(HKEY_LOCAL_MACHINE, entry + "\\Details");
    }
    if (b.Odd(4)) {
        b.m.registry.DenyKeyDelete(HKEY_LOCAL_MACHINE, entry);
        b.Note("uninstall entry cannot be deleted");
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(HKEY_LOCAL_MACHINE, kUninstallKey);
        b.Note("uninstall key cannot be opened");
    }
    b.String(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\OtherApp", "DisplayName", "Other");
    for (const char* lookAlike : {"\\VorskTandrel2", "\\VorskTandrel.old", "\\VORSK Tandrel 98"}) {
        if (b.c.Chance(5)) {
            b.Key(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + lookAlike);
        }
    }

    const std::string& appPath = kAppPathsEntry;
    if (b.c.Chance(90)) {
        b.String(HKEY_LOCAL_MACHINE, appPath, "", "C:\\Apps\\VORSK Software\\Tandrel\\Tandrel.exe");
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyDelete(HKEY_LOCAL_MACHINE, appPath);
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(HKEY_LOCAL_MACHINE, kAppPathsKey);
    }
    b.String(HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + "\\other.exe", "", "C:\\Other\\other.exe");
    for (const char* lookAlike : {"\\Tandrel.exe.bak", "\\Tandrel", "\\Tandrel.ex"}) {
        if (b.c.Chance(5)) {
            b.Key(HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + lookAlike);
        }
    }
    b.String(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Tool", "InstallPath", "C:\\Other");
    b.String(HKEY_CURRENT_USER, "Software\\Other Vendor\\Tool", "Colour", "blue");
}

void AddMachineProductKey(Builder& b, const Install& install, const std::string& tempFolder) {
    switch (b.Variant({90, 5, 5})) {
        case 0:
            WriteInstallPath(b, install, tempFolder);
            b.String(HKEY_LOCAL_MACHINE, kProductKey, "Version", "1.0");
            break;
        case 1:
            b.String(HKEY_LOCAL_MACHINE, kProductKey, "Version", "1.0");
            b.Note("no InstallPath value");
            break;
        default:
            b.Note("no machine-wide product key");
            return;
    }
    if (b.Odd(8)) {
        b.String(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\Plugins\\Extra", "Count", "2");
        b.Note("machine-wide product key has child keys");
    }
    if (b.Odd(4)) {
        b.m.registry.DenyKeyDelete(HKEY_LOCAL_MACHINE, kProductKey);
        b.Note("machine-wide product key cannot be deleted");
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(HKEY_LOCAL_MACHINE, kProductKey);
        b.Note("machine-wide product key cannot be opened");
    }
}

// --- Shortcuts ---------------------------------------------------------------------------------

void AddShellFolder(Builder& b, const char* valueName, const std::string& usual, const Install& install,
                    const std::string& tempFolder) {
    std::string folder = usual;
    bool write = true;
    DWORD type = REG_SZ;
    std::string data;
    switch (b.Variant({60, 5, 5, 4, 4, 5, 3, 3, 3, 3, 2, 2})) {
        case 0:
            break;
        case 1:
            folder = usual + "\\";
            break;
        case 2:
            write = false;
            break;
        case 3:
            folder = "";
            break;
        case 4:
            folder = b.c.Chance(50) ? "Start Menu\\Programs" : "..";
            {
                sim::SimPath resolved;
                if (sim::ResolvePath(folder, tempFolder, resolved, false, false) == 0) {
                    b.File(Join(sim::PathText(resolved), kShortcutName),
                           "shortcut a relative path would name");
                }
            }
            break;
        case 5: {
            // Long enough that the shortcut's path does not fit, or only just does.
            static const std::vector<size_t> kLengths = {236, 237, 238, 239, 240, 250, 258, 259};
            folder = PadPath(usual, b.c.OneOf(kLengths), "Long");
            AddCutVictims(b, Join(folder, kShortcutName), "look-alike of the shortcut");
            break;
        }
        case 6:
            data = PadPath(usual, 260, "Long");
            type = REG_SZ;
            b.Folder(data.substr(0, 259));
            b.File(Join(data.substr(0, 259), kShortcutName), "shortcut a cut value would name");
            folder.clear();
            break;
        case 7:
            type = REG_EXPAND_SZ;
            data = WithTerminator("%USERPROFILE%\\Start Menu");
            folder.clear();
            break;
        case 8:
            folder = "C:\\";
            break;
        case 9:
            folder = install.value;
            break;
        case 10:
            folder = std::string(kShare) + "\\Start Menu";
            break;
        default:
            type = REG_BINARY;
            data = usual;
            break;
    }
    if (!write) {
        b.Note(std::string("no ") + valueName + " value");
        return;
    }
    if (data.empty()) {
        data = WithTerminator(folder);
    }
    b.Value(HKEY_CURRENT_USER, kShellFoldersKey, valueName, type, data);
    b.Note(std::string(valueName) + " = \"" + data.substr(0, data.find('\0')) + "\" type " +
           std::to_string(type));
    if (!folder.empty() && b.c.Chance(85)) {
        std::string shortcut = Join(folder, kShortcutName);
        if (b.File(shortcut, "shortcut", b.Odd(5) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE) &&
            b.Odd(3)) {
            b.Lock(shortcut, LockTime(b.c));
        }
    }
}

void AddShortcuts(Builder& b, const Install& install, const std::string& tempFolder) {
    if (b.Odd(3)) {
        b.Note("no Shell Folders key");
    } else {
        AddShellFolder(b, "Startup", kDefaultStartupFolder, install, tempFolder);
        AddShellFolder(b, "Programs", kDefaultProgramsFolder, install, tempFolder);
        b.String(HKEY_CURRENT_USER, kShellFoldersKey, "Desktop", "C:\\WINDOWS\\Desktop");
        if (b.Odd(4)) {
            b.m.registry.DenyKeyOpen(HKEY_CURRENT_USER, kShellFoldersKey);
            b.Note("Shell Folders cannot be opened");
        }
    }
    if (b.c.Chance(50)) {
        b.File(Join(kDefaultProgramsFolder, "Other.lnk"), "other shortcut");
        b.File("C:\\WINDOWS\\All Users\\Start Menu\\Programs\\VORSK Tandrel 98.lnk", "all users' shortcut");
    }
    for (const char* lookAlike : {"VORSK Tandrel 98.lnk.bak", "VORSK Tandrel 98.pif", "VORSK Tandrel.lnk",
                                  "VORSK Software\\VORSK Tandrel 98.lnk", "VORSK Tandrel 98 .lnk2"}) {
        if (b.c.Chance(5)) {
            b.File(Join(kDefaultProgramsFolder, lookAlike), std::string("look-alike ") + lookAlike);
        }
    }
}

// --- Processes -----------------------------------------------------------------------------------

void AddRunningProduct(Builder& b, const Install& install) {
    if (b.c.Chance(10)) {
        int other = b.m.processes.StartBackgroundProcess("C:\\Other\\other.exe", "C:\\Other");
        b.m.desktop.AddWindow(std::string(kWindowClass) + "2", "Not the product", other);
        b.m.desktop.AddWindow("Vorsk", "Not the product either", other);
    }
    if (!b.c.Chance(30)) {
        return;
    }
    std::string image = Join(install.folder, "Tandrel.exe");
    int product = b.m.processes.StartBackgroundProcess(image, install.value);
    bool closes = !b.Odd(60);
    // Some products take a while to close (saving, asking the user); some take longer than the
    // second phase waits for them.
    static const std::vector<sim::Time> kDelays = {0, 0, 10, 100, 2000, 3000, 12000};
    sim::Time delay = b.hostility == 0 ? 0 : b.c.OneOf(kDelays);
    b.m.desktop.AddWindow(kWindowClass, "Tandrel", product, closes, delay);
    if (b.c.Chance(10)) {
        int second = b.m.processes.StartBackgroundProcess(image, install.value);
        b.m.desktop.AddWindow(sim::UpperCase(kWindowClass), "Tandrel (2)", second, b.c.Chance(50),
                              b.c.OneOf(kDelays));
        b.Note("two product windows");
    }
    b.Note(std::string("product running, ") +
           (closes ? "closes after " + std::to_string(delay) + " ms" : "ignores WM_CLOSE"));
}

void ChooseUserStart(Builder& b, const Install& install, const std::string& tempFolder) {
    std::string installed = Join(install.folder, "uninstall.exe");
    switch (b.Variant({88, 5, 5, 2})) {
        case 0:
            b.g.uninstallerImage = installed;
            b.g.userFolder = install.value;
            break;
        case 1:
            b.g.uninstallerImage = Join(tempFolder, "uninstall.exe");
            b.File(b.g.uninstallerImage, kUninstallerImage);
            b.g.userFolder = tempFolder;
            break;
        case 2:
            b.g.uninstallerImage = "C:\\Downloads\\uninstall.exe";
            b.File(b.g.uninstallerImage, kUninstallerImage);
            b.g.userFolder = "C:\\Downloads";
            break;
        default:
            b.g.uninstallerImage = "C:\\Downloads\\uninstall.exe";
            b.File(b.g.uninstallerImage, kUninstallerImage, FILE_ATTRIBUTE_READONLY);
            b.g.userFolder = "C:\\Downloads";
            break;
    }
    if (!b.m.files.Exists(b.g.uninstallerImage) || b.m.files.IsFolder(b.g.uninstallerImage)) {
        // The installed uninstaller is missing: the user runs a copy kept elsewhere.
        b.g.uninstallerImage = "C:\\Downloads\\uninstall.exe";
        b.File(b.g.uninstallerImage, kUninstallerImage);
        b.g.userFolder = "C:\\Downloads";
    }
    switch (b.Variant({85, 8, 2, 2, 3})) {
        case 0:
            b.m.desktop.AnswerMessageBox(IDOK);
            break;
        case 1:
            b.m.desktop.AnswerMessageBox(IDCANCEL);
            b.Note("the user cancels");
            break;
        case 2:
            b.m.desktop.AnswerMessageBox(0);
            b.Note("the confirmation could not be shown");
            break;
        case 3:
            b.m.desktop.AnswerMessageBox(kIdNo);
            b.Note("the confirmation answers IDNO");
            break;
        default:
            b.m.desktop.AnswerMessageBox(kIdYes);
            b.Note("the confirmation answers IDYES");
            break;
    }
    // Mostly a quick exit; now and then one at or past the second phase's patience of 2.5 s.
    static const std::vector<sim::Time> kQuickExits = {120, 0, 1, 50, 120, 500};
    static const std::vector<sim::Time> kSlowExits = {2450, 2500, 2501, 5000, 60000};
    static const std::vector<sim::Time> kSecondExits = {10, 0, 5, 10, 10, 20, 50, 100};
    b.g.firstExit = b.c.Chance(15) ? b.c.OneOf(kSlowExits) : b.c.OneOf(kQuickExits);
    if (b.hostility == 0 && b.g.firstExit > 2500) {
        b.g.firstExit = 2500;
    }
    b.g.secondExit = b.Odd(4) ? 2000 : b.c.OneOf(kSecondExits);
    // The user types the switch the copy is started with. The script then loops until it can delete
    // that program: forever when somebody holds it forever, which its fixed text allows.
    sim::SimPath own;
    if (b.g.uninstallerImage == installed && b.Odd(8) &&
        sim::ResolvePath(installed, "", own, false, false) == 0 &&
        b.m.files.ActiveHold(sim::PathKey(own)) == nullptr) {
        b.g.typesSwitch = true;
        std::string copy = Join(tempFolder, "uninstall.exe");
        if (b.m.files.IsFolder(tempFolder) && !b.m.files.Exists(copy)) {
            b.File(copy, "somebody else's uninstall.exe");
        }
        b.Note("the user types /internally");
    }
    // An administrator's unattended run: the same end, and no box at all.
    if (b.c.Chance(8)) {
        b.g.silent = true;
        b.Note("unattended: /S");
    }
    // A double-click too many, a start during the hand-over or while the copy works: the uninstall
    // under way is the only one.
    b.g.startsAgainAtOnce = b.g.firstExit > 0 && b.c.Chance(8);
    b.g.startsAgainInHandOver = !b.g.typesSwitch && b.c.Chance(8);
    b.g.startsAgainDuringCopy = b.g.secondExit > 0 && b.c.Chance(8);
    if (b.g.startsAgainAtOnce || b.g.startsAgainInHandOver || b.g.startsAgainDuringCopy) {
        b.Note(std::string("the user starts it again") + (b.g.startsAgainAtOnce ? " at once" : "") +
               (b.g.startsAgainInHandOver ? " during the hand-over" : "") +
               (b.g.startsAgainDuringCopy ? " while the copy works" : ""));
    }
    b.Note("user starts \"" + b.g.uninstallerImage + "\"; first process lingers " +
           std::to_string(b.g.firstExit) + " ms, second " + std::to_string(b.g.secondExit) + " ms");
}

}  // namespace

std::string GeneratedMachine::Describe() const {
    std::string text;
    for (const std::string& line : description) {
        text += "  " + line + "\n";
    }
    return text;
}

// --- What others left on the machine -------------------------------------------------------------

// A per-user key of the product made a link into keys that are not the product's; a manifest or a
// .local beside where the temporary copy goes, with a DLL to plant; the hand-over's name taken by a
// left-over event, set, or by a mutex of another program.
void AddTraps(Builder& b, const std::string& tempFolder) {
    std::string link = std::string(kProductKey) + "\\Settings Link";
    if (b.Odd(16) && !b.m.registry.HasKey(HKEY_CURRENT_USER, link)) {
        HKEY root = b.c.Chance(50) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        b.String(root, "Software\\Victim\\Inner", "Owner", "somebody else");
        b.String(root, "Software\\Victim", "Owner", "somebody else");
        b.m.registry.AddLink(HKEY_CURRENT_USER, link, root, "Software\\Victim");
        b.Note(std::string("per-user product key holds a link to ") +
               (root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU") + "\\Software\\Victim");
    }
    if (b.Odd(10) && b.m.files.IsFolder(tempFolder)) {
        std::string beside = b.c.Chance(50) ? "uninstall.exe.manifest" : "uninstall.exe.local";
        b.File(Join(tempFolder, beside), "<assembly/>");
        b.File(Join(tempFolder, "ole32.dll"), "a planted DLL");
        b.Note(beside + " and ole32.dll in the temporary folder");
    }
    if (b.Odd(10)) {
        bool asMutex = b.c.Chance(50);
        sim_testing::RunAsProcess(
            b.m, "C:\\Other\\other.exe", "C:\\Other",
            [asMutex](LPSTR) {
                return asMutex ? CreateMutexA(nullptr, FALSE, kHandOverEvent) != nullptr
                               : CreateEventA(nullptr, TRUE, TRUE, kHandOverEvent) != nullptr;
            },
            std::nullopt, sim::ProcessOptions{sim::kForever / 2});
        b.Note(std::string("the hand-over's name is taken by ") + (asMutex ? "a mutex" : "an event, set"));
    }
}

GeneratedMachine GenerateMachine(Choices& choices, sim::Machine& machine) {
    GeneratedMachine generated;
    Builder b(choices, machine, generated);
    b.hostility = choices.Weighted({40, 30, 30});
    b.Note("hostility " + std::to_string(b.hostility));
    machine.driver.SetBatchStepLimit(kScriptStepLimit);
    machine.driver.SetBatchLineCost(kScriptLineCost);
    generated.fileRoots.push_back("C:");
    b.Root("D:");
    b.Root(kShare);
    if (choices.Chance(25)) {
        machine.registry.SetKeyDeletion(sim::KeyDeletion::Win9x);
        b.Note("9x key deletion");
    }
    if (choices.Chance(20)) {
        // The user turned on delayed expansion for the command interpreter: "!" starts a variable.
        b.Value(choices.Chance(50) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                "Software\\Microsoft\\Command Processor", "DelayedExpansion", REG_DWORD,
                std::string("\x01\0\0\0", 4));
        b.Note("delayed expansion on");
    }

    // Other programs' files, which must survive.
    b.File("C:\\WINDOWS\\win.ini", "[windows]");
    b.File("C:\\Other\\other.exe", "other");
    if (choices.Chance(30)) {
        b.File("C:\\WINDOWS\\SYSTEM\\user.exe", "system");
        b.File("C:\\Apps\\Other App\\app.exe", "another app");
    }
    if (choices.Chance(10)) {
        for (const char* path :
             {"C:\\Tandrel.exe", "C:\\uninstall.exe", "C:\\images\\x.bmp", "C:\\WINDOWS\\Tandrel.exe",
              "D:\\Tandrel.exe", "\\\\SERVER\\SHARE\\la.txt"}) {
            b.File(path, "somebody else's file named like the product's");
        }
    }

    Install install = ChooseInstallFolder(b);
    if (install.placed) {
        PlaceProductFiles(b, install);
    }
    std::string tempFolder = ChooseTempFolder(b, install);
    AddMachineKeys(b);
    AddMachineProductKey(b, install, tempFolder);
    AddUserProductKeys(b);
    AddVendorKeys(b, HKEY_CURRENT_USER);
    AddVendorKeys(b, HKEY_LOCAL_MACHINE);
    AddShortcuts(b, install, tempFolder);
    AddRunningProduct(b, install);
    AddTraps(b, tempFolder);
    ChooseUserStart(b, install, tempFolder);
    return generated;
}

}  // namespace property
