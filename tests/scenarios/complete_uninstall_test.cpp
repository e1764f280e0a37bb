// Complete uninstalls across the three processes: the user's start of the installed uninstaller,
// the temporary copy started with the switch, and the cleanup script run by the command interpreter.
#include <gtest/gtest.h>

#include <algorithm>

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
    for (const sim::Notification& notification : machine.processes.Notifications()) {
        if (notification.event == event) {
            found.push_back(notification);
        }
    }
    return found;
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
    Uninstall run;
    sim::StartOutcome userStart = UserStartsUninstaller(machine, layout, sim::ProcessOptions{firstExit});
    EXPECT_TRUE(userStart.ran);
    EXPECT_EQ(userStart.exitStatus, 1);
    run.first = userStart.process;
    if (machine.processes.Starts().size() != 1u) {
        ADD_FAILURE() << "the first process starts exactly the temporary copy";
        return run;
    }
    sim::StartOutcome copy = machine.processes.RunStart(0, &WinMain, sim::ProcessOptions{secondExit});
    EXPECT_TRUE(copy.ran);
    EXPECT_EQ(copy.exitStatus, 1);
    run.second = copy.process;
    std::vector<sim::StartOutcome> rest = machine.processes.RunPendingStarts(&WinMain);
    if (rest.size() != 1u || !rest[0].batch.has_value()) {
        ADD_FAILURE() << "the second process starts exactly the cleanup script";
        return run;
    }
    run.script = *rest[0].batch;
    EXPECT_TRUE(run.script.finished) << "the cleanup script must end";
    EXPECT_TRUE(NoHandlesOpen(machine));
    return run;
}

// Nothing of the uninstaller itself is left in the temporary folder.
void ExpectTemporaryFolderClean(const sim::Machine& machine, const ProductLayout& layout) {
    for (const std::string& name : machine.files.FolderEntries(layout.tempFolder)) {
        EXPECT_FALSE(sim::SameName(name, "uninstall.exe")) << name;
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
    const std::string vendorFolder = "C:\\Apps\\VORSK Software";
    EXPECT_EQ(after.files, Without(before.files, {vendorFolder + "\\", vendorFolder + "=",
                                                  layout.startupFolder + "\\VORSK Tandrel 98.lnk",
                                                  layout.programsFolder + "\\VORSK Tandrel 98.lnk"}));
    EXPECT_EQ(after.machineKeys,
              Without(before.machineKeys, {"Software\\VORSK Software", kUninstallEntry, kAppPathsEntry}));
    EXPECT_EQ(after.userKeys, Without(before.userKeys, {"Software\\VORSK Software"}));
    EXPECT_TRUE(machine.files.IsFolder("C:\\Apps"));
    ExpectTemporaryFolderClean(machine, layout);

    // One confirmation and no other box; the product was asked to close and did.
    EXPECT_EQ(machine.processes.MessageBoxes().size(), 1u);
    EXPECT_EQ(machine.processes.PostedMessages().size(), 1u);
    EXPECT_FALSE(machine.processes.ProcessRunning(product));

    // The shell heard of both shortcuts, Startup first, and of the installation folder.
    std::vector<sim::Notification> deleted = NotificationsOf(machine, SHCNE_DELETE);
    ASSERT_EQ(deleted.size(), 2u);
    EXPECT_EQ(deleted[0].path, layout.startupFolder + "\\VORSK Tandrel 98.lnk");
    EXPECT_EQ(deleted[1].path, layout.programsFolder + "\\VORSK Tandrel 98.lnk");
    std::vector<sim::Notification> removed = NotificationsOf(machine, SHCNE_RMDIR);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].path, layout.installFolder);
    for (const sim::Notification& notification : machine.processes.Notifications()) {
        EXPECT_EQ(notification.flags, static_cast<UINT>(SHCNF_PATH));
        EXPECT_FALSE(notification.secondItem);
        EXPECT_EQ(notification.process, run.second);
    }

    // The script was started hidden from the temporary folder, and deleted the copy, then itself.
    ASSERT_EQ(machine.processes.Starts().size(), 2u);
    const sim::StartRecord& start = machine.processes.Starts()[1];
    EXPECT_EQ(start.file, layout.TempFile("delme1.bat"));
    EXPECT_EQ(start.parameters, std::nullopt);
    EXPECT_EQ(start.directory, std::optional<std::string>(layout.tempFolder));
    EXPECT_EQ(start.show, SW_HIDE);
    EXPECT_FALSE(start.hadOwner);
    // While the second process lingered, the script kept trying; then the copy went, then the script.
    ASSERT_GE(run.script.output.size(), 2u);
    EXPECT_EQ(run.script.output.front(), layout.TempCopy() + ": The process cannot access the file.");
    EXPECT_EQ(run.script.output.back(), "The batch file cannot be found.");
}

TEST_F(CompleteUninstall, SecondPhaseRunsItsTasksInOrderWithoutAskingAgain) {
    InstallProduct(machine, layout);
    StartProduct(machine, layout);
    Uninstall run = RunUninstall(machine, layout);
    const std::string P = layout.installFolder;
    const std::string T = layout.tempFolder;
    const std::string shellFolders = "HKCU\\" + std::string(kShellFoldersKey);
    std::vector<std::string> expected = {
        "RegCreateKeyExA HKLM\\Software\\VORSK Software\\Tandrel",
        "RegQueryValueExA HKLM\\Software\\VORSK Software\\Tandrel:InstallPath",
        "RegOpenKeyExA " + shellFolders,
        "RegQueryValueExA " + shellFolders + ":Startup",
        "DeleteFileA " + layout.startupFolder + "\\VORSK Tandrel 98.lnk",
        "SHChangeNotify " + layout.startupFolder + "\\VORSK Tandrel 98.lnk",
        "RegQueryValueExA " + shellFolders + ":Programs",
        "DeleteFileA " + layout.programsFolder + "\\VORSK Tandrel 98.lnk",
        "SHChangeNotify " + layout.programsFolder + "\\VORSK Tandrel 98.lnk",
        "RegOpenKeyExA HKLM\\" + std::string(kAppPathsKey),
        "RegDeleteKeyA HKLM\\" + std::string(kAppPathsEntry),
        // the per-user product key is emptied depth first ...
        "RegOpenKeyExA HKCU\\Software\\VORSK Software\\Tandrel",
        "RegOpenKeyExA HKCU\\Software\\VORSK Software\\Tandrel\\Recent",
        "RegOpenKeyExA HKCU\\Software\\VORSK Software\\Tandrel\\Recent\\Games",
        "RegOpenKeyExA HKCU\\Software\\VORSK Software\\Tandrel\\Recent\\Games\\Level 1",
        "RegDeleteKeyA HKCU\\Software\\VORSK Software\\Tandrel\\Recent\\Games\\Level 1",
        "RegDeleteKeyA HKCU\\Software\\VORSK Software\\Tandrel\\Recent\\Games",
        "RegDeleteKeyA HKCU\\Software\\VORSK Software\\Tandrel\\Recent",
        "RegOpenKeyExA HKCU\\Software\\VORSK Software\\Tandrel\\Settings",
        "RegOpenKeyExA HKCU\\Software\\VORSK Software\\Tandrel\\Settings\\Sound",
        "RegDeleteKeyA HKCU\\Software\\VORSK Software\\Tandrel\\Settings\\Sound",
        "RegOpenKeyExA HKCU\\Software\\VORSK Software\\Tandrel\\Settings\\Window",
        "RegDeleteKeyA HKCU\\Software\\VORSK Software\\Tandrel\\Settings\\Window",
        "RegDeleteKeyA HKCU\\Software\\VORSK Software\\Tandrel\\Settings",
        // ... then the vendor keys go once empty, per-user first ...
        "RegOpenKeyExA HKCU\\Software\\VORSK Software",
        "RegDeleteKeyA HKCU\\Software\\VORSK Software\\Tandrel",
        "RegOpenKeyExA HKCU\\Software",
        "RegDeleteKeyA HKCU\\Software\\VORSK Software",
        "RegOpenKeyExA HKLM\\Software\\VORSK Software",
        "RegDeleteKeyA HKLM\\Software\\VORSK Software\\Tandrel",
        "RegOpenKeyExA HKLM\\Software",
        "RegDeleteKeyA HKLM\\Software\\VORSK Software",
        // ... then the files, the images, the installed uninstaller after the first process let go ...
        "DeleteFileA " + P + "\\Tandrel.exe",
        "DeleteFileA " + P + "\\Tandra.htm",
        "DeleteFileA " + P + "\\registration.txt",
        "DeleteFileA " + P + "\\la.txt",
        "DeleteFileA " + P + "\\VORSK Tandrel 98 Homepage.url",
        "DeleteFileA " + P + "\\order.htm",
        "DeleteFileA " + P + "\\ghosts.htm",
        "FindFirstFileA " + P + "\\images\\*.*",
        "DeleteFileA " + P + "\\images\\board.gif",
        "DeleteFileA " + P + "\\images\\ghost.bmp",
        "DeleteFileA " + P + "\\images\\title.bmp",
        "RemoveDirectoryA " + P + "\\images",
        "DeleteFileA " + P + "\\uninstall.exe",
        "Sleep 50",
        "DeleteFileA " + P + "\\uninstall.exe",
        "Sleep 50",
        "DeleteFileA " + P + "\\uninstall.exe",
        "Sleep 50",
        "DeleteFileA " + P + "\\uninstall.exe",
        "RemoveDirectoryA " + P,
        "RemoveDirectoryA C:\\Apps\\VORSK Software",
        "SHChangeNotify " + P,
        // ... and last the cleanup script.
        "CreateFileA " + T + "delme1.bat",
        "WriteFile " + std::to_string(ExpectedCleanupScript(T, 1).size()),
        "ShellExecuteA " + T + "delme1.bat",
    };
    EXPECT_EQ(CallsOf(machine, run.second,
                      {"RegCreateKeyExA", "RegQueryValueExA", "RegOpenKeyExA", "RegDeleteKeyA", "DeleteFileA",
                       "SHChangeNotify", "MessageBoxA", "FindWindowA", "PostMessageA", "Sleep",
                       "RemoveDirectoryA", "CreateFileA", "WriteFile", "ShellExecuteA", "FindFirstFileA"}),
              expected);
}

TEST_F(CompleteUninstall, WaitsForTheFirstProcessAsLongAsItsBudgetAllows) {
    struct Case {
        sim::Time firstExit;
        int attempts;
        bool folderRemoved;
    };
    for (Case c : {Case{0, 1, true}, Case{1, 2, true}, Case{120, 4, true}, Case{2450, 50, true},
                   Case{2500, 51, true}, Case{2501, 51, false}, Case{60000, 51, false}}) {
        SCOPED_TRACE("first process exits " + std::to_string(c.firstExit) + " ms after its hand-over");
        sim::Machine fresh;
        InstallProduct(fresh, layout);
        Uninstall run = RunUninstall(fresh, layout, c.firstExit);
        EXPECT_EQ(CountCall(fresh, "DeleteFileA", layout.InstalledUninstaller(), run.second), c.attempts);
        EXPECT_EQ(fresh.journal.CallCount("Sleep", run.second), c.attempts - 1);
        EXPECT_EQ(fresh.files.Exists(layout.installFolder), !c.folderRemoved);
        EXPECT_EQ(fresh.files.Exists(layout.InstalledUninstaller()), !c.folderRemoved);
        EXPECT_EQ(NotificationsOf(fresh, SHCNE_RMDIR).size(), c.folderRemoved ? 1u : 0u);
        EXPECT_EQ(fresh.files.Exists("C:\\Apps\\VORSK Software"), !c.folderRemoved);
        // The script is written and cleans up in every case.
        ExpectTemporaryFolderClean(fresh, layout);
    }
}

TEST_F(CompleteUninstall, AnUninstallerAlreadyGoneIsTriedOnceAndAFolderAlreadyGoneUsesTheWholeBudget) {
    InstallProduct(machine, layout);
    Uninstall run = RunUninstall(machine, layout, 0);
    (void)run;
    // Installed uninstaller already gone: one attempt, no pause.
    sim::Machine gone;
    InstallProduct(gone, layout);
    gone.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", "C:\\Elsewhere\\Tandrel");
    gone.files.AddFolder("C:\\Elsewhere\\Tandrel");
    Uninstall goneRun = RunUninstall(gone, layout, 0);
    EXPECT_EQ(CountCall(gone, "DeleteFileA", "C:\\Elsewhere\\Tandrel\\uninstall.exe"), 1);
    EXPECT_EQ(gone.journal.CallCount("Sleep", goneRun.second), 0);
    EXPECT_FALSE(gone.files.Exists("C:\\Elsewhere\\Tandrel"));

    // Installation folder itself gone: path-not-found is not file-not-found, so every attempt is made.
    sim::Machine noFolder;
    InstallProduct(noFolder, layout);
    noFolder.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", "C:\\Nowhere\\Tandrel");
    Uninstall noFolderRun = RunUninstall(noFolder, layout, 0);
    EXPECT_EQ(CountCall(noFolder, "DeleteFileA", "C:\\Nowhere\\Tandrel\\uninstall.exe"), 51);
    EXPECT_EQ(noFolder.journal.CallCount("Sleep", noFolderRun.second), 50);
    EXPECT_TRUE(NotificationsOf(noFolder, SHCNE_RMDIR).empty());
    ExpectTemporaryFolderClean(noFolder, layout);
}

TEST_F(CompleteUninstall, AProductThatIgnoresTheCloseRequestKeepsItsExecutableAndFolder) {
    InstallProduct(machine, layout);
    int product = StartProduct(machine, layout, false);
    Uninstall run = RunUninstall(machine, layout);
    EXPECT_TRUE(machine.processes.ProcessRunning(product));
    EXPECT_EQ(machine.files.FolderEntries(layout.installFolder), std::vector<std::string>{"Tandrel.exe"});
    EXPECT_EQ(CountCall(machine, "DeleteFileA", layout.installFolder + "\\Tandrel.exe", run.second), 1);
    EXPECT_TRUE(NotificationsOf(machine, SHCNE_RMDIR).empty());
    EXPECT_TRUE(machine.files.IsFolder("C:\\Apps\\VORSK Software"));
    EXPECT_FALSE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, kProductKey));
    EXPECT_FALSE(machine.files.Exists(layout.startupFolder + "\\VORSK Tandrel 98.lnk"));
    ExpectTemporaryFolderClean(machine, layout);
}

TEST_F(CompleteUninstall, MissingInstallPathIsReportedOnceAndEverythingButTheFolderStillGoes) {
    InstallProduct(machine, layout);
    machine.registry.DeleteValue(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath");
    Snapshot before = TakeSnapshot(machine);
    Uninstall run = RunUninstall(machine, layout);
    ASSERT_EQ(machine.processes.MessageBoxes().size(), 2u);
    const sim::MessageBoxRecord& box = machine.processes.MessageBoxes()[1];
    EXPECT_EQ(box.process, run.second);
    EXPECT_EQ(box.text, "Can not find install path to remove files.");
    EXPECT_EQ(box.caption, "VORSK Tandrel 98");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OK));
    // The box comes before any removal.
    EXPECT_EQ(CallsOf(machine, run.second, {"MessageBoxA", "RegOpenKeyExA", "DeleteFileA"}).front(),
              "MessageBoxA Can not find install path to remove files.");

    Snapshot after = TakeSnapshot(machine);
    EXPECT_EQ(after.files, Without(before.files, {layout.startupFolder + "\\VORSK Tandrel 98.lnk",
                                                  layout.programsFolder + "\\VORSK Tandrel 98.lnk"}));
    EXPECT_EQ(after.machineKeys,
              Without(before.machineKeys, {"Software\\VORSK Software", kUninstallEntry, kAppPathsEntry}));
    EXPECT_EQ(after.userKeys, Without(before.userKeys, {"Software\\VORSK Software"}));
    EXPECT_EQ(machine.journal.CallCount("RemoveDirectoryA", run.second), 0);
    ExpectTemporaryFolderClean(machine, layout);
}

TEST_F(CompleteUninstall, ForeignFilesAndKeysStayWithTheirParents) {
    InstallProduct(machine, layout);
    machine.files.AddFile(layout.installFolder + "\\savegame.dat", "the user's game");
    machine.files.AddFile(layout.installFolder + "\\images\\mine.bmp",
                          "the user's picture");  // inside images: ours
    machine.registry.SetString(HKEY_CURRENT_USER, "Software\\VORSK Software\\Other Game", "Level", "3");
    machine.registry.SetString(HKEY_LOCAL_MACHINE, "Software\\VORSK Software\\Other Game", "InstallPath",
                               "C:\\Other");
    RunUninstall(machine, layout);

    EXPECT_EQ(machine.files.FolderEntries(layout.installFolder), std::vector<std::string>{"savegame.dat"});
    EXPECT_EQ(machine.files.FileContent(layout.installFolder + "\\savegame.dat"), "the user's game");
    EXPECT_TRUE(NotificationsOf(machine, SHCNE_RMDIR).empty());
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(machine.registry.ChildKeys(root, kVendorKey), std::vector<std::string>{"Other Game"});
    }
    EXPECT_TRUE(machine.registry.GetValue(HKEY_CURRENT_USER, "Software\\VORSK Software\\Other Game", "Level")
                    .has_value());
    ExpectTemporaryFolderClean(machine, layout);
}

TEST_F(CompleteUninstall, VendorFolderGoesOnlyWhenItIsTheVendorsExactlyAndEmpty) {
    struct Case {
        const char* installPath;
        const char* parentThatStays;  // nullptr: the parent is removed
        std::string notified;
    };
    const Case cases[] = {
        {"C:\\Tools\\Tandrel", "C:\\Tools", "C:\\Tools\\Tandrel"},
        {"C:\\Apps\\Vorsk Software\\Tandrel", "C:\\Apps\\Vorsk Software",
         "C:\\Apps\\Vorsk Software\\Tandrel"},
        // A trailing backslash: the cut yields the folder itself, so the vendor folder stays.
        {"C:\\Apps\\VORSK Software\\Tandrel\\", "C:\\Apps\\VORSK Software",
         "C:\\Apps\\VORSK Software\\Tandrel\\"},
        {"C:\\Apps\\VORSK Software\\Tandrel", nullptr, "C:\\Apps\\VORSK Software\\Tandrel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installPath);
        sim::Machine fresh;
        ProductLayout here;
        here.installFolder = c.installPath;
        if (here.installFolder.back() == '\\') {
            here.installFolder.pop_back();
        }
        InstallProduct(fresh, here);
        fresh.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", c.installPath);
        RunUninstall(fresh, here);
        EXPECT_FALSE(fresh.files.Exists(here.installFolder));
        std::string parent = here.installFolder.substr(0, here.installFolder.rfind('\\'));
        EXPECT_EQ(fresh.files.Exists(parent), c.parentThatStays != nullptr);
        EXPECT_TRUE(fresh.files.IsFolder("C:\\Apps") ||
                    std::string(c.installPath).rfind("C:\\Tools", 0) == 0);
        std::vector<sim::Notification> removed = NotificationsOf(fresh, SHCNE_RMDIR);
        ASSERT_EQ(removed.size(), 1u);
        EXPECT_EQ(removed[0].path, c.notified);
    }
}

TEST_F(CompleteUninstall, EarlierScriptsAreLeftAloneAndTheNextFreeNameIsUsed) {
    InstallProduct(machine, layout);
    for (int n = 1; n <= 3; ++n) {
        machine.files.AddFile(layout.TempFile("delme" + std::to_string(n) + ".bat"),
                              "someone's script " + std::to_string(n));
    }
    Uninstall run = RunUninstall(machine, layout);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(machine.files.FileContent(layout.TempFile("delme" + std::to_string(n) + ".bat")),
                  "someone's script " + std::to_string(n));
    }
    EXPECT_EQ(run.script.script, layout.TempFile("delme4.bat"));
    EXPECT_FALSE(machine.files.Exists(layout.TempFile("delme4.bat")));
    EXPECT_FALSE(machine.files.Exists(layout.TempCopy()));
}

TEST_F(CompleteUninstall, AMachineWideProductKeyWithChildKeysGoesOnlyWhereDeletionTakesTheSubtree) {
    for (sim::KeyDeletion behaviour : {sim::KeyDeletion::Nt, sim::KeyDeletion::Win9x}) {
        bool nt = behaviour == sim::KeyDeletion::Nt;
        SCOPED_TRACE(nt ? "NT" : "9x");
        sim::Machine fresh;
        fresh.registry.SetKeyDeletion(behaviour);
        InstallProduct(fresh, layout);
        fresh.registry.SetString(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\Plugins", "Count", "2");
        RunUninstall(fresh, layout);
        EXPECT_EQ(fresh.registry.HasKey(HKEY_LOCAL_MACHINE, kProductKey), nt);
        EXPECT_EQ(fresh.registry.HasKey(HKEY_LOCAL_MACHINE, kVendorKey), nt);
        EXPECT_FALSE(fresh.registry.HasKey(HKEY_CURRENT_USER, kVendorKey));
        EXPECT_FALSE(fresh.files.Exists(layout.installFolder));
    }
}

TEST_F(CompleteUninstall, AReadOnlyInstalledUninstallerStillEndsWithNothingLeftInTheTemporaryFolder) {
    InstallProduct(machine, layout);
    machine.files.AddFile(layout.InstalledUninstaller(), kUninstallerImage, FILE_ATTRIBUTE_READONLY);
    Uninstall run = RunUninstall(machine, layout);
    EXPECT_TRUE(run.script.finished);
    ExpectTemporaryFolderClean(machine, layout);
    // The installed one is read-only: it stays, and so does its folder.
    EXPECT_TRUE(machine.files.Exists(layout.InstalledUninstaller()));
    EXPECT_EQ(CountCall(machine, "DeleteFileA", layout.InstalledUninstaller()), 51);
}

}  // namespace
