// Complete uninstalls across the three processes: the user's start of the installed uninstaller,
// the temporary copy started with the switch, and the cleanup script run by the command interpreter.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/in_process.h"
#include "support/handles.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return sim::UpperCase(text).rfind(sim::UpperCase(prefix), 0) == 0;
}

std::vector<std::string> Without(std::vector<std::string> entries, const std::vector<std::string>& prefixes) {
    auto removed = [&prefixes](const std::string& entry) {
        return std::any_of(prefixes.begin(), prefixes.end(),
                           [&entry](const std::string& prefix) { return StartsWith(entry, prefix); });
    };
    entries.erase(std::remove_if(entries.begin(), entries.end(), removed), entries.end());
    return entries;
}

std::vector<sim::Notification> NotificationsOf(const sim::Machine& machine, LONG event) {
    std::vector<sim::Notification> found;
    for (const sim::Notification& notification : machine.shell.Notifications()) {
        if (notification.event == event) {
            found.push_back(notification);
        }
    }
    return found;
}

// When `process` first and last called `function` with this main argument.
std::pair<sim::Time, sim::Time> CallTimes(const sim::Machine& machine, const std::string& function,
                                          const std::string& detail, int process) {
    std::pair<sim::Time, sim::Time> times{sim::kForever, 0};
    for (const sim::CallRecord& call : machine.journal.Calls()) {
        if (call.function == function && call.detail == detail && call.process == process) {
            times = {std::min(times.first, call.time), call.time};
        }
    }
    return times;
}

// One uninstall from the user's start to the end of the cleanup script.
struct Uninstall {
    int first = 0;
    int second = 0;
    sim::BatchRun script;
};

// The user confirms; the first process lingers `firstExit` ms after its entry returns, the second
// `secondExit` ms. Every start the processes record is run.
Uninstall RunUninstall(sim::Machine& machine, const ProductLayout& layout, sim::Time firstExit = 120,
                       sim::Time secondExit = 10) {
    UninstallOptions options = AsTheUserStartsIt(layout);
    options.firstExit = firstExit;
    options.secondExit = secondExit;
    CompleteUninstallRun complete = RunCompleteUninstall(machine, options);
    Uninstall run;
    EXPECT_TRUE(complete.user.ran);
    EXPECT_EQ(complete.user.exitStatus, 1);
    run.first = complete.user.process;
    const std::vector<sim::StartRecord>& recorded = machine.shell.Starts();
    auto byTheFirst = std::count_if(recorded.begin(), recorded.end(), [&run](const sim::StartRecord& start) {
        return start.process == run.first;
    });
    if (byTheFirst != 1 || recorded[0].process != run.first) {
        ADD_FAILURE() << "the first process starts exactly the temporary copy";
        return run;
    }
    const sim::StartOutcome& copy = complete.starts[0];
    EXPECT_TRUE(copy.ran);
    EXPECT_EQ(copy.exitStatus, 1);
    run.second = copy.process;
    if (complete.starts.size() != 2u || !complete.starts[1].batch.has_value()) {
        ADD_FAILURE() << "the second process starts exactly the cleanup script";
        return run;
    }
    run.script = *complete.starts[1].batch;
    EXPECT_TRUE(run.script.finished) << "the cleanup script must end";
    EXPECT_TRUE(NoHandlesOpen(machine));
    return run;
}

// Nothing of the uninstaller itself is left in the temporary folder.
void ExpectTemporaryFolderClean(const sim::Machine& machine, const ProductLayout& layout) {
    for (const std::string& name : machine.files.FolderEntries(layout.tempFolder)) {
        EXPECT_FALSE(sim::SameName(name, kUninstallerName)) << name;
        EXPECT_FALSE(StartsWith(name, "delme")) << name;
    }
}

class CompleteUninstall : public ::testing::Test {
  protected:
    sim::Machine machine;
    ProductLayout layout;
};

TEST_F(CompleteUninstall, RemovesEverythingOfTheProductAndNothingElse) {
    InstallProduct(machine, layout);
    int product = StartProduct(machine, layout);
    Snapshot before = TakeSnapshot(machine);
    Uninstall run = RunUninstall(machine, layout);

    Snapshot after = TakeSnapshot(machine);
    const std::string vendorFolder = kDefaultVendorFolder;
    EXPECT_EQ(after.files, Without(before.files, {vendorFolder + "\\", vendorFolder + "=",
                                                  layout.startupFolder + "\\" + kShortcutName,
                                                  layout.programsFolder + "\\" + kShortcutName}));
    EXPECT_EQ(after.machineKeys, Without(before.machineKeys, {kVendorKey, kUninstallEntry, kAppPathsEntry}));
    EXPECT_EQ(after.userKeys, Without(before.userKeys, {kVendorKey}));
    ExpectTemporaryFolderClean(machine, layout);

    // One confirmation and no other box; the product was asked to close and did.
    EXPECT_EQ(machine.desktop.MessageBoxes().size(), 1u);
    EXPECT_EQ(machine.desktop.PostedMessages().size(), 1u);
    EXPECT_FALSE(machine.processes.ProcessRunning(product));

    // The shell heard of both shortcuts, Startup first, and of the installation folder.
    std::vector<sim::Notification> deleted = NotificationsOf(machine, SHCNE_DELETE);
    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_EQ(deleted[0].path, layout.startupFolder + "\\" + kShortcutName);
    EXPECT_EQ(deleted[1].path, layout.programsFolder + "\\" + kShortcutName);
    std::vector<sim::Notification> removed = NotificationsOf(machine, SHCNE_RMDIR);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].path, layout.installFolder);
    for (const sim::Notification& notification : machine.shell.Notifications()) {
        EXPECT_EQ(notification.flags, static_cast<UINT>(SHCNF_PATH));
        EXPECT_FALSE(notification.secondItem);
        EXPECT_EQ(notification.process, run.second);
    }

    // The script was started hidden from the temporary folder, and deleted the copy, then itself.
    ASSERT_EQ(machine.shell.Starts().size(), 2u);
    const sim::StartRecord& start = machine.shell.Starts()[1];
    EXPECT_EQ(start.file, layout.TempFile("delme1.bat"));
    EXPECT_EQ(start.parameters, std::nullopt);
    EXPECT_EQ(start.directory, std::optional<std::string>(layout.tempFolder));
    EXPECT_EQ(start.show, SW_HIDE);
    EXPECT_FALSE(start.hadOwner);
    // While the second process lingered, the script kept trying; then the copy went, then the script.
    ASSERT_GE(run.script.output.size(), 2u);
    EXPECT_EQ(run.script.output.front(), layout.TempCopy() + ": The process cannot access the file.");
    EXPECT_EQ(run.script.output.back(), "The batch file cannot be found.");

    // "InstallPath" is read before the key that holds it goes; the shell hears of the folder once the
    // vendor folder is gone too, so it shows neither; the script comes last.
    EXPECT_LT(FirstCallAt(machine, "RegQueryValueExA",
                          "HKLM\\" + std::string(kProductKey) + ":" + kInstallPathValue),
              FirstCallAt(machine, "RegDeleteKeyA", "HKLM\\" + std::string(kProductKey)));
    EXPECT_LT(FirstCallAt(machine, "RemoveDirectoryA", vendorFolder),
              FirstCallAt(machine, "SHChangeNotify", layout.installFolder));
    EXPECT_LT(FirstCallAt(machine, "SHChangeNotify", layout.installFolder),
              FirstCallAt(machine, "ShellExecuteA", start.file));
}

TEST_F(CompleteUninstall, WaitsForTheFirstProcessAsLongAsItsBudgetAllows) {
    struct Case {
        sim::Time firstExit;
        bool folderRemoved;
    };
    for (Case c : {Case{0, true}, Case{1, true}, Case{120, true}, Case{2500, true}, Case{2501, false},
                   Case{60000, false}}) {
        SCOPED_TRACE("first process exits " + std::to_string(c.firstExit) + " ms after its hand-over");
        sim::Machine fresh;
        InstallProduct(fresh, layout);
        Uninstall run = RunUninstall(fresh, layout, c.firstExit);
        // Tried for 2.5 s at most, and taken within a pause of 50 ms once the first process let go.
        const auto [first, last] = CallTimes(fresh, "DeleteFileA", layout.InstalledUninstaller(), run.second);
        EXPECT_LE(last - first, 2500u);
        if (c.folderRemoved) {
            EXPECT_LT(last, fresh.processes.GetProcess(run.first).exitTime + 50);
        }
        EXPECT_EQ(fresh.files.Exists(layout.installFolder), !c.folderRemoved);
        EXPECT_EQ(fresh.files.Exists(layout.InstalledUninstaller()), !c.folderRemoved);
        EXPECT_EQ(NotificationsOf(fresh, SHCNE_RMDIR).size(), c.folderRemoved ? 1u : 0u);
        EXPECT_EQ(fresh.files.Exists(kDefaultVendorFolder), !c.folderRemoved);
        EXPECT_EQ(fresh.desktop.MessageBoxes().size(), c.folderRemoved ? 1u : 2u);  // and where files stay
        // The script is written and cleans up in every case.
        ExpectTemporaryFolderClean(fresh, layout);
    }
}

TEST_F(CompleteUninstall, AnUninstallerAlreadyGoneIsTriedOnceAndAFolderAlreadyGoneUsesTheWholeBudget) {
    // Installed uninstaller already gone: one attempt, no pause.
    sim::Machine gone;
    InstallProduct(gone, layout);
    const std::string elsewhere = "C:\\Elsewhere\\Tandrel";
    gone.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue, elsewhere);
    gone.files.AddFile(elsewhere + "\\" + kMainExecutable, "the product");
    Uninstall goneRun = RunUninstall(gone, layout, 0);
    EXPECT_EQ(CountCall(gone, "DeleteFileA", elsewhere + "\\" + kUninstallerName), 1);
    EXPECT_EQ(gone.journal.CallCount("Sleep", goneRun.second), 0);
    EXPECT_FALSE(gone.files.Exists(elsewhere));

    // Installation folder itself gone: path-not-found is not file-not-found, so the whole budget is used.
    sim::Machine noFolder;
    InstallProduct(noFolder, layout);
    const std::string nowhere = "C:\\Nowhere\\Tandrel";
    noFolder.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue, nowhere);
    Uninstall noFolderRun = RunUninstall(noFolder, layout, 0);
    const auto [first, last] =
        CallTimes(noFolder, "DeleteFileA", nowhere + "\\" + kUninstallerName, noFolderRun.second);
    EXPECT_EQ(last - first, 2500u);
    EXPECT_TRUE(NotificationsOf(noFolder, SHCNE_RMDIR).empty());
    ExpectTemporaryFolderClean(noFolder, layout);
}

// Every instance of the product is asked to close and given ten seconds, its windows gone and its
// processes ended, before anything changes. One that runs on is the user's to close: Retry asks and
// waits again; Cancel leaves everything as it was, the product listed and running. A file held by
// another program stays, and the user is told where.
TEST_F(CompleteUninstall, ARunningProductClosesBeforeAnythingChangesOrEverythingStays) {
    struct Case {
        const char* name;
        std::vector<sim::Time> closeDelays;  // one instance each; kForever: ignores the request
        sim::Time endsAfterWindow;           // what its process still does once its window has gone
        int answer;                          // to the box about a product that still runs; 0: none
        bool heldFile = false;               // Tandra.htm held open by another program
    };
    const Case cases[] = {
        {"closes at once", {0}, 0, 0},
        {"two instances, one saving its work for two seconds", {300, 2000}, 0, 0},
        {"still ending four seconds after its window went", {0}, 4000, 0},
        {"closes late, and the user chooses Retry", {11000}, 0, IDRETRY},
        {"ignores the request, and the user chooses Cancel", {sim::kForever}, 0, IDCANCEL},
        {"a file held by another program", {}, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine fresh;
        InstallProduct(fresh, layout);
        std::vector<int> products;
        for (sim::Time delay : c.closeDelays) {
            products.push_back(StartProduct(fresh, layout, delay != sim::kForever, delay, c.endsAfterWindow));
        }
        if (c.heldFile) {
            fresh.files.LockFile(layout.installFolder + "\\Tandra.htm");
        }
        Snapshot before = TakeSnapshot(fresh);
        fresh.desktop.AnswerMessageBox(IDOK);
        fresh.desktop.AnswerMessageBox(c.answer);
        RunCompleteUninstall(fresh, AsTheUserStartsIt(layout));
        const std::vector<sim::MessageBoxRecord>& boxes = fresh.desktop.MessageBoxes();
        ASSERT_EQ(boxes.size(), c.answer != 0 || c.heldFile ? 2u : 1u);
        if (c.heldFile) {
            EXPECT_EQ(boxes[1].text, FilesStayText(layout.installFolder));
            EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_ICONERROR));
            EXPECT_EQ(fresh.files.FolderEntries(layout.installFolder),
                      std::vector<std::string>{"Tandra.htm"});
            continue;
        }
        if (c.answer != 0) {
            EXPECT_EQ(boxes[1].text, kStillRunningText);
            EXPECT_EQ(boxes[1].caption, kProductName);
            EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_RETRYCANCEL | MB_ICONEXCLAMATION));
        }
        if (c.answer == IDCANCEL) {
            EXPECT_TRUE(TakeSnapshot(fresh) == before);
            EXPECT_TRUE(fresh.processes.ProcessRunning(products[0]));
            continue;
        }
        EXPECT_EQ(fresh.desktop.PostedMessages().size(),
                  c.closeDelays.size() * (c.answer == IDRETRY ? 2 : 1));
        EXPECT_FALSE(fresh.files.Exists(kDefaultVendorFolder));
        EXPECT_FALSE(fresh.registry.HasKey(HKEY_LOCAL_MACHINE, kVendorKey));
        ExpectTemporaryFolderClean(fresh, layout);
    }
}

// Unattended, the first process ends with the removal's result, once everything of the product but
// the installed uninstaller is gone (0), or something stays or nothing changed (1603).
TEST_F(CompleteUninstall, UnattendedTheFirstProcessEndsWithTheRemovalsResult) {
    using Action = void (*)(sim::Machine & machine, const ProductLayout& layout);
    struct Case {
        const char* name;
        const char* parameters;
        Action before;     // null: nothing
        Action meanwhile;  // before the copy runs; null: nothing
        int status;
        bool changed;
    };
    const Case cases[] = {
        {"an ordinary machine", kSilentSwitch, nullptr, nullptr, ERROR_SUCCESS, true},
        {"the switch quoted", "\"/S\"", nullptr, nullptr, ERROR_SUCCESS, true},
        {"a copy that takes seven seconds to start", kSilentSwitch, nullptr,
         [](sim::Machine& machine, const ProductLayout&) { machine.driver.LetTimePass(7000); }, ERROR_SUCCESS,
         true},
        {"a file held by another program", kSilentSwitch,
         [](sim::Machine& machine, const ProductLayout& layout) {
             machine.files.LockFile(layout.installFolder + "\\la.txt");
         },
         nullptr, ERROR_INSTALL_FAILURE, true},
        // The first process has given up by then; the copy still unlists the product.
        {"a copy that takes twenty seconds to start", kSilentSwitch, nullptr,
         [](sim::Machine& machine, const ProductLayout&) { machine.driver.LetTimePass(20000); },
         ERROR_INSTALL_FAILURE, true},
        // Somebody else's event could say "removed" at any time.
        {"the verdict's name taken by an event, set", kSilentSwitch,
         [](sim::Machine& machine, const ProductLayout&) {
             machine.files.AddFile("C:\\Other\\holder.exe", "somebody else's program");
             sim_testing::RunAsProcess(
                 machine, "C:\\Other\\holder.exe", "C:\\Other",
                 [](LPSTR) { return CreateEventA(nullptr, TRUE, TRUE, kRemovedEvent) != nullptr; },
                 std::nullopt, sim::ProcessOptions{600000});
         },
         nullptr, ERROR_INSTALL_FAILURE, true},
        {"a copy killed before it took over", kSilentSwitch, nullptr,
         [](sim::Machine& machine, const ProductLayout&) {
             machine.processes.EndProcess(machine.shell.Starts()[0].startedProcess, machine.clock.Now());
         },
         ERROR_INSTALL_FAILURE, false},
        {"a product that ignores the request to close", kSilentSwitch,
         [](sim::Machine& machine, const ProductLayout& layout) { StartProduct(machine, layout, false); },
         nullptr, ERROR_INSTALL_FAILURE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine fresh;
        InstallProduct(fresh, layout);
        if (c.before != nullptr) {
            c.before(fresh, layout);
        }
        Snapshot before = TakeSnapshot(fresh);
        UninstallOptions options = AsTheUserStartsIt(layout);
        options.parameters = c.parameters;
        if (c.meanwhile != nullptr) {
            options.duringTheHandOver = [&fresh, &c, this] { c.meanwhile(fresh, layout); };
        }
        CompleteUninstallRun run = RunCompleteUninstall(fresh, options);
        EXPECT_EQ(run.user.exitStatus, c.status);
        EXPECT_TRUE(fresh.desktop.MessageBoxes().empty());
        EXPECT_EQ(TakeSnapshot(fresh) == before, !c.changed);
        EXPECT_EQ(fresh.registry.HasKey(HKEY_LOCAL_MACHINE, kUninstallEntry), !c.changed);
    }
}

// "InstallPath" written as Windows programs write it serves: with forward slashes, or expandable.
// One that cannot serve, or names a folder that is plainly not the product's, is reported in one
// plain box before anything is removed; the shortcuts and keys still go, the folder stays untouched.
TEST_F(CompleteUninstall, AnInstallPathThatCannotServeIsReportedOnceAndEverythingButTheFolderStillGoes) {
    struct Case {
        const char* name;
        DWORD type;  // REG_NONE: no value
        const char* value;
        bool serves;
        const char16_t* wide = nullptr;  // what the value really says, where the ANSI code page cannot
        bool windows9x = false;          // no wide functions, nor SysWOW64: the ANSI value is all there is
        const char16_t* wideHome =
            nullptr;  // %HOME% as it really is; ANSI programs read the product's folder
    };
    const Case cases[] = {
        {"forward slashes", REG_SZ, "C:/Apps/VORSK Software/Tandrel", true},
        {"expandable", REG_EXPAND_SZ, "%APPS%\\VORSK Software\\Tandrel", true},
        {"missing", REG_NONE, "", false},
        {"empty", REG_SZ, "", false},
        {"one character", REG_SZ, "C", false},
        {"relative", REG_SZ, "Apps\\VORSK Software\\Tandrel", false},
        {"a drive root", REG_SZ, "C:\\", false},
        {"the Windows folder", REG_EXPAND_SZ, "%WINDIR%", false},
        {"the Windows folder by another name", REG_SZ, "Z:\\WINDOWS", false},
        {"a folder without the product's programs", REG_SZ, "C:\\WINDOWS\\Start Menu", false},
        // "C:\Apps\Tłndrel" reads as another folder in code page 1252; that one's files stay.
        {"a character the code page lacks", REG_SZ, kDefaultInstallFolder, false,
         u"C:\\Apps\\VORSK Software\\T\u0142ndrel"},
        {"on Windows 9x", REG_SZ, kDefaultInstallFolder, true, nullptr, true},
        {"a variable the code page lacks", REG_EXPAND_SZ, "%HOME%", false, nullptr, false,
         u"C:\\Apps\\VORSK Software\\T\u0142ndrel"},
        // Folders with an uninstall.exe that is not this program: the copy's own, another product's.
        {"the temporary folder", REG_SZ, "C:\\WINDOWS\\TEMP", false},
        {"another product's folder", REG_SZ, "C:\\Other", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine fresh;
        InstallProduct(fresh, layout);
        fresh.shell.SetVariable("APPS", "C:\\Apps");
        fresh.files.AddFile("C:\\WINDOWS\\la.txt", "somebody else's");
        fresh.files.AddFile("C:\\WINDOWS\\Start Menu\\la.txt", "somebody else's");
        fresh.files.AddSubstDrive("Z:", "C:\\");
        fresh.files.AddFile("C:\\WINDOWS\\TEMP\\la.txt", "somebody else's");
        fresh.files.AddFile("C:\\Other\\la.txt", "somebody else's");
        fresh.files.AddFile("C:\\Other\\uninstall.exe", "another product's uninstaller");
        fresh.shell.SetVariable("HOME", layout.installFolder);
        if (c.wideHome != nullptr) {
            fresh.shell.SetVariableWide("HOME", c.wideHome);
        }
        if (c.type == REG_NONE) {
            fresh.registry.DeleteValue(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue);
        } else {
            fresh.registry.SetValue(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue, c.type,
                                    std::string(c.value) + '\0');
        }
        if (c.windows9x) {
            for (const char* function : {"RegQueryValueExW", "GetTempPathW", "GetSystemWow64DirectoryA"}) {
                fresh.modules.RemoveFunction(function);
            }
        }
        if (c.wide != nullptr) {
            fresh.registry.SetWideForm(HKEY_LOCAL_MACHINE, kProductKey, kInstallPathValue, c.wide);
        }
        Snapshot before = TakeSnapshot(fresh);
        Uninstall run = RunUninstall(fresh, layout);

        Snapshot after = TakeSnapshot(fresh);
        std::vector<std::string> gone = {layout.startupFolder + "\\" + kShortcutName,
                                         layout.programsFolder + "\\" + kShortcutName};
        if (c.serves) {
            gone.push_back(kDefaultVendorFolder + std::string("\\"));
            gone.push_back(kDefaultVendorFolder + std::string("="));
        }
        EXPECT_EQ(after.files, Without(before.files, gone));
        EXPECT_EQ(after.machineKeys,
                  Without(before.machineKeys, {kVendorKey, kUninstallEntry, kAppPathsEntry}));
        EXPECT_EQ(after.userKeys, Without(before.userKeys, {kVendorKey}));
        ExpectTemporaryFolderClean(fresh, layout);
        if (c.serves) {
            EXPECT_EQ(fresh.desktop.MessageBoxes().size(), 1u);
            continue;
        }
        ASSERT_EQ(fresh.desktop.MessageBoxes().size(), 2u);
        const sim::MessageBoxRecord& box = fresh.desktop.MessageBoxes()[1];
        EXPECT_EQ(box.process, run.second);
        EXPECT_EQ(box.text, kMissingInstallPathText);
        EXPECT_EQ(box.caption, kProductName);
        EXPECT_EQ(box.type, static_cast<UINT>(MB_OK));
        // The box comes before any removal.
        EXPECT_EQ(CallsOf(fresh, run.second, {"MessageBoxA", "RegOpenKeyExA", "DeleteFileA"}).front(),
                  "MessageBoxA " + std::string(kMissingInstallPathText));
    }
}

TEST_F(CompleteUninstall, ForeignFilesAndKeysStayWithTheirParents) {
    InstallProduct(machine, layout);
    machine.files.AddFile(layout.installFolder + "\\savegame.dat", "the user's game");
    machine.files.AddFile(layout.installFolder + "\\images\\mine.bmp",
                          "the user's picture");  // inside images: ours
    const std::string otherGame = std::string(kVendorKey) + "\\Other Game";
    machine.registry.SetString(HKEY_CURRENT_USER, otherGame, "Level", "3");
    machine.registry.SetString(HKEY_LOCAL_MACHINE, otherGame, kInstallPathValue, "C:\\Other");
    RunUninstall(machine, layout);

    EXPECT_EQ(machine.files.FolderEntries(layout.installFolder), std::vector<std::string>{"savegame.dat"});
    EXPECT_EQ(machine.files.FileContent(layout.installFolder + "\\savegame.dat"), "the user's game");
    EXPECT_TRUE(NotificationsOf(machine, SHCNE_RMDIR).empty());
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(machine.registry.ChildKeys(root, kVendorKey), std::vector<std::string>{"Other Game"});
    }
    EXPECT_TRUE(machine.registry.GetValue(HKEY_CURRENT_USER, otherGame, "Level").has_value());
    ExpectTemporaryFolderClean(machine, layout);
}

// Installed from a CD, every file is read-only; the copy must be deletable by the script, and the
// product's files are made deletable one by one.
TEST_F(CompleteUninstall, AReadOnlyInstallationIsRemovedWholeAndNothingIsLeftInTheTemporaryFolder) {
    InstallProduct(machine, layout);
    for (const std::string& file : machine.files.AllFiles()) {
        std::string path = file.substr(0, file.find('='));
        if (StartsWith(path, layout.installFolder + "\\") && path.back() != '\\') {
            machine.files.AddFile(path, machine.files.FileContent(path), FILE_ATTRIBUTE_READONLY);
        }
    }
    RunUninstall(machine, layout);
    ExpectTemporaryFolderClean(machine, layout);
    EXPECT_FALSE(machine.files.Exists(kDefaultVendorFolder));
}

// The switch typed by hand: the installed uninstaller runs the second phase itself, says nothing of
// its own file, which it cannot delete, and leaves that to its cleanup script.
TEST_F(CompleteUninstall, TheSwitchTypedByHandLeavesTheInstalledUninstallerToTheScript) {
    InstallProduct(machine, layout);
    UninstallOptions options = AsTheUserStartsIt(layout);
    options.parameters = kSecondPhaseSwitch;
    RunCompleteUninstall(machine, options);
    EXPECT_TRUE(machine.desktop.MessageBoxes().empty());
    EXPECT_FALSE(machine.files.Exists(layout.InstalledUninstaller()));
}

// A double-click too many, and a start while the copy works: only the uninstall under way goes on,
// and it still removes everything. Both other starts end at once, without a box.
TEST_F(CompleteUninstall, AStartWhileAnUninstallIsUnderWayEndsWithoutAWord) {
    InstallProduct(machine, layout);
    machine.files.AddFile("C:\\Downloads\\uninstall.exe", kUninstallerImage);
    machine.desktop.AnswerMessageBox(IDOK);
    machine.desktop.AnswerMessageBox(IDOK);
    sim::StartOutcome again;
    sim::StartOutcome duringHandOver;
    sim::StartOutcome meanwhile;
    UninstallOptions options = AsTheUserStartsIt(layout);
    options.secondExit = 100;
    options.whileTheFirstLingers = [&] {
        again = UserStartsUninstaller(machine, layout, sim::ProcessOptions{120});
    };
    // Past the first process's own end, before the copy runs: it still holds on for the copy.
    options.duringTheHandOver = [&] {
        ASSERT_EQ(machine.shell.Starts().size(), 1u);
        duringHandOver = UserStartsUninstaller(machine, layout, sim::ProcessOptions{120});
    };
    options.whileTheCopyWorks = [&] {
        meanwhile = machine.driver.RunProgram(&WinMain, "C:\\Downloads\\uninstall.exe", std::nullopt,
                                              "C:\\Downloads");
    };
    CompleteUninstallRun run = RunCompleteUninstall(machine, options);

    EXPECT_TRUE(again.ran && duringHandOver.ran && meanwhile.ran);
    ASSERT_EQ(machine.desktop.MessageBoxes().size(), 1u);
    EXPECT_EQ(machine.desktop.MessageBoxes()[0].process, run.user.process);
    ASSERT_EQ(machine.shell.Starts().size(), 2u);
    EXPECT_EQ(machine.shell.Starts()[1].process, run.copy.process);
    ASSERT_EQ(run.starts.size(), 2u);  // the copy, then the script alone
    EXPECT_FALSE(machine.files.Exists(layout.installFolder));
    EXPECT_FALSE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, kVendorKey));
    EXPECT_TRUE(machine.files.Exists("C:\\Downloads\\uninstall.exe"));
    ExpectTemporaryFolderClean(machine, layout);
}

// The name the hand-over event needs is taken: by somebody's event left set, or by an object of another
// kind. The first process must still live until its copy holds the uninstall's mutex, here held up 3 s
// (a virus scanner, say), or a start in between would find no uninstall under way. Where the copy
// cannot say so, the first process waits the whole time; the copy waits as long for the installed
// uninstaller, here held 4 s longer still by the first process's end.
TEST_F(CompleteUninstall, AHandOverNameTakenBySomebodyElseDoesNotEndTheWaitEarly) {
    for (bool byMutex : {false, true}) {
        SCOPED_TRACE(byMutex ? "a mutex of that name" : "an event of that name, set");
        sim::Machine fresh;
        InstallProduct(fresh, layout);
        fresh.files.AddFile("C:\\Other\\holder.exe", "somebody else's program");
        sim_testing::RunAsProcess(
            fresh, "C:\\Other\\holder.exe", "C:\\Other",
            [byMutex](LPSTR) {
                return byMutex ? CreateMutexA(nullptr, FALSE, kHandOverEvent) != nullptr
                               : CreateEventA(nullptr, TRUE, TRUE, kHandOverEvent) != nullptr;
            },
            std::nullopt, sim::ProcessOptions{600000});
        sim::StartOutcome first =
            UserStartsUninstaller(fresh, layout, sim::ProcessOptions{byMutex ? 4000u : 120u});
        if (fresh.clock.Now() < 3000) {
            fresh.clock.Advance(3000 - fresh.clock.Now());
        }
        ASSERT_EQ(fresh.shell.Starts().size(), 1u);
        sim::StartOutcome copy = fresh.driver.RunStart(0, &WinMain);
        fresh.driver.RunPendingStarts(&WinMain);

        EXPECT_GE(fresh.processes.GetProcess(first.process).exitTime,
                  CallTimes(fresh, "CreateMutexA", kUninstallMutex, copy.process).first);
        EXPECT_FALSE(fresh.files.Exists(layout.installFolder));
        ExpectTemporaryFolderClean(fresh, layout);
    }
}

}  // namespace
