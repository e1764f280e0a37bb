// Which phase a process runs is decided by the switch anywhere in its whole command line.
#include <gtest/gtest.h>

#include "support/installed_product.h"

namespace {

using namespace testing_support;

// The first phase opens with the confirmation box; the second never asks.
bool RanFirstPhase(const sim::Machine& machine) {
    return !machine.processes.MessageBoxes().empty() &&
           machine.processes.MessageBoxes()[0].type == (MB_OKCANCEL | MB_ICONQUESTION);
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
        {"the switch", "C:\\Apps\\uninstall.exe", "/internally", true},
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
        machine.processes.AnswerMessageBox(IDCANCEL);
        sim::StartOutcome run =
            machine.processes.RunProgram(&WinMain, launch.image, launch.parameters, "C:\\Apps");
        ASSERT_TRUE(run.ran);
        EXPECT_EQ(RanFirstPhase(machine), !launch.secondPhase);
        EXPECT_EQ(run.exitStatus, 1);
    }
}

}  // namespace
