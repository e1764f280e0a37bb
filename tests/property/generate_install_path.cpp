// The "InstallPath" value the second phase reads: as the installer wrote it, or in one of the many
// forms that must not make it remove anything but the product's folder.
#include <algorithm>
#include <cctype>

#include "code_pages.h"
#include "generator_parts.h"
#include "sim_path.h"

namespace property {
namespace generator {

namespace {

// Writes the value below the machine-wide product key, and notes what it wrote. `folder` is the
// installation folder as a full path.
struct InstallPathWriter {
    Builder& b;
    const std::string& folder;
    const std::string& tempFolder;

    void Text(const std::string& text) const {
        b.String(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue, text);
        b.Note("InstallPath = \"" + text + "\"");
    }
    void Raw(DWORD type, const std::string& data, const std::string& what) const {
        b.Value(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue, type, data);
        b.Note("InstallPath type " + std::to_string(type) + ", " + std::to_string(data.size()) +
               " bytes: " + what);
    }
};

using PathBuild = void (*)(const InstallPathWriter& w);

// Files that a relative "InstallPath" would name when it is resolved against the temporary folder.
void AddRelativeVictims(Builder& b, const std::string& relative, const std::string& tempFolder) {
    sim::SimPath resolved;
    if (sim::ResolvePath(relative, tempFolder, resolved, false, false) == 0) {
        AddProductFilesIn(b, sim::PathText(resolved), "relative victim");
        b.Note("relative victims in " + sim::PathText(resolved));
    }
}

const Choice<PathBuild> kDotted[] = {
    {1, "back out of the folder and in again",
     [](const InstallPathWriter& w) {
         w.Text(w.folder + "\\..\\" + w.folder.substr(w.folder.find_last_of('\\') + 1));
     }},
    {1, "out of the vendor folder twice, into somebody else's Tandrel",
     [](const InstallPathWriter& w) {
         w.b.File("C:\\Apps\\Stuff\\Tandrel\\Tandrel.exe", "somebody else's Tandrel.exe");
         w.b.Folder("C:\\Apps\\Stuff\\Empty");
         w.Text("C:\\Apps\\VORSK Software\\x\\..\\..\\Stuff\\Tandrel");
     }},
    {1, "out of the vendor folder, into somebody else's Tandrel",
     [](const InstallPathWriter& w) {
         w.b.File("C:\\Apps\\Stuff\\Tandrel\\Tandrel.exe", "somebody else's Tandrel.exe");
         w.Text("C:\\Apps\\VORSK Software\\..\\Stuff\\Tandrel");
     }},
    {1, "the parent by \"..\"", [](const InstallPathWriter& w) { w.Text(w.folder + "\\.."); }},
    {1, "the Windows folder by \"..\"",
     [](const InstallPathWriter& w) { w.Text("C:\\Apps\\VORSK Software\\..\\..\\WINDOWS"); }},
    {1, "the folder by \".\"", [](const InstallPathWriter& w) { w.Text(w.folder + "\\."); }},
};

const Choice<PathBuild> kOtherTypes[] = {
    {1, "a DWORD",
     [](const InstallPathWriter& w) { w.Raw(REG_DWORD, std::string("\x01\x00\x00\x00", 4), "DWORD 1"); }},
    {1, "a DWORD spelling a root",
     [](const InstallPathWriter& w) { w.Raw(REG_DWORD, std::string("C:\\\0", 4), "DWORD spelling C:\\"); }},
    {1, "the path as binary data",
     [](const InstallPathWriter& w) { w.Raw(REG_BINARY, w.folder, "the path without terminator"); }},
    {1, "random binary data",
     [](const InstallPathWriter& w) {
         std::string bytes;
         int length = w.b.c.Pick(300);
         for (int i = 0; i < length; ++i) {
             bytes += static_cast<char>(w.b.c.Pick(256));
         }
         w.Raw(REG_BINARY, bytes, "random bytes");
     }},
    {1, "expandable, naming the folder by a variable",
     [](const InstallPathWriter& w) {
         w.Raw(REG_EXPAND_SZ, WithTerminator("%ProgramFiles%\\VORSK Software\\Tandrel"), "unexpanded");
     }},
    {1, "expandable, without a variable",
     [](const InstallPathWriter& w) { w.Raw(REG_EXPAND_SZ, WithTerminator(w.folder), "the path"); }},
    {1, "two strings",
     [](const InstallPathWriter& w) {
         w.Raw(REG_MULTI_SZ, w.folder + std::string(1, '\0') + "C:\\WINDOWS" + std::string(2, '\0'),
               "two strings");
     }},
    {1, "of no type",
     [](const InstallPathWriter& w) { w.Raw(REG_NONE, WithTerminator(w.folder), "the path"); }},
};

// Plainly not the product's folder: the Windows folder or a root by another name (another drive letter
// standing for it, a junction), SysWOW64, a folder of the user's without the product's programs, or the
// installation folder's look-alike in the ANSI code page.
const Choice<PathBuild> kNotTheProducts[] = {
    {1, "the Windows folder by another drive",
     [](const InstallPathWriter& w) {
         w.b.m.files.AddSubstDrive("Z:", "C:\\");
         AddVictimFolder(w.b, "C:\\WINDOWS", "the Windows folder by another drive");
         w.Text("Z:\\WINDOWS");
     }},
    {1, "the Windows folder through a junction",
     [](const InstallPathWriter& w) {
         w.b.m.files.AddLink("C:\\Apps\\Windows Link", "C:\\WINDOWS");
         AddVictimFolder(w.b, "C:\\WINDOWS", "the Windows folder through a junction");
         w.Text("C:\\Apps\\Windows Link");
     }},
    {1, "the root through a junction",
     [](const InstallPathWriter& w) {
         w.b.m.files.AddLink("C:\\Apps\\Root Link", "C:\\");
         AddVictimFolder(w.b, "C:\\", "the root through a junction");
         w.Text("C:\\Apps\\Root Link\\");
     }},
    {1, "SysWOW64",
     [](const InstallPathWriter& w) {
         AddVictimFolder(w.b, "C:\\WINDOWS\\SysWOW64", "SysWOW64");
         w.Text("c:\\windows\\syswow64");
     }},
    {1, "the user's documents",
     [](const InstallPathWriter& w) {
         for (const char* name : {"la.txt", "order.htm", "images\\holiday.bmp"}) {
             w.b.File(Join("C:\\Users\\Pat\\Documents", name), "the user's own");
         }
         w.Text("C:\\Users\\Pat\\Documents");
     }},
    {1, "InstallPath in Unicode is another folder than its ANSI form",
     [](const InstallPathWriter& w) {
         // "...\Tłndrel" in Unicode: its ANSI form names the real installation folder.
         w.Text(w.folder);
         w.b.m.registry.SetWideForm(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue,
                                    sim::AnsiToWide(w.folder) + u"\u0142");
     }},
};

// Sizes around the 260-byte buffer, terminated or not.
void WriteAroundTheBuffer(const InstallPathWriter& w) {
    static const std::vector<size_t> kBytes = {258, 259, 260, 261, 262, 300};
    size_t bytes = w.b.c.OneOf(kBytes);
    bool terminated = w.b.c.Chance(50);
    size_t length = terminated ? bytes - 1 : bytes;
    std::string text =
        w.folder.size() + 5 <= length ? PadPath(w.folder, length, "Sub") : w.folder.substr(0, length);
    if (terminated) {
        text = WithTerminator(text);
    }
    w.Raw(REG_SZ, text, terminated ? "terminated" : "unterminated");
    std::string body = text.substr(0, text.find('\0'));
    for (size_t cut : {static_cast<size_t>(MAX_PATH - 1), static_cast<size_t>(MAX_PATH - 2)}) {
        if (body.size() > cut && body[cut - 1] != '\\') {
            AddVictimFolder(w.b, body.substr(0, cut), "value cut at the buffer");
        }
    }
}

const Choice<PathBuild> kInstallPaths[] = {
    {40, "InstallPath as installed", [](const InstallPathWriter& w) { w.Text(w.folder); }},
    {4, "InstallPath with a trailing backslash",
     [](const InstallPathWriter& w) { w.Text(Join(w.folder, "")); }},
    {2, "InstallPath with two trailing backslashes",
     [](const InstallPathWriter& w) { w.Text(w.folder + "\\\\"); }},
    {3, "InstallPath with trailing dots or spaces",
     [](const InstallPathWriter& w) {
         w.Text(w.folder + w.b.c.OneOf(std::vector<std::string>{" ", ".", ". .", "  "}));
     }},
    {3, "InstallPath in other letter case",
     [](const InstallPathWriter& w) {
         std::string changed = w.folder;
         bool upper = w.b.c.Chance(50);
         std::transform(changed.begin(), changed.end(), changed.begin(), [upper](char ch) {
             return static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(ch))
                                            : std::tolower(static_cast<unsigned char>(ch)));
         });
         w.Text(changed);
     }},
    {3, "InstallPath with doubled backslashes",
     [](const InstallPathWriter& w) {
         std::string doubled;
         for (size_t i = 0; i < w.folder.size(); ++i) {
             doubled += w.folder[i];
             if (w.folder[i] == '\\' && i > 2) {
                 doubled += '\\';
             }
         }
         w.Text(doubled);
     }},
    {6, "InstallPath through \".\" or \"..\"",
     [](const InstallPathWriter& w) { w.b.Any(kDotted, "InstallPath: ").build(w); }},
    {3, "InstallPath with forward slashes",
     [](const InstallPathWriter& w) {
         std::string slashed = w.folder;
         std::replace(slashed.begin(), slashed.end(), '\\', '/');
         w.Text(w.b.c.Chance(50) ? slashed : w.folder.substr(0, 3) + slashed.substr(3));
     }},
    {3, "InstallPath empty",
     [](const InstallPathWriter& w) {
         if (w.b.c.Chance(50)) {
             w.Text("");
         } else {
             w.Raw(REG_SZ, "", "no data at all");
         }
     }},
    {3, "InstallPath of one character",
     [](const InstallPathWriter& w) {
         w.Text(w.b.c.OneOf(std::vector<std::string>{"C", "\\", ".", "x"}));
     }},
    {8, "InstallPath around the 260-byte buffer", WriteAroundTheBuffer},
    {7, "InstallPath of another type",
     [](const InstallPathWriter& w) { w.b.Any(kOtherTypes, "InstallPath: ").build(w); }},
    {5, "InstallPath a root",
     [](const InstallPathWriter& w) {
         std::string root = w.b.c.OneOf(
             std::vector<std::string>{"C:\\", "C:", "D:\\", "D:", "\\\\SERVER\\SHARE", "\\\\SERVER\\SHARE\\",
                                      "\\\\SERVER", "\\\\SERVER\\", "C:\\\\"});
         if (root.rfind("\\\\SERVER", 0) == 0 && root.find("SHARE") == std::string::npos) {
             // A server alone names no folder; "images" below it would be a share of its own.
             w.b.Root("\\\\SERVER\\images");
             w.b.File("\\\\SERVER\\images\\picture.bmp", "a picture on somebody else's share");
             w.b.Note("share \\\\SERVER\\images");
         }
         w.Text(root);
     }},
    {5, "InstallPath relative",
     [](const InstallPathWriter& w) {
         static const std::vector<std::string> kRelative = {"Tandrel",
                                                            "VORSK Software\\Tandrel",
                                                            ".\\Tandrel",
                                                            "..\\Tandrel",
                                                            "..",
                                                            "\\Apps\\VORSK Software\\Tandrel",
                                                            "C:Apps\\VORSK Software\\Tandrel",
                                                            "C:Tandrel",
                                                            "images\\..\\Tandrel"};
         std::string relative = w.b.c.OneOf(kRelative);
         AddRelativeVictims(w.b, relative, w.tempFolder);
         w.Text(relative);
     }},
    {3, "InstallPath on a share",
     [](const InstallPathWriter& w) {
         w.Text(w.b.c.OneOf(std::vector<std::string>{std::string(kShare) + "\\VORSK Software\\Tandrel",
                                                     "\\\\SERVER\\NOSHARE\\Tandrel",
                                                     "\\\\SERVER\\SHARE\\..\\Tandrel"}));
     }},
    {2, "InstallPath with wildcards",
     [](const InstallPathWriter& w) {
         w.Text(w.b.c.OneOf(
             std::vector<std::string>{"C:\\Apps\\*\\Tandrel", "C:\\Apps\\VORSK Software\\Tandre?"}));
     }},
    {3, "InstallPath with a NUL inside",
     [](const InstallPathWriter& w) {
         w.Raw(REG_SZ, w.folder + std::string(1, '\0') + "C:\\WINDOWS" + std::string(1, '\0'),
               "a NUL inside");
     }},
    {3, "InstallPath another existing folder",
     [](const InstallPathWriter& w) {
         w.Text(w.b.c.OneOf(
             std::vector<std::string>{"C:\\WINDOWS", "C:\\Other", "C:\\Apps", "C:\\WINDOWS\\TEMP"}));
     }},
    {6, "InstallPath a root, the Windows or the system folder",
     [](const InstallPathWriter& w) {
         // With somebody else's files of the product's names there.
         std::string shared = w.b.c.OneOf(std::vector<std::string>{
             "C:\\.", "c:\\", "D:\\", "\\\\server\\share\\", "C:\\Windows", "c:\\windows\\system32\\..",
             "C:\\WINDOWS\\SYSTEM32", "c:\\Windows\\System32\\", "C:\\WINDOWS\\.\\SYSTEM32\\."});
         AddVictimFolder(w.b, shared, "a root or system folder");
         w.Text(shared);
     }},
    {8, "InstallPath plainly not the product's folder",
     [](const InstallPathWriter& w) { w.b.Any(kNotTheProducts, "InstallPath: ").build(w); }},
};

}  // namespace

void WriteInstallPath(Builder& b, const Install& install, const std::string& tempFolder) {
    b.Variant(kInstallPaths).build(InstallPathWriter{b, install.value, tempFolder});
}

}  // namespace generator
}  // namespace property
