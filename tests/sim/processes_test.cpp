// Processes on the simulated machine: what a started program sees of itself, how long it holds its
// executable and folder on the virtual clock, windows that close or not, shell starts, nesting, one
// machine per thread, and the journal with injected faults.
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "in_process.h"
#include "machine.h"

namespace {

using sim_testing::RunAsProcess;

const char kImage[] = "C:\\Apps\\Tool\\tool.exe";
const char kFolder[] = "C:\\Apps\\Tool";

class Processes : public ::testing::Test {
  protected:
    void SetUp() override { machine.files.AddFile(kImage, "MZ"); }
    sim::Machine machine;
};

TEST_F(Processes, AProgramSeesItsCommandLineParametersAndImage) {
    struct Case {
        std::optional<std::string> parameters;
        std::string commandLine;
        std::string tail;
    };
    for (const Case& c :
         {Case{std::nullopt, "\"C:\\Apps\\Tool\\tool.exe\"", ""},
          Case{std::string("/internally"), "\"C:\\Apps\\Tool\\tool.exe\" /internally", "/internally"}}) {
        SCOPED_TRACE(c.commandLine);
        std::string commandLine, tail;
        sim::StartOutcome run = RunAsProcess(
            machine, kImage, kFolder,
            [&](LPSTR commandTail) {
                commandLine = GetCommandLineA();
                tail = commandTail;
                return 7;
            },
            c.parameters);
        EXPECT_TRUE(run.ran);
        EXPECT_EQ(run.exitStatus, 7);
        EXPECT_EQ(commandLine, c.commandLine);
        EXPECT_EQ(tail, c.tail);
        EXPECT_EQ(machine.processes.GetProcess(run.process).currentFolder, kFolder);
    }
    EXPECT_FALSE(RunAsProcess(machine, "C:\\Apps\\Tool\\missing.exe", kFolder, [](LPSTR) { return 0; }).ran);
}

TEST_F(Processes, ModuleFileNameIsCutAndTerminatedWhenTheBufferIsTooSmall) {
    const DWORD length = static_cast<DWORD>(std::strlen(kImage));
    RunAsProcess(machine, kImage, kFolder, [length](LPSTR) {
        struct Case {
            DWORD size;
            DWORD result;
            std::string text;
        };
        for (const Case& c : {Case{MAX_PATH, length, kImage}, Case{length + 1, length, kImage},
                              Case{length, length, std::string(kImage, length - 1)}, Case{5, 5, "C:\\A"}}) {
            SCOPED_TRACE(c.size);
            char buffer[MAX_PATH];
            std::memset(buffer, '#', sizeof buffer);
            SetLastError(0);
            EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, c.size), c.result);
            EXPECT_EQ(std::string(buffer), c.text);
            EXPECT_EQ(GetLastError(), c.size > length ? 0u : static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        }
        return 0;
    });
}

TEST_F(Processes, ARunningProgramHoldsItsImageAndFolderUntilItsExitTime) {
    machine.files.AddFolder("C:\\Work");
    DWORD deleteError = 0;
    sim::StartOutcome run = RunAsProcess(
        machine, kImage, "C:\\Work",
        [&deleteError](LPSTR) {
            if (!DeleteFileA(kImage)) {
                deleteError = GetLastError();
            }
            Sleep(250);  // time passes only when a program sleeps
            return 0;
        },
        std::nullopt, sim::ProcessOptions{100});
    EXPECT_EQ(deleteError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(machine.clock.Now(), 250u);

    // It lingers for its exit delay after its entry has returned.
    for (sim::Time step : {sim::Time{0}, sim::Time{99}}) {
        machine.clock.Advance(step);
        SCOPED_TRACE(machine.clock.Now());
        EXPECT_TRUE(machine.processes.ProcessRunning(run.process));
        EXPECT_FALSE(DeleteFileA(kImage));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_FALSE(RemoveDirectoryA("C:\\Work"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    machine.clock.Advance(1);
    EXPECT_FALSE(machine.processes.ProcessRunning(run.process));
    EXPECT_TRUE(DeleteFileA(kImage));
    EXPECT_TRUE(RemoveDirectoryA("C:\\Work"));
}

// One program runs at a time: one that waits for an event gives the turn back, and goes on when a
// later program sets the event, or when its wait times out as time passes.
TEST_F(Processes, AWaitForAnEventGoesOnWhenAnotherProgramSetsItOrTheWaitTimesOut) {
    struct Case {
        const char* what;
        bool setBefore;
        sim::Time setAt;  // when a later program sets it; 0: never
        DWORD result;
        sim::Time exitAt;
    };
    for (const Case& c :
         {Case{"set later", false, 300, WAIT_OBJECT_0, 310}, Case{"never set", false, 0, WAIT_TIMEOUT, 5010},
          Case{"set before the wait", true, 0, WAIT_OBJECT_0, 10}}) {
        SCOPED_TRACE(c.what);
        sim::Machine local;
        local.files.AddFile(kImage, "MZ");
        local.files.AddFile("C:\\Apps\\Tool\\setter.exe", "MZ");
        sim::StartOutcome waiter = RunAsProcess(
            local, kImage, kFolder,
            [&c](LPSTR) {
                HANDLE event = CreateEventA(nullptr, TRUE, c.setBefore, "Handed");
                DWORD result = WaitForSingleObject(event, 5000);
                CloseHandle(event);
                return static_cast<int>(result);
            },
            std::nullopt, sim::ProcessOptions{10});
        EXPECT_EQ(waiter.ended, c.setBefore);
        if (c.setAt != 0) {
            RunAsProcess(local, "C:\\Apps\\Tool\\setter.exe", kFolder, [&c](LPSTR) {
                Sleep(static_cast<DWORD>(c.setAt));
                HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Handed");
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
                SetEvent(event);
                CloseHandle(event);
                return 0;
            });
        }
        local.driver.FinishWaits();
        EXPECT_EQ(local.processes.GetProcess(waiter.process).exitStatus, static_cast<int>(c.result));
        EXPECT_EQ(local.processes.GetProcess(waiter.process).exitTime, c.exitAt);
        EXPECT_FALSE(local.kernel.EventExists("Handed"));
    }
}

TEST_F(Processes, WmCloseEndsAProcessWhoseWindowHonoursIt) {
    struct Case {
        const char* what;
        bool closes;
        sim::Time delay;
    };
    for (const Case& c :
         {Case{"closes at once", true, 0}, Case{"closes later", true, 40}, Case{"ignores it", false, 0}}) {
        SCOPED_TRACE(c.what);
        sim::Machine local;
        local.files.AddFile(kImage);
        int process = local.processes.StartBackgroundProcess(kImage, kFolder);
        HWND other = local.desktop.AddWindow("OtherClass", "Other", 0);
        HWND window = local.desktop.AddWindow("VorskTandrel", "Tandrel", process, c.closes, c.delay);
        HWND second = local.desktop.AddWindow("VORSKTANDREL", "Tandrel 2", process);
        EXPECT_EQ(FindWindowA("vorsktandrel", nullptr), window);
        EXPECT_EQ(FindWindowA(nullptr, "Tandrel 2"), second);

        EXPECT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
        EXPECT_EQ(local.desktop.WindowExists(window), c.delay > 0 || !c.closes);
        ASSERT_EQ(local.desktop.PostedMessages().size(), 1u);
        EXPECT_EQ(local.desktop.PostedMessages()[0].message, static_cast<UINT>(WM_CLOSE));
        EXPECT_EQ(local.desktop.PostedMessages()[0].process, 1);
        Sleep(static_cast<DWORD>(c.delay));
        bool ended = c.closes;
        EXPECT_EQ(local.processes.ProcessRunning(process), !ended);
        EXPECT_EQ(local.desktop.WindowExists(window), !ended);
        EXPECT_EQ(local.desktop.WindowExists(second), !ended);  // a process's windows go with it
        EXPECT_TRUE(local.desktop.WindowExists(other));
        EXPECT_EQ(FindWindowA("VorskTandrel", nullptr), ended ? nullptr : window);
        EXPECT_EQ(DeleteFileA(kImage), ended ? TRUE : FALSE);
        if (ended) {
            EXPECT_FALSE(PostMessageA(window, WM_CLOSE, 0, 0));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
            EXPECT_EQ(local.desktop.PostedMessages().size(), 1u);
        }
    }
}

TEST_F(Processes, ShellExecuteRecordsTheStartAndFailsForAMissingFile) {
    machine.files.AddFolder("C:\\WINDOWS\\TEMP");
    HINSTANCE result =
        ShellExecuteA(nullptr, nullptr, kImage, "/internally", "C:\\WINDOWS\\TEMP", SW_MINIMIZE);
    EXPECT_GT(reinterpret_cast<INT_PTR>(result), 32);
    result = ShellExecuteA(nullptr, "open", "C:\\Apps\\Tool\\missing.exe", nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_LE(reinterpret_cast<INT_PTR>(result), 32);
    machine.journal.InjectFault(sim::Fault{"ShellExecuteA", 3, ERROR_ACCESS_DENIED});
    result = ShellExecuteA(nullptr, nullptr, kImage, nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_LE(reinterpret_cast<INT_PTR>(result), 32);

    ASSERT_EQ(machine.shell.Starts().size(), 3u);
    const sim::StartRecord& start = machine.shell.Starts()[0];
    EXPECT_EQ(start.verb, "");
    EXPECT_EQ(start.file, kImage);
    EXPECT_EQ(start.parameters, std::optional<std::string>("/internally"));
    EXPECT_EQ(start.directory, std::optional<std::string>("C:\\WINDOWS\\TEMP"));
    EXPECT_EQ(start.show, SW_MINIMIZE);
    EXPECT_TRUE(start.accepted);
    EXPECT_EQ(machine.shell.Starts()[1].verb, "open");
    EXPECT_FALSE(machine.shell.Starts()[1].accepted);
    EXPECT_FALSE(machine.shell.Starts()[2].accepted);
    // The shell expands variables in the name it starts.
    machine.shell.SetVariable("Place", "Apps");
    ShellExecuteA(nullptr, nullptr, "C:\\%PLACE%\\Tool\\tool.exe", nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_EQ(machine.shell.Starts().back().file, kImage);

    // Only an accepted start runs; it runs in its folder with its parameters.
    std::string seen;
    sim::ProgramEntry entry = sim_testing::AsEntry([&seen](LPSTR tail) {
        seen = std::string(tail) + " in " + sim::Machine::Current().processes.CurrentProcess().currentFolder;
        return 3;
    });
    // The started program's process exists from the start on, and holds its image.
    EXPECT_FALSE(DeleteFileA(kImage));
    EXPECT_FALSE(machine.driver.RunStart(1, entry).ran);
    sim::StartOutcome run = machine.driver.RunStart(0, entry);
    EXPECT_TRUE(run.ran);
    EXPECT_EQ(run.process, start.startedProcess);
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(seen, "/internally in C:\\WINDOWS\\TEMP");
    EXPECT_TRUE(machine.shell.Starts()[0].ran);
}

TEST_F(Processes, ABatchStartRunsWithTheCommandInterpreter) {
    machine.files.AddFile("C:\\WINDOWS\\TEMP\\clean.bat",
                          "@echo off\r\ndel \"C:\\Apps\\Tool\\tool.exe\"\r\n");
    ASSERT_GT(reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, nullptr, "C:\\WINDOWS\\TEMP\\clean.bat",
                                                      nullptr, "C:\\WINDOWS\\TEMP", SW_HIDE)),
              32);
    std::vector<sim::StartOutcome> runs = machine.driver.RunPendingStarts(nullptr);
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_TRUE(runs[0].batch.has_value());
    EXPECT_TRUE(runs[0].batch->finished);
    EXPECT_EQ(machine.processes.GetProcess(runs[0].process).currentFolder, "C:\\WINDOWS\\TEMP");
    EXPECT_FALSE(machine.files.Exists(kImage));
    EXPECT_TRUE(machine.driver.RunPendingStarts(nullptr).empty());  // each start runs once
}

TEST_F(Processes, TheNewestMachineIsTheOneActedOn) {
    {
        sim::Machine inner;
        EXPECT_EQ(&sim::Machine::Current(), &inner);
        EXPECT_FALSE(DeleteFileA(kImage));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
        EXPECT_EQ(inner.journal.CallCount("DeleteFileA"), 1);
    }
    EXPECT_EQ(&sim::Machine::Current(), &machine);
    EXPECT_EQ(machine.journal.CallCount("DeleteFileA"), 0);
    EXPECT_TRUE(DeleteFileA(kImage));
}

// Each thread acts on the machine installed for it, while the other thread's machine is alive too.
TEST_F(Processes, EachThreadActsOnItsOwnMachine) {
    std::promise<void> built, done;
    bool deletedThere = true;
    std::thread other([&] {
        sim::Machine there;
        built.set_value();
        done.get_future().wait();
        deletedThere = DeleteFileA(kImage) != FALSE;
    });
    built.get_future().wait();
    EXPECT_TRUE(DeleteFileA(kImage));
    done.set_value();
    other.join();
    EXPECT_FALSE(deletedThere);
    EXPECT_EQ(machine.journal.CallCount("DeleteFileA"), 1);
}

TEST_F(Processes, EveryCallIsJournaledInOrderWithItsProcessAndTime) {
    sim::StartOutcome run = RunAsProcess(machine, kImage, kFolder, [](LPSTR) {
        Sleep(30);
        DeleteFileA("C:\\nothing.txt");
        return 0;
    });
    CreateDirectoryA("C:\\New", nullptr);
    std::vector<std::string> calls;
    for (const sim::CallRecord& call : machine.journal.Calls()) {
        calls.push_back(call.function + " " + call.detail + " #" + std::to_string(call.process) + " @" +
                        std::to_string(call.time));
    }
    std::string child = std::to_string(run.process);
    EXPECT_EQ(calls, (std::vector<std::string>{"Sleep 30 #" + child + " @0",
                                               "DeleteFileA C:\\nothing.txt #" + child + " @30",
                                               "CreateDirectoryA C:\\New #1 @30"}));
    EXPECT_EQ(machine.journal.CallNames(run.process), (std::vector<std::string>{"Sleep", "DeleteFileA"}));
    EXPECT_EQ(machine.journal.TotalCalls(), 3);
}

TEST_F(Processes, FaultsHitTheKthCallOverallOrEveryCallOfAFunction) {
    machine.files.AddFile("C:\\a.txt");
    machine.files.AddFile("C:\\b.txt");
    machine.files.AddFile("C:\\c.txt");
    machine.journal.InjectFault(sim::Fault{"", 2, ERROR_WRITE_FAULT});
    machine.journal.InjectFault(sim::Fault{"CreateDirectoryA", 0, ERROR_DISK_FULL});
    EXPECT_TRUE(DeleteFileA("C:\\a.txt"));   // call 1
    EXPECT_FALSE(DeleteFileA("C:\\b.txt"));  // call 2
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
    EXPECT_TRUE(machine.files.Exists("C:\\b.txt"));  // a failed call changes nothing
    EXPECT_TRUE(DeleteFileA("C:\\b.txt"));
    for (const char* folder : {"C:\\X", "C:\\Y", "C:\\Z"}) {
        SCOPED_TRACE(folder);
        EXPECT_FALSE(CreateDirectoryA(folder, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        EXPECT_FALSE(machine.files.Exists(folder));
    }
    EXPECT_TRUE(DeleteFileA("C:\\c.txt"));
    std::vector<bool> faulted;
    for (const sim::CallRecord& call : machine.journal.Calls()) {
        if (call.function != "GetLastError") {
            faulted.push_back(call.faulted);
        }
    }
    EXPECT_EQ(faulted, (std::vector<bool>{false, true, false, true, true, true, false}));
}

}  // namespace
