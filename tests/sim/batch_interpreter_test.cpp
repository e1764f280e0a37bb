// The command interpreter that runs the uninstaller's cleanup script, against what cmd.exe does with
// the same lines: labels and goto, del and "if [not] exist", a script that deletes itself, and the
// step limit that turns an endless loop into a report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine.h"
#include "support/product_names.h"

namespace {

const char kTemp[] = "C:\\WINDOWS\\TEMP";
const char kScript[] = "C:\\WINDOWS\\TEMP\\delme1.bat";
const char kCopy[] = "C:\\WINDOWS\\TEMP\\uninstall.exe";

// The wait loop of the cleanup script: delete the copy until it is gone, then the script itself.
std::string WaitLoop(const std::string& target) {
    return product_names::CleanupScriptText(target, kScript);
}

bool Mentions(const std::vector<std::string>& output, const std::string& text) {
    for (const std::string& line : output) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

class BatchInterpreter : public ::testing::Test {
  protected:
    sim::BatchRun Run(const std::string& script) {
        machine.files.AddFile(kScript, script);
        return machine.driver.RunBatch(kScript, kTemp);
    }
    sim::Machine machine;
};

TEST_F(BatchInterpreter, GotoAndIfExistChooseTheLinesThatRun) {
    machine.files.AddFile("C:\\Data\\present.txt");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        machine.files.AddFile(std::string("C:\\Data\\") + name);
    }
    sim::BatchRun run =
        Run("@echo off\r\n"
            "rem a remark deletes nothing: del \"C:\\Data\\a.txt\"\r\n"
            "if exist \"C:\\Data\\present.txt\" goto found\r\n"
            "del \"C:\\Data\\a.txt\"\r\n"
            ":found\r\n"
            "if not exist \"C:\\Data\\missing.txt\" del \"C:\\Data\\b.txt\"\r\n"
            "if not exist \"C:\\Data\\present.txt\" del \"C:\\Data\\c.txt\"\r\n"
            "if exist \"C:\\Data\\missing.txt\" goto found\r\n"
            "ERASE \"c:\\data\\D.TXT\"\r\n"
            "goto :eof\r\n"
            "del \"C:\\Data\\a.txt\"\r\n");
    EXPECT_TRUE(run.finished);
    EXPECT_FALSE(run.stepLimitReached);
    EXPECT_EQ(machine.files.FolderEntries("C:\\Data"),
              (std::vector<std::string>{"a.txt", "c.txt", "present.txt"}));
    EXPECT_EQ(run.output, std::vector<std::string>{});
    EXPECT_EQ(run.steps, 8);
}

TEST_F(BatchInterpreter, TheWaitLoopEndsOnceTheHoldIsReleasedAndTheScriptDeletesItself) {
    machine.files.AddFile(kCopy, "MZ");
    machine.files.LockFile(kCopy, ERROR_ACCESS_DENIED, 300);  // the second process exits at 300 ms
    sim::BatchRun run = Run(WaitLoop(kCopy));
    EXPECT_TRUE(run.finished);
    EXPECT_FALSE(run.stepLimitReached);
    EXPECT_FALSE(machine.files.Exists(kCopy));
    EXPECT_FALSE(machine.files.Exists(kScript));
    // Every line costs time: the loop went round until the clock passed the release.
    EXPECT_GE(machine.clock.Now(), 300u);
    EXPECT_LT(machine.clock.Now(), 310u);
    EXPECT_GT(run.steps, 300 / 3);
    EXPECT_EQ(run.output.back(), "The batch file cannot be found.");
    EXPECT_FALSE(machine.processes.ProcessRunning(run.process));
    ASSERT_EQ(machine.driver.BatchRuns().size(), 1u);
    EXPECT_EQ(machine.driver.BatchRuns()[0].steps, run.steps);
}

TEST_F(BatchInterpreter, ALoopOnAFileThatCannotGoHitsTheStepLimit) {
    machine.files.AddFile(kCopy, "MZ", FILE_ATTRIBUTE_READONLY);  // del without /f leaves it
    machine.driver.SetBatchStepLimit(500);
    machine.driver.SetBatchLineCost(2);
    sim::BatchRun run = Run(WaitLoop(kCopy));
    EXPECT_TRUE(run.stepLimitReached);
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(run.steps, 500);
    EXPECT_EQ(machine.clock.Now(), 1000u);
    EXPECT_TRUE(machine.files.Exists(kCopy));
    EXPECT_TRUE(machine.files.Exists(kScript));
    EXPECT_TRUE(Mentions(run.output, "Access is denied."));
    EXPECT_FALSE(machine.processes.ProcessRunning(run.process));  // the report ends the interpreter too
}

TEST_F(BatchInterpreter, AScriptThatDeletesItselfStopsAtOnce) {
    machine.files.AddFile("C:\\Data\\after.txt");
    sim::BatchRun run = Run(std::string("del \"") + kScript + "\"\r\ndel \"C:\\Data\\after.txt\"\r\n");
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.steps, 1);
    EXPECT_EQ(run.output, std::vector<std::string>{"The batch file cannot be found."});
    EXPECT_TRUE(machine.files.Exists("C:\\Data\\after.txt"));
}

TEST_F(BatchInterpreter, AnUnterminatedQuoteNamingAFolderDeletesItsFiles) {
    // A script cut short right after the folder's path.
    for (const char* name : {"one.txt", "two.exe", "setup.log"}) {
        machine.files.AddFile(std::string(kTemp) + "\\" + name, name);
    }
    machine.files.AddFile("C:\\WINDOWS\\TEMP\\keep.txt", "ro", FILE_ATTRIBUTE_READONLY);
    machine.files.AddFile("C:\\WINDOWS\\TEMP\\Sub\\inner.txt");
    sim::BatchRun run = Run("@echo off\r\ndel \"C:\\WINDOWS\\TEMP");
    EXPECT_EQ(machine.files.FolderEntries(kTemp), (std::vector<std::string>{"keep.txt", "Sub"}));
    EXPECT_TRUE(machine.files.Exists("C:\\WINDOWS\\TEMP\\Sub\\inner.txt"));
    EXPECT_TRUE(Mentions(run.output, "Access is denied."));
    EXPECT_TRUE(Mentions(run.output, "The batch file cannot be found."));  // it went with the rest
}

TEST_F(BatchInterpreter, GotoAMissingLabelEndsTheScript) {
    machine.files.AddFile("C:\\Data\\stays.txt");
    sim::BatchRun run = Run("@echo off\r\ngoto nowhere\r\n:nowhere2\r\ndel \"C:\\Data\\stays.txt\"\r\n");
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.steps, 2);
    EXPECT_TRUE(machine.files.Exists("C:\\Data\\stays.txt"));
    EXPECT_TRUE(Mentions(run.output, "The system cannot find the batch label specified - nowhere"));
}

}  // namespace
