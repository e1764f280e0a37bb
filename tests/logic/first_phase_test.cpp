// The first phase: one confirmation, the product asked to close, the Uninstall entry removed, and the
// hand-over to a copy of the program in the temporary folder.
#include <gtest/gtest.h>

#include "support/installed_product.h"

namespace {

using namespace testing_support;

const std::vector<std::string> kSignificantCalls = {
    "MessageBoxA",   "FindWindowA",        "PostMessageA",  "RegOpenKeyExA",
    "RegDeleteKeyA", "GetModuleFileNameA", "GetTempPathA",  "CreateDirectoryA",
    "CopyFileA",     "SetFileAttributesA", "ShellExecuteA", "DeleteFileA",
};

class FirstPhase : public ::testing::Test {
  protected:
    void SetUp() override { InstallProduct(machine, layout); }

    sim::StartOutcome Run() {
        sim::StartOutcome run = UserStartsUninstaller(machine, layout);
        EXPECT_TRUE(run.ran);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_TRUE(NoHandlesOpen(machine));
        return run;
    }

    bool UninstallEntryListed() const { return machine.registry.HasKey(HKEY_LOCAL_MACHINE, kUninstallEntry); }

    sim::Machine machine;
    ProductLayout layout;
};

TEST_F(FirstPhase, AsksOnceWithTheProductNameAndAQuestionIcon) {
    Run();
    ASSERT_EQ(machine.processes.MessageBoxes().size(), 1u);
    const sim::MessageBoxRecord& box = machine.processes.MessageBoxes()[0];
    EXPECT_EQ(box.text, "This will uninstall VORSK Tandrel 98.");
    EXPECT_EQ(box.caption, "VORSK Tandrel 98");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_FALSE(box.hadOwner);
}

TEST_F(FirstPhase, CancelChangesNothingAtAll) {
    StartProduct(machine, layout);
    Snapshot before = TakeSnapshot(machine);
    machine.processes.AnswerMessageBox(IDCANCEL);
    sim::StartOutcome run = Run();
    EXPECT_TRUE(TakeSnapshot(machine) == before);
    EXPECT_TRUE(machine.processes.PostedMessages().empty());
    EXPECT_TRUE(machine.processes.Starts().empty());
    EXPECT_EQ(CallsOf(machine, run.process, kSignificantCalls),
              std::vector<std::string>{"MessageBoxA This will uninstall VORSK Tandrel 98."});
}

TEST_F(FirstPhase, ABoxThatCannotBeShownIsNoConsent) {
    Snapshot before = TakeSnapshot(machine);
    machine.journal.InjectFault(sim::Fault{"MessageBoxA", 1, ERROR_NOT_ENOUGH_MEMORY});
    Run();
    EXPECT_TRUE(TakeSnapshot(machine) == before);
    EXPECT_TRUE(machine.processes.Starts().empty());
}

TEST_F(FirstPhase, DoesItsStepsInOrderAndHandsOverToTheTemporaryCopy) {
    StartProduct(machine, layout);
    sim::StartOutcome run = Run();
    std::string copy = layout.TempCopy();
    EXPECT_EQ(CallsOf(machine, run.process, kSignificantCalls),
              (std::vector<std::string>{
                  "MessageBoxA This will uninstall VORSK Tandrel 98.",
                  "FindWindowA VorskTandrel",
                  "PostMessageA 16",
                  "RegOpenKeyExA HKLM\\" + std::string(kUninstallKey),
                  "RegDeleteKeyA HKLM\\" + std::string(kUninstallEntry),
                  "GetModuleFileNameA",
                  "GetTempPathA",
                  "CreateDirectoryA " + layout.tempFolder,
                  "CopyFileA " + layout.InstalledUninstaller() + " -> " + copy,
                  "SetFileAttributesA " + copy,
                  "GetTempPathA",
                  "ShellExecuteA " + copy,
              }));
    EXPECT_FALSE(UninstallEntryListed());
    EXPECT_TRUE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\OtherApp"));
    EXPECT_EQ(machine.files.FileContent(copy), kUninstallerImage);

    ASSERT_EQ(machine.processes.Starts().size(), 1u);
    const sim::StartRecord& start = machine.processes.Starts()[0];
    EXPECT_FALSE(start.hadOwner);
    EXPECT_EQ(start.verb, "");
    EXPECT_EQ(start.file, copy);
    EXPECT_EQ(start.parameters, std::optional<std::string>("/internally"));
    EXPECT_EQ(start.directory, std::optional<std::string>(layout.tempFolder));
    EXPECT_EQ(start.show, SW_MINIMIZE);
    EXPECT_TRUE(start.accepted);
    // It deletes no file of the product itself.
    for (const std::string& name : ProductFileNames()) {
        EXPECT_TRUE(machine.files.Exists(layout.installFolder + "\\" + name)) << name;
    }
}

TEST_F(FirstPhase, OnlyTheFirstWindowOfTheProductsClassIsAskedToClose) {
    int product = StartProduct(machine, layout);
    HWND second = machine.processes.AddWindow("VorskTandrel", "Tandrel (2)", product);
    HWND other = machine.processes.AddWindow("OtherClass", "Other", 0);
    Run();
    ASSERT_EQ(machine.processes.PostedMessages().size(), 1u);
    const sim::PostedMessage& posted = machine.processes.PostedMessages()[0];
    EXPECT_NE(posted.window, second);
    EXPECT_NE(posted.window, other);
    EXPECT_EQ(posted.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(posted.wParam, 0u);
    EXPECT_EQ(posted.lParam, 0);
    EXPECT_TRUE(machine.processes.WindowExists(other));
}

TEST_F(FirstPhase, ProductNotRunningIsNoObstacle) {
    Run();
    EXPECT_TRUE(machine.processes.PostedMessages().empty());
    EXPECT_EQ(machine.processes.Starts().size(), 1u);
}

TEST_F(FirstPhase, AFailedCopyIsReportedAndLeavesTheProductUnlisted) {
    machine.journal.InjectFault(sim::Fault{"CopyFileA", 1, ERROR_DISK_FULL});
    Run();
    ASSERT_EQ(machine.processes.MessageBoxes().size(), 2u);
    EXPECT_EQ(machine.processes.MessageBoxes()[1].text, "Can not copy uninstall.exe to TEMP.");
    EXPECT_EQ(machine.processes.MessageBoxes()[1].caption, "VORSK Tandrel 98");
    EXPECT_EQ(machine.processes.MessageBoxes()[1].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_FALSE(UninstallEntryListed());
    EXPECT_TRUE(machine.processes.Starts().empty());
}

TEST_F(FirstPhase, AFailedStartIsReportedAndLeavesTheProductUnlisted) {
    machine.journal.InjectFault(sim::Fault{"ShellExecuteA", 1, 5});
    Run();
    ASSERT_EQ(machine.processes.MessageBoxes().size(), 2u);
    EXPECT_EQ(machine.processes.MessageBoxes()[1].text, "Can not start uninstall.exe in TEMP.");
    EXPECT_EQ(machine.processes.MessageBoxes()[1].caption, "VORSK Tandrel 98");
    EXPECT_EQ(machine.processes.MessageBoxes()[1].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_FALSE(UninstallEntryListed());
}

TEST_F(FirstPhase, UninstallEntryThatCannotBeRemovedIsNoObstacle) {
    machine.registry.DenyKeyDelete(HKEY_LOCAL_MACHINE, kUninstallEntry);
    Run();
    EXPECT_TRUE(UninstallEntryListed());
    EXPECT_EQ(machine.processes.MessageBoxes().size(), 1u);
    EXPECT_EQ(machine.processes.Starts().size(), 1u);
}

TEST_F(FirstPhase, TemporaryFolderWithOrWithoutTrailingBackslashGivesOneCopyDirectlyInIt) {
    for (std::string temp : {"C:\\TEMP", "C:\\TEMP\\"}) {
        SCOPED_TRACE(temp);
        sim::Machine fresh;
        ProductLayout here;
        here.tempFolder = temp;
        InstallProduct(fresh, here);
        UserStartsUninstaller(fresh, here);
        ASSERT_EQ(fresh.processes.Starts().size(), 1u);
        EXPECT_EQ(fresh.processes.Starts()[0].file, "C:\\TEMP\\uninstall.exe");
        // The working folder is the temporary folder exactly as the system reported it.
        EXPECT_EQ(fresh.processes.Starts()[0].directory, std::optional<std::string>(temp));
        EXPECT_TRUE(fresh.files.Exists("C:\\TEMP\\uninstall.exe"));
    }
}

TEST_F(FirstPhase, MissingTemporaryFolderIsCreated) {
    layout.tempFolder = "C:\\Users\\Me\\Temp\\";
    sim::Machine fresh;
    InstallProduct(fresh, layout);
    fresh.files.SetTempPath("C:\\WINDOWS\\NEWTEMP\\");
    UserStartsUninstaller(fresh, layout);
    EXPECT_TRUE(fresh.files.IsFolder("C:\\WINDOWS\\NEWTEMP"));
    EXPECT_TRUE(fresh.files.Exists("C:\\WINDOWS\\NEWTEMP\\uninstall.exe"));
    EXPECT_EQ(fresh.processes.Starts().size(), 1u);
}

TEST_F(FirstPhase, AnExistingCopyIsOverwrittenAndARunningOneIsReported) {
    machine.files.AddFile(layout.TempCopy(), "an old copy");
    Run();
    EXPECT_EQ(machine.files.FileContent(layout.TempCopy()), kUninstallerImage);
    EXPECT_EQ(machine.processes.Starts().size(), 1u);

    // The copy of an earlier attempt still runs: it cannot be overwritten.
    sim::Machine busy;
    InstallProduct(busy, layout);
    busy.files.AddFile(layout.TempCopy(), "an old copy");
    busy.processes.StartBackgroundProcess(layout.TempCopy(), "C:\\WINDOWS\\TEMP");
    UserStartsUninstaller(busy, layout);
    ASSERT_EQ(busy.processes.MessageBoxes().size(), 2u);
    EXPECT_EQ(busy.processes.MessageBoxes()[1].text, "Can not copy uninstall.exe to TEMP.");
    EXPECT_TRUE(busy.processes.Starts().empty());
}

TEST_F(FirstPhase, AReadOnlyUninstallerGivesAWritableCopy) {
    sim::Machine fresh;
    InstallProduct(fresh, layout);
    fresh.files.AddFile(layout.InstalledUninstaller(), kUninstallerImage, FILE_ATTRIBUTE_READONLY);
    UserStartsUninstaller(fresh, layout);
    EXPECT_EQ(fresh.files.Attributes(layout.TempCopy()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(fresh.processes.Starts().size(), 1u);

    // A copy whose attribute cannot be cleared would never be deleted: it is not started.
    sim::Machine stuck;
    InstallProduct(stuck, layout);
    stuck.files.AddFile(layout.InstalledUninstaller(), kUninstallerImage, FILE_ATTRIBUTE_READONLY);
    stuck.journal.InjectFault(sim::Fault{"SetFileAttributesA", 1, ERROR_ACCESS_DENIED});
    UserStartsUninstaller(stuck, layout);
    ASSERT_EQ(stuck.processes.MessageBoxes().size(), 2u);
    EXPECT_EQ(stuck.processes.MessageBoxes()[1].text, "Can not copy uninstall.exe to TEMP.");
    EXPECT_TRUE(stuck.processes.Starts().empty());
}

TEST_F(FirstPhase, StartedFromTheTemporaryFolderItselfTheCopyOntoItselfFails) {
    machine.files.AddFile(layout.TempCopy(), kUninstallerImage);
    machine.processes.RunProgram(&WinMain, layout.TempCopy(), std::nullopt, "C:\\WINDOWS\\TEMP");
    ASSERT_EQ(machine.processes.MessageBoxes().size(), 2u);
    EXPECT_EQ(machine.processes.MessageBoxes()[1].text, "Can not copy uninstall.exe to TEMP.");
    EXPECT_FALSE(UninstallEntryListed());
    EXPECT_TRUE(machine.processes.Starts().empty());
}

TEST_F(FirstPhase, AnOwnPathThatDoesNotFitIsNeverCutIntoAnotherFilesPath) {
    // 270 characters: GetModuleFileNameA can only return it cut, which would name another file.
    std::string deepFolder = "C:\\Apps";
    while (deepFolder.size() < 240) {
        deepFolder += "\\Deep Folder";
    }
    sim::Machine deep;
    InstallProduct(deep, layout);
    deep.files.AddFile(deepFolder + "\\uninstall.exe", kUninstallerImage);
    std::string cut = (deepFolder + "\\uninstall.exe").substr(0, MAX_PATH - 1);
    deep.files.AddFile(cut, "somebody else's file");
    deep.processes.RunProgram(&WinMain, deepFolder + "\\uninstall.exe", std::nullopt, "C:\\");
    EXPECT_FALSE(deep.files.Exists(layout.TempCopy()));
    ASSERT_EQ(deep.processes.MessageBoxes().size(), 2u);
    EXPECT_EQ(deep.processes.MessageBoxes()[1].text, "Can not copy uninstall.exe to TEMP.");
}

TEST_F(FirstPhase, ATemporaryFolderWithNoRoomForTheCopysNameIsACopyFailure) {
    std::string longTemp = "C:\\T";
    while (longTemp.size() < 250) {
        longTemp += "\\temporary";
    }
    longTemp = longTemp.substr(0, 250) + "\\";
    sim::Machine full;
    InstallProduct(full, layout);
    full.files.AddFolder(longTemp);
    full.files.SetTempPath(longTemp);
    UserStartsUninstaller(full, layout);
    ASSERT_EQ(full.processes.MessageBoxes().size(), 2u);
    EXPECT_EQ(full.processes.MessageBoxes()[1].text, "Can not copy uninstall.exe to TEMP.");
    EXPECT_EQ(full.journal.CallCount("CopyFileA"), 0);
}

}  // namespace
