// The processes: a running product (or not), and the traps others left (a link among the product's
// keys, a manifest where the copy goes, the hand-over's name taken); and how the user starts the
// uninstall: which file, with what answer, how long each process lingers, with which switches, and
// how often again.
#include "generator_parts.h"
#include "sim/in_process.h"
#include "sim_path.h"

namespace property {
namespace generator {

namespace {

constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

using UserStartBuild = void (*)(Builder& b, const Install& install, const std::string& tempFolder);

// Which uninstall.exe the user starts, and from where.
const Choice<UserStartBuild> kUserStarts[] = {
    {88, "the user starts the installed uninstaller",
     [](Builder& b, const Install& install, const std::string&) {
         b.g.uninstallerImage = Join(install.folder, kUninstallerName);
         b.g.userFolder = install.value;
     }},
    {5, "the user starts a copy in the temporary folder",
     [](Builder& b, const Install&, const std::string& tempFolder) {
         b.g.uninstallerImage = Join(tempFolder, kUninstallerName);
         b.File(b.g.uninstallerImage, kUninstallerImage);
         b.g.userFolder = tempFolder;
     }},
    {5, "the user starts a copy kept elsewhere",
     [](Builder& b, const Install&, const std::string&) {
         b.g.uninstallerImage = "C:\\Downloads\\uninstall.exe";
         b.File(b.g.uninstallerImage, kUninstallerImage);
         b.g.userFolder = "C:\\Downloads";
     }},
    {2, "the user starts a read-only copy kept elsewhere",
     [](Builder& b, const Install&, const std::string&) {
         b.g.uninstallerImage = "C:\\Downloads\\uninstall.exe";
         b.File(b.g.uninstallerImage, kUninstallerImage, FILE_ATTRIBUTE_READONLY);
         b.g.userFolder = "C:\\Downloads";
     }},
};

// What the confirmation answers.
const Choice<int> kAnswers[] = {
    {85, "the user confirms", IDOK},
    {8, "the user cancels", IDCANCEL},
    {2, "the confirmation could not be shown", 0},
    {2, "the confirmation answers IDNO", kIdNo},
    {3, "the confirmation answers IDYES", kIdYes},
};

void ChooseWhatTheUserStarts(Builder& b, const Install& install, const std::string& tempFolder) {
    b.Variant(kUserStarts).build(b, install, tempFolder);
    if (!b.m.files.Exists(b.g.uninstallerImage) || b.m.files.IsFolder(b.g.uninstallerImage)) {
        // The installed uninstaller is missing: the user runs a copy kept elsewhere.
        b.g.uninstallerImage = "C:\\Downloads\\uninstall.exe";
        b.File(b.g.uninstallerImage, kUninstallerImage);
        b.g.userFolder = "C:\\Downloads";
    }
    b.m.desktop.AnswerMessageBox(b.Variant(kAnswers).build);
    // Return on the box about a product still running would be Retry for ever.
    if (b.g.productRunsOn) {
        bool retries = b.c.Chance(30);
        if (retries) {
            b.m.desktop.AnswerMessageBox(IDRETRY);
        }
        b.m.desktop.AnswerMessageBox(IDCANCEL);
        b.Note(retries ? "the product runs on: Retry, then Cancel" : "the product runs on: Cancel");
    }
}

// Mostly a quick exit; now and then one at or past the second phase's patience of 2.5 s.
void ChooseLingering(Builder& b) {
    static const std::vector<sim::Time> kQuickExits = {120, 0, 1, 50, 120, 500};
    static const std::vector<sim::Time> kSlowExits = {2450, 2500, 2501, 5000, 60000};
    static const std::vector<sim::Time> kSecondExits = {10, 0, 5, 10, 10, 20, 50, 100};
    b.g.firstExit = b.c.Chance(15) ? b.c.OneOf(kSlowExits) : b.c.OneOf(kQuickExits);
    if (b.hostility == 0 && b.g.firstExit > 2500) {
        b.g.firstExit = 2500;
    }
    b.g.secondExit = b.Odd(4) ? 2000 : b.c.OneOf(kSecondExits);
}

// The user types the switch the copy is started with, or /S.
void ChooseSwitches(Builder& b, const Install& install, const std::string& tempFolder) {
    // The script then loops until it can delete that program: forever when somebody holds it
    // forever, which its fixed text allows.
    std::string installed = Join(install.folder, kUninstallerName);
    sim::SimPath own;
    if (b.g.uninstallerImage == installed && b.Odd(8) &&
        sim::ResolvePath(installed, "", own, false, false) == 0 &&
        b.m.files.ActiveHold(sim::PathKey(own)) == nullptr) {
        b.g.typesSwitch = true;
        std::string copy = Join(tempFolder, kUninstallerName);
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
}

// A double-click too many, a start during the hand-over or while the copy works: the uninstall under
// way is the only one.
void ChooseStartsAgain(Builder& b) {
    b.g.startsAgainAtOnce = b.g.firstExit > 0 && b.c.Chance(8);
    b.g.startsAgainInHandOver = !b.g.typesSwitch && b.c.Chance(8);
    b.g.startsAgainDuringCopy = b.g.secondExit > 0 && b.c.Chance(8);
    if (b.g.startsAgainAtOnce || b.g.startsAgainInHandOver || b.g.startsAgainDuringCopy) {
        b.Note(std::string("the user starts it again") + (b.g.startsAgainAtOnce ? " at once" : "") +
               (b.g.startsAgainInHandOver ? " during the hand-over" : "") +
               (b.g.startsAgainDuringCopy ? " while the copy works" : ""));
    }
}

}  // namespace

void AddRunningProduct(Builder& b, const Install& install) {
    if (b.c.Chance(10)) {
        int other = b.m.processes.StartBackgroundProcess("C:\\Other\\other.exe", "C:\\Other");
        b.m.desktop.AddWindow(std::string(kWindowClass) + "2", "Not the product", other);
        b.m.desktop.AddWindow("Vorsk", "Not the product either", other);
    }
    if (!b.c.Chance(30)) {
        return;
    }
    std::string image = Join(install.folder, kMainExecutable);
    int product = b.m.processes.StartBackgroundProcess(image, install.value);
    bool closes = !b.Odd(60);
    // Some products take a while to close (saving, asking the user); some take longer than the
    // second phase waits for them.
    static const std::vector<sim::Time> kDelays = {0, 0, 10, 100, 2000, 3000, 12000};
    sim::Time delay = b.hostility == 0 ? 0 : b.c.OneOf(kDelays);
    b.m.desktop.AddWindow(kWindowClass, "Tandrel", product, closes, delay);
    // Still saving, say, after its window has gone.
    sim::Time ending = b.c.Chance(20) ? 4000 : 0;
    b.m.processes.GetProcess(product).exitDelay = ending;
    b.g.productRunsOn = !closes || delay > 10000;
    if (b.c.Chance(10)) {
        int second = b.m.processes.StartBackgroundProcess(image, install.value);
        bool secondCloses = b.c.Chance(50);
        sim::Time secondDelay = b.c.OneOf(kDelays);
        b.m.desktop.AddWindow(sim::UpperCase(kWindowClass), "Tandrel (2)", second, secondCloses, secondDelay);
        b.g.productRunsOn = b.g.productRunsOn || !secondCloses || secondDelay > 10000;
        b.Note("two product windows");
    }
    b.Note(std::string("product running, ") +
           (closes ? "closes after " + std::to_string(delay) + " ms" : "ignores WM_CLOSE") +
           (ending > 0 ? ", its process ends 4000 ms after its window" : ""));
}

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
        std::string beside = kUninstallerName + std::string(b.c.Chance(50) ? ".manifest" : ".local");
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

void ChooseUserStart(Builder& b, const Install& install, const std::string& tempFolder) {
    ChooseWhatTheUserStarts(b, install, tempFolder);
    ChooseLingering(b);
    ChooseSwitches(b, install, tempFolder);
    ChooseStartsAgain(b);
    b.Note("user starts \"" + b.g.uninstallerImage + "\"; first process lingers " +
           std::to_string(b.g.firstExit) + " ms, second " + std::to_string(b.g.secondExit) + " ms");
}

}  // namespace generator
}  // namespace property
