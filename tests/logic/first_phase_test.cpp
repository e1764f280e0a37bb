// The first phase: one confirmation, the product asked to close, the Uninstall entry removed, and the
// hand-over to a copy of the program in the temporary folder.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/handles.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

class FirstPhase : public ::testing::Test {
  protected:
    void SetUp() override { InstallProduct(machine, layout); }

    sim::StartOutcome Run() {
        sim::StartOutcome run = UserStartsUninstaller(machine, layout);
        EXPECT_TRUE(run.ran);
        copyRun = RunCopyThatTakesOver(machine);
        EXPECT_FALSE(machine.driver.Waiting(run.process));
        EXPECT_EQ(machine.processes.GetProcess(run.process).exitStatus, 1);
        EXPECT_TRUE(NoHandlesOpen(machine));
        return run;
    }

    bool UninstallEntryListed() const { return machine.registry.HasKey(HKEY_LOCAL_MACHINE, kUninstallEntry); }

    sim::Machine machine;
    ProductLayout layout;
    sim::StartOutcome copyRun;
};

TEST_F(FirstPhase, AsksOnceWithTheProductNameAndAQuestionIcon) {
    Run();
    ASSERT_EQ(machine.desktop.MessageBoxes().size(), 1u);
    const sim::MessageBoxRecord& box = machine.desktop.MessageBoxes()[0];
    EXPECT_EQ(box.text, kConfirmationText);
    EXPECT_EQ(box.caption, kProductName);
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_FALSE(box.hadOwner);
}

TEST(FirstPhaseConsent, WithoutAnOkNothingChangesAtAll) {
    for (bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "cancelled" : "a box that cannot be shown is no consent");
        sim::Machine machine;
        ProductLayout layout;
        InstallProduct(machine, layout);
        StartProduct(machine, layout);
        Snapshot before = TakeSnapshot(machine);
        if (shown) {
            machine.desktop.AnswerMessageBox(IDCANCEL);
        } else {
            machine.journal.InjectFault(sim::Fault{"MessageBoxA", 1, ERROR_NOT_ENOUGH_MEMORY});
        }
        EXPECT_EQ(UserStartsUninstaller(machine, layout).exitStatus, 1);
        EXPECT_TRUE(TakeSnapshot(machine) == before);
        EXPECT_EQ(machine.desktop.MessageBoxes().size(), shown ? 1u : 0u);
        EXPECT_TRUE(machine.desktop.PostedMessages().empty());
        EXPECT_TRUE(machine.shell.Starts().empty());
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST_F(FirstPhase, UnlistsTheProductAndHandsOverToAWritableCopyInTheTemporaryFolder) {
    StartProduct(machine, layout);
    // Installed from a CD, say, and an old copy of an earlier attempt is in the way.
    machine.files.AddFile(layout.InstalledUninstaller(), kUninstallerImage, FILE_ATTRIBUTE_READONLY);
    machine.files.AddFile(layout.TempCopy(), "an old copy");
    Snapshot before = TakeSnapshot(machine);
    Run();
    const std::string copy = layout.TempCopy();
    EXPECT_FALSE(UninstallEntryListed());
    EXPECT_EQ(machine.files.FileContent(copy), kUninstallerImage);
    EXPECT_EQ(machine.files.Attributes(copy) & FILE_ATTRIBUTE_READONLY, 0u);
    // Nothing else changes: the product's files and keys are the second phase's.
    Snapshot after = TakeSnapshot(machine);
    EXPECT_EQ(after.files.size(), before.files.size());
    EXPECT_EQ(after.userKeys, before.userKeys);
    EXPECT_EQ(after.machineKeys.size(), before.machineKeys.size() - 1);

    ASSERT_EQ(machine.shell.Starts().size(), 1u);
    const sim::StartRecord& start = machine.shell.Starts()[0];
    EXPECT_FALSE(start.hadOwner);
    EXPECT_EQ(start.verb, "");
    EXPECT_EQ(start.file, copy);
    EXPECT_EQ(start.parameters, std::optional<std::string>(kSecondPhaseSwitch));
    EXPECT_EQ(start.directory, std::optional<std::string>(layout.tempFolder));
    EXPECT_EQ(start.show, SW_MINIMIZE);
    EXPECT_TRUE(start.accepted);
    // Unlisted only once the copy has taken over: until then the user may need the entry to try again.
    const std::vector<sim::CallRecord>& journal = machine.journal.Calls();
    int unlisted = FirstCallAt(machine, "RegDeleteKeyA", "HKLM\\" + std::string(kUninstallEntry));
    ASSERT_GE(unlisted, 0);
    EXPECT_TRUE(std::any_of(journal.begin(), journal.begin() + unlisted,
                            [this](const sim::CallRecord& call) { return call.process == copyRun.process; }));
}

// Each running instance has a main window of the class; a window of another class is left alone.
TEST_F(FirstPhase, EveryWindowOfTheProductsClassIsAskedToClose) {
    StartProduct(machine, layout);
    int second = StartProduct(machine, layout);
    HWND other = machine.desktop.AddWindow("OtherClass", "Other", 0);
    HWND secondsOther = machine.desktop.AddWindow("OtherClass", "Tandrel", second);
    Run();
    ASSERT_EQ(machine.desktop.PostedMessages().size(), 2u);
    for (const sim::PostedMessage& posted : machine.desktop.PostedMessages()) {
        EXPECT_NE(posted.window, other);
        EXPECT_NE(posted.window, secondsOther);
        EXPECT_EQ(posted.message, static_cast<UINT>(WM_CLOSE));
        EXPECT_EQ(posted.wParam, 0u);
        EXPECT_EQ(posted.lParam, 0);
    }
    EXPECT_NE(machine.desktop.PostedMessages()[0].window, machine.desktop.PostedMessages()[1].window);
    EXPECT_TRUE(machine.desktop.WindowExists(other));
}

TEST_F(FirstPhase, UninstallEntryThatCannotBeRemovedIsNoObstacle) {
    machine.registry.DenyKeyDelete(HKEY_LOCAL_MACHINE, kUninstallEntry);
    Run();
    EXPECT_TRUE(UninstallEntryListed());
    EXPECT_EQ(machine.desktop.MessageBoxes().size(), 1u);
    EXPECT_EQ(machine.shell.Starts().size(), 1u);
}

// Ordinary machines: a RAM disk that TEMP names, a user name outside the code page whose temporary
// folder has an exact short form (which is then used), a TEMP just short enough for the copy's name.
TEST(FirstPhaseTemporaryFolder, TheCopyGoesDirectlyIntoTheFolderAndStartsThereAsReported) {
    struct Case {
        std::string reported;  // by GetTempPathA
        bool exists;
        std::string used;  // the folder the copy goes into and starts in
        const char16_t* wide = nullptr;
    };
    const std::string longTemp = "C:\\" + std::string(237, 't') + "\\";
    for (const Case& c : {Case{"C:\\TEMP", true, "C:\\TEMP"}, Case{"C:\\TEMP\\", true, "C:\\TEMP\\"},
                          Case{"C:\\WINDOWS\\NEWTEMP\\", false, "C:\\WINDOWS\\NEWTEMP\\"},
                          Case{"R:\\", true, "R:\\"}, Case{longTemp, true, longTemp},
                          Case{"C:\\Users\\Lukasz\\Temp\\", true, "C:\\Users\\_UKA~1\\Temp\\",
                               u"C:\\Users\\\u0141ukasz\\Temp\\"}}) {
        SCOPED_TRACE(c.reported);
        sim::Machine machine;
        ProductLayout layout;
        InstallProduct(machine, layout);
        machine.files.AddDrive("R:");
        machine.files.SetTempPath(c.reported);
        if (c.exists) {
            machine.files.AddFolder(c.used);
        }
        if (c.wide != nullptr) {
            machine.files.SetTempPathWide(c.wide);
            machine.files.SetShortPath(c.wide, c.used);
        }
        UserStartsUninstaller(machine, layout);
        const std::string copy = c.used + (c.used.back() == '\\' ? "" : "\\") + kUninstallerName;
        EXPECT_EQ(machine.files.FileContent(copy), kUninstallerImage);
        ASSERT_EQ(machine.shell.Starts().size(), 1u);
        EXPECT_EQ(machine.shell.Starts()[0].file, copy);
        EXPECT_EQ(machine.shell.Starts()[0].directory, std::optional<std::string>(c.used));
    }
}

// A temporary folder the machine reports, where somebody else's uninstall.exe lies.
void TempFolderWithSomebodysUninstaller(sim::Machine& machine, const std::string& folder) {
    machine.files.AddFile(folder + "\\" + kUninstallerName, "somebody else's program");
    machine.files.SetTempPath(folder + "\\");
}

// A hand-over that cannot be made whole is reported, nothing is started, and the product stays
// listed: the user can try again from the list of installed programs. A temporary folder that is not
// one is refused before anything changes; nothing of a failed copy stays in the temporary folder.
struct HandOverFailure {
    const char* name;
    // Prepares the machine; returns the uninstaller the user starts.
    std::string (*prepare)(sim::Machine& machine, const ProductLayout& layout);
    const char* copyAfter;  // the temporary copy's content afterwards; nullptr: none
    std::string message;
    bool productAsked;  // to close: only when the copy is there and its start fails
};
const HandOverFailure kHandOverFailures[] = {
    {"the copy fails",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.journal.InjectFault(sim::Fault{"CopyFileA", 1, ERROR_DISK_FULL});
         return layout.InstalledUninstaller();
     },
     nullptr, kCopyFailedText, false},
    {"the disk fills up during the copy",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.journal.InjectFault(sim::Fault{"CopyFileA", 1, ERROR_DISK_FULL, 8});
         return layout.InstalledUninstaller();
     },
     nullptr, kCopyFailedText, false},
    {"the copy of an earlier attempt still runs",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.files.AddFile(layout.TempCopy(), "an old copy");
         machine.processes.StartBackgroundProcess(layout.TempCopy(), "C:\\WINDOWS\\TEMP");
         return layout.InstalledUninstaller();
     },
     "an old copy", kCopyFailedText, false},
    // A copy that stays read-only would never be deleted by the cleanup script; nor can it be here.
    {"the read-only copy cannot be made writable",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.files.AddFile(layout.InstalledUninstaller(), kUninstallerImage, FILE_ATTRIBUTE_READONLY);
         machine.journal.InjectFault(sim::Fault{"SetFileAttributesA", 1, ERROR_ACCESS_DENIED});
         return layout.InstalledUninstaller();
     },
     kUninstallerImage, kCopyFailedText, false},
    {"started from the temporary folder, the copy would be itself",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.files.AddFile(layout.TempCopy(), kUninstallerImage);
         return layout.TempCopy();
     },
     kUninstallerImage, kCopyFailedText, false},
    // GetModuleFileNameA can only return a path of 270 characters cut, naming another file.
    {"its own path does not fit",
     [](sim::Machine& machine, const ProductLayout&) {
         std::string own = "C:\\Apps";
         while (own.size() < 240) {
             own += "\\Deep Folder";
         }
         own += "\\uninstall.exe";
         machine.files.AddFile(own, kUninstallerImage);
         machine.files.AddFile(own.substr(0, MAX_PATH - 1), "somebody else's file");
         return own;
     },
     nullptr, kCopyFailedText, false},
    {"the temporary folder has no room for the copy's name",
     [](sim::Machine& machine, const ProductLayout& layout) {
         std::string longTemp = "C:\\T";
         while (longTemp.size() < 250) {
             longTemp += "\\temporary";
         }
         longTemp = longTemp.substr(0, 250) + "\\";
         machine.files.AddFolder(longTemp);
         machine.files.SetTempPath(longTemp);
         return layout.InstalledUninstaller();
     },
     nullptr, kCopyFailedText, false},
    {"the start fails",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.journal.InjectFault(sim::Fault{"ShellExecuteA", 1, 5});
         return layout.InstalledUninstaller();
     },
     nullptr, kStartFailedText, true},
    // The shell would start C:\T\User\uninstall.exe, somebody else's: nothing is copied or started,
    // and the missing folder is not made either.
    {"the temporary folder's name holds a variable",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.files.SetTempPath("C:\\T\\%USERNAME%\\");
         machine.files.AddFile(std::string("C:\\T\\User\\") + kUninstallerName, "somebody else's program");
         return layout.InstalledUninstaller();
     },
     nullptr, kStartFailedText, false},
    // The loader would take these for the copy's manifest or as leave to load DLLs from beside it.
    {"a manifest lies where the copy would go",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.files.AddFile(layout.TempCopy() + ".manifest", "<assembly/>");
         return layout.InstalledUninstaller();
     },
     nullptr, kStartFailedText, false},
    {"a .local folder lies where the copy would go",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.files.AddFolder(layout.TempCopy() + ".local");
         return layout.InstalledUninstaller();
     },
     nullptr, kStartFailedText, false},
    // Folders that are no temporary folder: somebody else's uninstall.exe there is never touched.
    {"TEMP is a drive root",
     [](sim::Machine& machine, const ProductLayout& layout) {
         TempFolderWithSomebodysUninstaller(machine, "C:");
         return layout.InstalledUninstaller();
     },
     "somebody else's program", kCopyFailedText, false},
    {"TEMP is relative",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.files.SetTempPath("Temp\\");
         return layout.InstalledUninstaller();
     },
     nullptr, kCopyFailedText, false},
    {"TEMP is the Windows folder",
     [](sim::Machine& machine, const ProductLayout& layout) {
         TempFolderWithSomebodysUninstaller(machine, "c:\\windows");
         return layout.InstalledUninstaller();
     },
     "somebody else's program", kCopyFailedText, false},
    {"no TEMP or TMP: the user's profile folder",
     [](sim::Machine& machine, const ProductLayout& layout) {
         machine.shell.SetVariable("USERPROFILE", "C:\\Users\\Lukasz");
         TempFolderWithSomebodysUninstaller(machine, "C:\\USERS\\LUKASZ");
         return layout.InstalledUninstaller();
     },
     "somebody else's program", kCopyFailedText, false},
    // C:\Users\Łukasz\Temp reads as another user's C:\Users\Lukasz\Temp in code page 1252.
    {"TEMP has a character the ANSI code page lacks",
     [](sim::Machine& machine, const ProductLayout& layout) {
         TempFolderWithSomebodysUninstaller(machine, "C:\\Users\\Lukasz\\Temp");
         machine.files.SetTempPathWide(u"C:\\Users\\\u0141ukasz\\Temp\\");
         return layout.InstalledUninstaller();
     },
     "somebody else's program", kCopyFailedText, false},
};

TEST(FirstPhaseHandOver, ARefusalOrAFailureBeforeTheStartLeavesTheProductListed) {
    for (const HandOverFailure& c : kHandOverFailures) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        ProductLayout layout;
        InstallProduct(machine, layout);
        StartProduct(machine, layout);
        const std::string image = c.prepare(machine, layout);
        const std::vector<std::string> tempBefore = machine.files.FolderEntries(machine.files.TempPath());
        Snapshot before = TakeSnapshot(machine);

        machine.driver.RunProgram(&WinMain, image, std::nullopt, image.substr(0, image.rfind('\\')));

        ASSERT_EQ(machine.desktop.MessageBoxes().size(), 2u);
        EXPECT_EQ(machine.desktop.MessageBoxes()[1].text, c.message);
        EXPECT_EQ(machine.desktop.MessageBoxes()[1].caption, kProductName);
        EXPECT_EQ(machine.desktop.MessageBoxes()[1].type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_TRUE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, kUninstallEntry));
        EXPECT_EQ(machine.desktop.PostedMessages().empty(), !c.productAsked);
        if (c.copyAfter == nullptr) {
            EXPECT_TRUE(TakeSnapshot(machine) == before);
        }
        for (const sim::StartRecord& start : machine.shell.Starts()) {
            EXPECT_FALSE(start.accepted) << start.file;
        }
        const std::string copy = machine.files.TempPath() + kUninstallerName;
        EXPECT_EQ(machine.files.Exists(copy), c.copyAfter != nullptr);
        if (c.copyAfter != nullptr) {
            EXPECT_EQ(machine.files.FileContent(copy), c.copyAfter);
        }
        // No file appears in the temporary folder under any other name (a cut one, say).
        for (const std::string& name : machine.files.FolderEntries(machine.files.TempPath())) {
            EXPECT_TRUE(name == kUninstallerName ||
                        std::find(tempBefore.begin(), tempBefore.end(), name) != tempBefore.end())
                << name;
        }
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

}  // namespace
