// The temporary folder the copy and the cleanup script go to: as Windows reports it, at and past the
// length limit, with characters the command interpreter reads its own way, or no temporary folder at
// all; and what others left in it.
#include "generator_parts.h"

namespace property {
namespace generator {

namespace {

struct TempFolder {
    std::string path;  // as GetTempPathA reports it
    bool create = true;
};

using TempBuild = void (*)(TempFolder& t, Builder& b, const Install& install);

// No temporary folder at all: a root, the Windows folder, the user's profile folder (where
// GetTempPathA ends up without TEMP and TMP), a relative path, or a folder the ANSI code page names as
// somebody else's.
const Choice<TempBuild> kNoTempFolders[] = {
    {1, "a drive root", [](TempFolder& t, Builder&, const Install&) { t.path = "C:\\"; }},
    {1, "the Windows folder", [](TempFolder& t, Builder&, const Install&) { t.path = "C:\\WINDOWS\\"; }},
    {1, "the user's profile folder",
     [](TempFolder& t, Builder& b, const Install&) {
         t.path = "C:\\Users\\Pat\\";
         b.m.shell.SetVariable("USERPROFILE", "C:\\USERS\\PAT");
     }},
    {1, "a relative path",
     [](TempFolder& t, Builder&, const Install&) {
         t.path = "Temp\\";
         t.create = false;
     }},
    {1, "a folder whose ANSI name is another user's",
     [](TempFolder& t, Builder& b, const Install&) {
         t.path = "C:\\Users\\Lukasz\\Temp\\";
         b.m.files.SetTempPathWide(u"C:\\Users\\\u0141ukasz\\Temp\\");
     }},
};

std::string LongTemp(Builder& b, const std::vector<size_t>& lengths) {
    return PadPath("C:\\WINDOWS\\TEMP", b.c.OneOf(lengths), "Long");
}

const Choice<TempBuild> kTempFolders[] = {
    {60, "the temporary folder as installed",
     [](TempFolder& t, Builder&, const Install&) { t.path = kDefaultTempFolder; }},
    {8, "a temporary folder without a trailing backslash",
     [](TempFolder& t, Builder&, const Install&) { t.path = "C:\\WINDOWS\\TEMP"; }},
    {3, "a long temporary folder",
     [](TempFolder& t, Builder& b, const Install&) {
         t.path = LongTemp(b, {245, 246, 247, 248, 249}) + "\\";
     }},
    {3, "a temporary folder near the length limit",
     [](TempFolder& t, Builder& b, const Install&) {
         t.path = LongTemp(b, {254, 256, 257, 258}) + "\\";
     }},
    {3, "a long temporary folder without a trailing backslash",
     [](TempFolder& t, Builder& b, const Install&) {
         t.path = LongTemp(b, {247, 248, 258, 259});
     }},
    {3, "a temporary folder at or past the length limit",
     [](TempFolder& t, Builder& b, const Install&) {
         t.path = LongTemp(b, {259, 260, 299}) + "\\";
     }},
    {4, "the temporary folder of a user profile",
     [](TempFolder& t, Builder&, const Install&) {
         t.path = "C:\\Documents and Settings\\Pat\\Local Settings\\Temp\\";
     }},
    {4, "a temporary folder that does not exist",
     [](TempFolder& t, Builder& b, const Install&) {
         t.path = b.c.Chance(50) ? "C:\\Temp\\" : "C:\\No Such\\Temp\\";
         t.create = false;
     }},
    {3, "a temporary folder with '%'",
     [](TempFolder& t, Builder& b, const Install&) {
         t.path = b.c.OneOf(
             std::vector<std::string>{"C:\\Temp%TMP%\\", "C:\\Te%0mp\\", "C:\\100%\\", "C:\\Temp%X%\\"});
         // What the command interpreter would make of those paths.
         for (const char* victim : {"C:\\Temp\\uninstall.exe", "C:\\Temp\\delme1.bat",
                                    "C:\\100\\uninstall.exe", "C:\\100\\delme1.bat"}) {
             b.File(victim, "somebody else's file where an expanded path points");
         }
     }},
    {4, "a temporary folder on another drive or a share",
     [](TempFolder& t, Builder& b, const Install&) {
         t.path = b.c.Chance(50) ? "D:\\TEMP\\" : std::string(kShare) + "\\Temp\\";
     }},
    {3, "the installation folder as the temporary folder",
     [](TempFolder& t, Builder&, const Install& install) { t.path = Join(install.value, ""); }},
    {3, "the images folder as the temporary folder",
     [](TempFolder& t, Builder& b, const Install& install) {
         t.path = Join(install.folder, "images\\");
         if (b.m.files.IsFolder(t.path) &&
             (b.m.files.Attributes(t.path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
             t.path = kDefaultTempFolder;  // the model names files by their paths, not through links
         }
     }},
    {3, "a temporary folder through \"..\"",
     [](TempFolder& t, Builder&, const Install&) { t.path = "C:\\WINDOWS\\SYSTEM\\..\\TEMP\\"; }},
    {3, "a temporary folder with doubled backslashes",
     [](TempFolder& t, Builder&, const Install&) { t.path = "C:\\WINDOWS\\\\TEMP\\\\"; }},
    {3, "the temporary folder in small letters",
     [](TempFolder& t, Builder&, const Install&) { t.path = "c:\\windows\\temp\\"; }},
    {8, "a temporary folder the command interpreter reads its own way",
     [](TempFolder& t, Builder& b, const Install&) {
         // Characters a folder name may hold that the command interpreter reads its own way: beyond
         // ASCII (with and without a twin in the OEM code page), '%', '!', and those that are
         // special outside quotes.
         t.path = b.c.OneOf(std::vector<std::string>{
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
     }},
    {6, "a temporary folder with a name the environment expands",
     [](TempFolder& t, Builder& b, const Install&) {
         // A name the environment expands, and one it does not (%NOSUCH% is not set).
         t.path =
             b.c.OneOf(std::vector<std::string>{"C:\\Users\\%USERNAME%\\Temp\\", "C:\\T\\%username%\\",
                                                "C:\\T\\%windir%\\", "C:\\T\\%TEMP%\\", "C:\\T\\%NOSUCH%\\"});
     }},
    {8, "no temporary folder",
     [](TempFolder& t, Builder& b, const Install& install) {
         b.Any(kNoTempFolders, "no temporary folder: ").build(t, b, install);
         // Somebody's uninstall.exe lies in each.
         if (t.create) {
             b.File(Join(t.path, kUninstallerName), "somebody else's program");
         }
     }},
};

using ScriptsBuild = void (*)(Builder& b, const std::string& T);

// Scripts of somebody's, or of an earlier uninstall, under the names the cleanup script takes.
const Choice<ScriptsBuild> kScriptsBefore[] = {
    {70, "no delme scripts there", [](Builder&, const std::string&) {}},
    {14, "the first delme names taken",
     [](Builder& b, const std::string& T) {
         int count = 1 + b.c.Pick(5);
         for (int n = 1; n <= count; ++n) {
             b.File(Join(T, "delme" + std::to_string(n) + ".bat"), "someone's script " + std::to_string(n));
         }
         b.Note(std::to_string(count) + " delme scripts already there");
     }},
    {5, "all 200 delme names taken",
     [](Builder& b, const std::string& T) {
         for (int n = 1; n <= 200; ++n) {
             b.File(Join(T, "delme" + std::to_string(n) + ".bat"), "someone's script " + std::to_string(n));
         }
     }},
    {5, "some delme names taken",
     [](Builder& b, const std::string& T) {
         for (int n = 1; n <= 200; ++n) {
             if (b.c.Chance(30)) {
                 b.File(Join(T, "delme" + std::to_string(n) + ".bat"), "someone's script",
                        FILE_ATTRIBUTE_READONLY);
             }
         }
     }},
    {3, "delme1.bat is a folder", [](Builder& b, const std::string& T) { b.Folder(Join(T, "delme1.bat")); }},
    {3, "delme1.bat is held",
     [](Builder& b, const std::string& T) { b.Lock(Join(T, "delme1.bat"), LockTime(b.c)); }},
};

// What others left in the temporary folder: a log, an older copy, a hold on the copy's name,
// look-alikes of the copy and the script, and what cut forms of their paths would name.
void FillTempFolder(Builder& b, const std::string& T) {
    b.File(Join(T, "setup.log"), "someone's log");
    if (b.Odd(10)) {
        b.File(Join(T, kUninstallerName), "an older copy",
               b.c.Chance(30) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE);
        b.Note("an uninstall.exe is already in the temporary folder");
    }
    if (b.Odd(6)) {
        // Somebody (a virus scanner, say) holds the temporary copy's name for a while: an older copy
        // cannot be overwritten, a new one cannot be deleted until then. A hold that never ends
        // would keep the cleanup script looping forever, which its fixed text allows.
        static const std::vector<sim::Time> kUntil = {0, 100, 2000, 10000};
        b.Lock(Join(T, kUninstallerName), b.c.OneOf(kUntil));
    }
    static const std::vector<std::string> kLookAlikes = {
        "uninstall.exe.bak", "Uninstall.ex_",  "delme.bat",    "delme0.bat",
        "delme01.bat",       "delme1.bat.txt", "delme201.bat", "delme-1.bat"};
    for (const std::string& name : kLookAlikes) {
        if (b.Odd(5)) {
            b.File(Join(T, name), "someone's " + name);
        }
    }
    b.Variant(kScriptsBefore).build(b, T);
    if (T.size() > 240) {
        for (const char* name : {"uninstall", "uninstall.e", "uninstall.ex", "uninstal", "unin", "delme",
                                 "delme1", "delme1.b", "delme1.ba", "delm"}) {
            b.File(Join(T, name), std::string("cut victim ") + name);
        }
        AddCutVictims(b, Join(T, kUninstallerName), "look-alike of the copy");
        AddCutVictims(b, Join(T, "delme1.bat"), "look-alike of the script");
    }
}

}  // namespace

std::string ChooseTempFolder(Builder& b, const Install& install) {
    TempFolder t;
    b.Variant(kTempFolders).build(t, b, install);
    const std::string& T = t.path;
    b.m.files.SetTempPath(T);
    // Somebody else's files where the name expanded would point.
    std::string expanded = b.m.shell.ExpandVariables(T);
    if (expanded != T) {
        for (const char* name : {kUninstallerName, "delme1.bat"}) {
            b.File(Join(expanded, name), std::string("somebody else's ") + name);
        }
        b.Note("the environment expands it to \"" + expanded + "\"");
    }
    if (t.create) {
        b.Folder(T);
    }
    b.Note("temporary folder \"" + T + "\" (" + std::to_string(T.size()) + " characters)" +
           (t.create ? "" : ", missing"));
    if (t.create) {
        FillTempFolder(b, T);
    }
    return T;
}

}  // namespace generator
}  // namespace property
