// Which phase a process runs is decided by the switch anywhere in its whole command line.
#include <gtest/gtest.h>

#include "sim/in_process.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

// The first phase opens with the confirmation box; the second never asks.
bool RanFirstPhase(const sim::Machine& machine) {
    return !machine.desktop.MessageBoxes().empty() &&
           machine.desktop.MessageBoxes()[0].type == (MB_OKCANCEL | MB_ICONQUESTION);
}

struct Launch {
    const char* name;
    std::string image;
    std::optional<std::string> parameters;
    bool secondPhase;
};

TEST(PhaseSelection, TheSwitchIsPlainCaseSensitiveTextAnywhereInTheCommandLine) {
    const std::vector<Launch> launches = {
        {"no arguments", "C:\\Apps\\uninstall.exe", std::nullopt, false},
        {"the switch", "C:\\Apps\\uninstall.exe", kSecondPhaseSwitch, true},
        {"in capitals", "C:\\Apps\\uninstall.exe", "/INTERNALLY", false},
        {"with a hyphen", "C:\\Apps\\uninstall.exe", "-internally", false},
        {"inside other text", "C:\\Apps\\uninstall.exe", "x/internallyx", true},
        {"as a second argument", "C:\\Apps\\uninstall.exe", "/quiet /internally", true},
        {"cut short", "C:\\Apps\\uninstall.exe", "/internal", false},
        {"in the program path", "C:\\Apps/internally\\uninstall.exe", std::nullopt, true},
    };
    for (const Launch& launch : launches) {
        SCOPED_TRACE(launch.name);
        sim::Machine machine;
        machine.files.AddFile("C:\\Apps\\internally\\uninstall.exe", kUninstallerImage);
        machine.files.AddFile("C:\\Apps\\uninstall.exe", kUninstallerImage);
        machine.desktop.AnswerMessageBox(IDCANCEL);
        sim::StartOutcome run =
            machine.driver.RunProgram(&WinMain, launch.image, launch.parameters, "C:\\Apps");
        ASSERT_TRUE(run.ran);
        EXPECT_EQ(RanFirstPhase(machine), !launch.secondPhase);
        EXPECT_EQ(run.exitStatus, 1);
    }
}

// "/S" as a word of its own, in any letter case, makes the run unattended: no box at all, and an exit
// status in the codes of the system's installer. Here the temporary folder is refused (the drive
// root), so an unattended first phase ends at once with ERROR_INSTALL_FAILURE, changing nothing; one
// that finds another uninstall under way says ERROR_INSTALL_ALREADY_RUNNING.
TEST(PhaseSelection, SlashSAsAWordOfItsOwnMakesTheRunUnattended) {
    struct Case {
        const char* name;
        std::string image;
        std::optional<std::string> parameters;
        bool silent;
        bool underWay;
    };
    const std::vector<Case> cases = {
        {"the switch", "C:\\Apps\\uninstall.exe", kSilentSwitch, true, false},
        {"in small letters, after another", "C:\\Apps\\uninstall.exe", "/x /s", true, false},
        {"another uninstall under way", "C:\\Apps\\uninstall.exe", kSilentSwitch, true, true},
        {"a longer word", "C:\\Apps\\uninstall.exe", "/Silent", false, false},
        {"inside other text", "C:\\Apps\\uninstall.exe", "x/S", false, false},
        {"in the program path", "C:\\Apps /S\\uninstall.exe", std::nullopt, false, false},
        {"another uninstall under way, attended", "C:\\Apps\\uninstall.exe", std::nullopt, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        InstallProduct(machine);
        machine.files.AddFile("C:\\Apps\\uninstall.exe", kUninstallerImage);
        machine.files.AddFile("C:\\Apps /S\\uninstall.exe", kUninstallerImage);
        machine.files.SetTempPath("C:\\");
        if (c.underWay) {
            sim_testing::RunAsProcess(
                machine, "C:\\Apps\\uninstall.exe", "C:\\Apps",
                [](LPSTR) { return CreateMutexA(nullptr, FALSE, kUninstallMutex) != nullptr; }, std::nullopt,
                sim::ProcessOptions{60000});
        }
        Snapshot before = TakeSnapshot(machine);
        machine.desktop.AnswerMessageBox(IDOK);
        sim::StartOutcome run = machine.driver.RunProgram(&WinMain, c.image, c.parameters, "C:\\Apps");
        ASSERT_TRUE(run.ran);
        size_t boxes = c.silent || c.underWay ? 0u : 2u;  // the confirmation, the refused copy
        EXPECT_EQ(machine.desktop.MessageBoxes().size(), boxes);
        int status = !c.silent ? 1 : c.underWay ? ERROR_INSTALL_ALREADY_RUNNING : ERROR_INSTALL_FAILURE;
        EXPECT_EQ(run.exitStatus, status);
        EXPECT_TRUE(TakeSnapshot(machine) == before);
    }
}

}  // namespace
