// cmd.exe expands "%" in every line of a batch file before it runs the line; a path with a percent
// sign written into a script can therefore name another file than the one meant.
#include <gtest/gtest.h>

#include <string>

#include "machine.h"

namespace {

const char kScript[] = "C:\\WINDOWS\\TEMP\\delme1.bat";

sim::BatchRun RunLine(sim::Machine& machine, const std::string& line) {
    machine.files.AddFile(kScript, "@echo off\r\n" + line + "\r\n");
    return machine.driver.RunBatch(kScript, "C:\\WINDOWS\\TEMP");
}

TEST(BatchPercents, AnUnsetVariableExpandsToNothing) {
    sim::Machine machine;
    machine.files.AddFile("C:\\Temp\\uninstall.exe", "somebody else's");
    machine.files.AddFile("C:\\Temp%X%\\uninstall.exe", "the copy");
    RunLine(machine, "del \"C:\\Temp%X%\\uninstall.exe\"");
    EXPECT_FALSE(machine.files.Exists("C:\\Temp\\uninstall.exe"));
    EXPECT_TRUE(machine.files.Exists("C:\\Temp%X%\\uninstall.exe"));
}

TEST(BatchPercents, ALonePercentSignIsDroppedAndADoubleOneIsKept) {
    sim::Machine machine;
    machine.files.AddFile("C:\\100\\a.txt", "somebody else's");
    machine.files.AddFile("C:\\100%\\b.txt", "b");
    RunLine(machine, "del \"C:\\100%\\a.txt\"");
    EXPECT_FALSE(machine.files.Exists("C:\\100\\a.txt"));
    RunLine(machine, "del \"C:\\100%%\\b.txt\"");
    EXPECT_FALSE(machine.files.Exists("C:\\100%\\b.txt"));
}

TEST(BatchPercents, TempAndTheScriptsOwnNameExpand) {
    sim::Machine machine;
    machine.files.AddFile("C:\\WINDOWS\\TEMP\\old.txt", "old");
    RunLine(machine, "del \"%TEMP%\\old.txt\"");
    EXPECT_FALSE(machine.files.Exists("C:\\WINDOWS\\TEMP\\old.txt"));

    sim::BatchRun run = RunLine(machine, "del %0");
    EXPECT_FALSE(machine.files.Exists(kScript));
    EXPECT_TRUE(run.finished);
}

}  // namespace
