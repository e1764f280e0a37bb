// The cleanup script: its exact bytes, its name, how it is started, and why a script that was not
// written whole, or could not name its files whole, is never started.
#include <gtest/gtest.h>

#include "files/file_tasks.h"
#include "support/handles.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

const std::string kTemp = kDefaultTempFolder;

std::string ScriptName(int number) {
    return "delme" + std::to_string(number) + ".bat";
}

// A temporary folder as the second phase finds it: its copy of the uninstaller, which is the program
// running the task, and someone's file.
void PrepareTemporaryFolder(sim::Machine& machine, const std::string& folder) {
    machine.files.SetTempPath(folder);
    machine.files.AddFolder(folder);
    std::string withBackslash = folder.back() == '\\' ? folder : folder + "\\";
    machine.files.AddFile(withBackslash + kUninstallerName, kUninstallerImage);
    machine.files.AddFile(withBackslash + "setup.log", "someone's log");
    machine.processes.CurrentProcess().image = withBackslash + kUninstallerName;
}

// How much of the script comes before the temporary folder's path ends in its first "del" line.
size_t LengthUpToTheFirstFolderPath(const std::string& folder) {
    return std::string(kCleanupScriptStart).size() + folder.size();
}

TEST(WriteCleanupScript, WritesTheScriptByteForByteAndStartsItHidden) {
    sim::Machine machine;
    PrepareTemporaryFolder(machine, kTemp);

    WriteCleanupScript();

    const std::string script = kTemp + ScriptName(1);
    const std::string expected = ExpectedCleanupScript(kTemp, 1);
    EXPECT_EQ(machine.files.FileContent(script), expected);
    EXPECT_EQ(machine.files.FileContent(script).find('\0'), std::string::npos);
    EXPECT_EQ(CountCall(machine, "WriteFile", std::to_string(expected.size())), 1);
    EXPECT_EQ(machine.journal.CallCount("WriteFile"), 1);
    ASSERT_EQ(machine.shell.Starts().size(), 1u);
    const sim::StartRecord& start = machine.shell.Starts()[0];
    EXPECT_EQ(start.verb, "");
    EXPECT_EQ(start.file, script);
    EXPECT_EQ(start.parameters, std::nullopt);
    EXPECT_EQ(start.directory, std::optional<std::string>(kTemp));
    EXPECT_EQ(start.show, SW_HIDE);
    EXPECT_FALSE(start.hadOwner);
    EXPECT_TRUE(start.accepted);
    EXPECT_TRUE(NoHandlesOpen(machine));
}

// The script names the folder as the command interpreter reads it: with one backslash after it, each
// '%' doubled, in the OEM code page (é is 0xE9 in ANSI, 0x82 in OEM); the start gets it as reported.
TEST(WriteCleanupScript, ScriptLinesNameTheFolderAsTheInterpreterReadsItAndTheStartGetsItAsReported) {
    struct Case {
        std::string reported;
        std::string written;
    };
    const std::vector<Case> cases = {
        {"C:\\WINDOWS\\TEMP", "C:\\WINDOWS\\TEMP\\"},
        {"C:\\WINDOWS\\TEMP\\", "C:\\WINDOWS\\TEMP\\"},
        {"C:\\Users\\Anna Berg\\Local Settings\\Temp", "C:\\Users\\Anna Berg\\Local Settings\\Temp\\"},
        {"C:\\TEMP%\\", "C:\\TEMP%%\\"},
        {"C:\\Users\\%NOT SET%\\Temp\\", "C:\\Users\\%%NOT SET%%\\Temp\\"},
        {"C:\\Users\\Jos\xE9\\Temp", "C:\\Users\\Jos\x82\\Temp\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reported);
        sim::Machine machine;
        PrepareTemporaryFolder(machine, c.reported);
        const std::string folder = c.reported.back() == '\\' ? c.reported : c.reported + "\\";

        WriteCleanupScript();

        EXPECT_EQ(machine.files.FileContent(folder + ScriptName(1)), ExpectedCleanupScript(c.written, 1));
        ASSERT_EQ(machine.shell.Starts().size(), 1u);
        EXPECT_EQ(machine.shell.Starts()[0].file, folder + ScriptName(1));
        EXPECT_EQ(machine.shell.Starts()[0].directory, std::optional<std::string>(c.reported));
    }
}

TEST(WriteCleanupScript, TakesTheFirstFreeNameUpTo200AndLeavesTakenOnesAlone) {
    struct Case {
        int taken;
        int used;  // 0: none
    };
    for (const Case& c : {Case{3, 4}, Case{199, 200}, Case{200, 0}}) {
        SCOPED_TRACE(c.taken);
        sim::Machine machine;
        PrepareTemporaryFolder(machine, kTemp);
        for (int n = 1; n <= c.taken; ++n) {
            machine.files.AddFile(kTemp + ScriptName(n), "earlier script " + std::to_string(n));
        }

        WriteCleanupScript();

        for (int n = 1; n <= c.taken; ++n) {
            EXPECT_EQ(machine.files.FileContent(kTemp + ScriptName(n)), "earlier script " + std::to_string(n))
                << n;
        }
        EXPECT_EQ(machine.journal.CallCount("CreateFileA"), c.used == 0 ? 200 : c.used);
        EXPECT_FALSE(machine.files.Exists(kTemp + ScriptName(201)));
        if (c.used == 0) {
            EXPECT_TRUE(machine.shell.Starts().empty());
            EXPECT_EQ(machine.journal.CallCount("WriteFile"), 0);
        } else {
            EXPECT_EQ(machine.files.FileContent(kTemp + ScriptName(c.used)),
                      ExpectedCleanupScript(kTemp, c.used));
            ASSERT_EQ(machine.shell.Starts().size(), 1u);
            EXPECT_EQ(machine.shell.Starts()[0].file, kTemp + ScriptName(c.used));
        }
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(WriteCleanupScript, AScriptNotWrittenWholeIsDeletedAndNeverStarted) {
    const size_t whole = ExpectedCleanupScript(kTemp, 1).size();
    const int cut = static_cast<int>(LengthUpToTheFirstFolderPath(kTemp));
    struct Case {
        const char* name;
        int partialBytes;  // -1: nothing written
        DWORD error;
        bool started;
    };
    const std::vector<Case> cases = {
        {"nothing written, success reported", 0, 0, false},
        {"cut after the folder path, success reported", cut, 0, false},
        {"one byte short, success reported", static_cast<int>(whole) - 1, 0, false},
        {"cut after the folder path, disk full", cut, ERROR_DISK_FULL, false},
        {"nothing written, disk full", -1, ERROR_DISK_FULL, false},
        {"whole", static_cast<int>(whole), 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        PrepareTemporaryFolder(machine, kTemp);
        machine.journal.InjectFault(sim::Fault{"WriteFile", 1, c.error, c.partialBytes});

        WriteCleanupScript();

        EXPECT_EQ(machine.files.Exists(kTemp + ScriptName(1)), c.started);
        EXPECT_EQ(machine.shell.Starts().size(), c.started ? 1u : 0u);
        EXPECT_EQ(machine.files.FileContent(kTemp + "setup.log"), "someone's log");
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(WriteCleanupScript, ANameThatCannotBeCreatedIsPassedOver) {
    struct Case {
        const char* name;
        int occurrence;  // of CreateFileA that fails; 0: every one
        int used;        // 0: none
    };
    for (const Case& c : {Case{"first name in use", 1, 2}, Case{"folder not writable", 0, 0}}) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        PrepareTemporaryFolder(machine, kTemp);
        machine.journal.InjectFault(sim::Fault{"CreateFileA", c.occurrence, ERROR_SHARING_VIOLATION});
        WriteCleanupScript();
        EXPECT_FALSE(machine.files.Exists(kTemp + ScriptName(1)));
        if (c.used == 0) {
            EXPECT_EQ(machine.journal.CallCount("CreateFileA"), 200);
            EXPECT_TRUE(machine.shell.Starts().empty());
        } else {
            EXPECT_EQ(machine.files.FileContent(kTemp + ScriptName(c.used)),
                      ExpectedCleanupScript(kTemp, c.used));
            ASSERT_EQ(machine.shell.Starts().size(), 1u);
            EXPECT_EQ(machine.shell.Starts()[0].file, kTemp + ScriptName(c.used));
        }
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(WriteCleanupScript, ATemporaryFolderTooLongForTheScriptsNameGetsNoScript) {
    struct Case {
        const char* name;
        std::string folder;  // as reported
        int taken;           // earlier scripts delme1.bat ... already there
        bool written;
    };
    const std::string fits = "C:\\" + std::string(245, 't') + "\\";  // 249: "delme1.bat" makes 259
    const std::string noRoom = "C:\\" + std::string(246, 't') + "\\";
    const std::string noBackslashRoom = "C:\\" + std::string(256, 't');
    const std::vector<Case> cases = {
        {"249 characters, run from a shorter folder", fits, 0, true},
        {"249 characters with delme1 to delme9 taken", fits, 9, false},
        {"250 characters", noRoom, 0, false},
        {"259 characters without a backslash", noBackslashRoom, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        PrepareTemporaryFolder(machine, c.folder);
        // A copy in so long a folder would not fit its own path: this program runs from elsewhere.
        const std::string program = "C:\\Tandrel\\uninstall.exe";
        machine.processes.CurrentProcess().image = program;
        const std::string folder = c.folder.back() == '\\' ? c.folder : c.folder + "\\";
        for (int n = 1; n <= c.taken; ++n) {
            machine.files.AddFile(folder + ScriptName(n), "earlier script");
        }
        const std::vector<std::string> before = machine.files.FolderEntries(folder);

        WriteCleanupScript();

        if (c.written) {
            ASSERT_EQ(machine.shell.Starts().size(), 1u);
            EXPECT_EQ(machine.shell.Starts()[0].file, folder + ScriptName(1));
            EXPECT_EQ(machine.files.FileContent(folder + ScriptName(1)),
                      ExpectedCleanupScript(folder, 1, program));
        } else {
            // Nothing written under a cut name either.
            EXPECT_EQ(machine.files.FolderEntries(folder), before);
            EXPECT_EQ(machine.journal.CallCount("CreateFileA"), c.taken);
            EXPECT_TRUE(machine.shell.Starts().empty());
        }
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

// Where the script could not name the folder exactly, it would name another one: no script at all,
// and the copy stays. A '!' is dropped when the user turned on delayed expansion for the interpreter;
// Ø and a curly quote have no twin in the OEM code page, only look-alikes (O, a straight quote); the
// shell would start the script from the folder a set variable names.
TEST(WriteCleanupScript, ATemporaryFolderTheScriptCannotNameExactlyGetsNoScript) {
    for (const char* folder : {"C:\\Temp\\a!b\\", "C:\\Users\\J\xD8rn\\Temp\\", "C:\\Temp\\\x93quoted\x94\\",
                               "C:\\T\\%USERNAME%\\", "C:\\Users\\%TEMP%\\Temp\\"}) {
        SCOPED_TRACE(folder);
        sim::Machine machine;
        PrepareTemporaryFolder(machine, folder);
        const std::vector<std::string> before = machine.files.FolderEntries(folder);
        WriteCleanupScript();
        EXPECT_EQ(machine.files.FolderEntries(folder), before);
        EXPECT_EQ(machine.journal.CallCount("CreateFileA"), 0);
        EXPECT_TRUE(machine.shell.Starts().empty());
    }
}

// Run by the interpreter (with delayed expansion on, as some users have it), the script removes the
// copy and itself, whatever characters a folder name may hold, and nothing where a misread path
// would point.
TEST(WriteCleanupScript, TheStartedScriptDeletesTheCopyAndItselfAndNothingElse) {
    const std::vector<std::string> lookAlikes = {
        "C:\\TEMP\\uninstall.exe", "C:\\TEMP\\delme1.bat", "C:\\Users\\Temp\\uninstall.exe",
        "C:\\Users\\Temp\\delme1.bat", "C:\\Users\\Jos\\Temp\\uninstall.exe"};
    for (const std::string& reported :
         {std::string("C:\\WINDOWS\\TEMP\\"), std::string("C:\\WINDOWS\\TEMP"), std::string("C:\\TEMP%\\"),
          std::string("C:\\Users\\%NOT SET%\\Temp\\"), std::string("C:\\Users\\Jos\xE9\\Temp"),
          std::string("C:\\Temp\\a & (b) ^c; d=e, f'g\\")}) {
        SCOPED_TRACE(reported);
        sim::Machine machine;
        machine.registry.SetValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Command Processor",
                                  "DelayedExpansion", REG_DWORD, std::string("\x01\0\0\0", 4));
        PrepareTemporaryFolder(machine, reported);
        const std::string folder = reported.back() == '\\' ? reported : reported + "\\";
        machine.files.AddFile(folder + "delme1.txt", "someone's notes");
        machine.files.AddFile(folder + "uninstall.exe.bak", "backup");
        machine.files.AddFile(folder + "Sub\\uninstall.exe", "another copy");
        for (const std::string& lookAlike : lookAlikes) {
            machine.files.AddFile(lookAlike, "somebody else's");
        }

        WriteCleanupScript();
        std::vector<sim::StartOutcome> runs = machine.driver.RunPendingStarts(&WinMain);

        ASSERT_EQ(runs.size(), 1u);
        ASSERT_TRUE(runs[0].batch.has_value());
        EXPECT_TRUE(runs[0].batch->finished);
        EXPECT_EQ(machine.files.FolderEntries(folder),
                  (std::vector<std::string>{"delme1.txt", "setup.log", "Sub", "uninstall.exe.bak"}));
        for (const std::string& lookAlike : lookAlikes) {
            EXPECT_TRUE(machine.files.Exists(lookAlike)) << lookAlike;
        }
    }
}

TEST(WriteCleanupScript, APartialScriptWouldEmptyTheTemporaryFolderSoItIsNeverRun) {
    const int cut = static_cast<int>(LengthUpToTheFirstFolderPath(kTemp));
    {
        SCOPED_TRACE("such a script, run");
        sim::Machine machine;
        PrepareTemporaryFolder(machine, kTemp);
        machine.files.AddFile(kTemp + ScriptName(1), ExpectedCleanupScript(kTemp, 1).substr(0, cut));
        machine.driver.RunBatch(kTemp + ScriptName(1), kTemp);
        // Its last line reads del "C:\WINDOWS\TEMP\ : every file in the folder goes.
        EXPECT_FALSE(machine.files.Exists(kTemp + "setup.log"));
        EXPECT_TRUE(machine.files.FolderEntries(kTemp).empty());
    }
    {
        SCOPED_TRACE("the same write cut short");
        sim::Machine machine;
        PrepareTemporaryFolder(machine, kTemp);
        machine.journal.InjectFault(sim::Fault{"WriteFile", 1, 0, cut});
        WriteCleanupScript();
        machine.driver.RunPendingStarts(&WinMain);
        EXPECT_TRUE(machine.driver.BatchRuns().empty());
        EXPECT_EQ(machine.files.FileContent(kTemp + "setup.log"), "someone's log");
        EXPECT_FALSE(machine.files.Exists(kTemp + ScriptName(1)));
        EXPECT_TRUE(machine.files.Exists(kTemp + kUninstallerName));
    }
}

}  // namespace
