// The driver of the simulated Windows runs what the programs start: an .exe with its entry (WinMain),
// a .bat with the small command interpreter. A program's process starts when the shell starts it
// (the program holds its image from then on); its entry runs when a test runs that start.
//
// Each program's entry runs on a thread of its own, but one program at a time: the driver hands the
// turn from one to the next. A program that waits for something only another program can do (an
// event to be set) gives its turn back to whoever handed it over, and goes on when that happens, or
// when its wait times out as time passes. So a test runs the user's start, which returns once the
// program has ended or waits for its copy; runs the copy, during which the first program goes on as
// soon as the copy tells it to; and the clock moves only when programs sleep or wait.
//
// It sits on top of the other parts, and none of them knows it: it makes and ends processes in the
// process table, runs the starts the shell recorded, and lends the command interpreter the file
// system, the environment, the registry and the clock. The Windows functions that wait or sleep ask
// it to let time pass or to hold the calling program until another one acts.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "batch_interpreter.h"
#include "file_system.h"
#include "journal.h"
#include "processes.h"
#include "registry.h"
#include "shell.h"
#include "simulated_windows_api.h"

namespace sim {

class Machine;

using ProgramEntry = std::function<int(HINSTANCE, HINSTANCE, LPSTR, int)>;

struct ProcessOptions {
    // How long the process lingers after its entry returns, holding its executable and folder.
    Time exitDelay = 0;
};

struct StartOutcome {
    bool ran = false;
    int process = 0;
    // Whether the entry has returned by the time the run gave the turn back; a program that waits for
    // another has not, and its exit status is in the process table once it has ended.
    bool ended = false;
    int exitStatus = 0;
    std::optional<BatchRun> batch;
};

class Driver {
  public:
    Driver(Machine& machine, Processes& processes, Shell& shell, FileSystem& files, const Registry& registry,
           Clock& clock);
    ~Driver();  // the programs must have ended (Machine lets their waits run out first)
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Runs `entry` as a new process of `image`, like the system starts a GUI program: its command
    // line is the quoted image path, and a space and the parameters when there are any. Returns once
    // the program has ended or waits for another.
    StartOutcome RunProgram(ProgramEntry entry, const std::string& image,
                            const std::optional<std::string>& parameters, const std::string& currentFolder,
                            ProcessOptions options = {});
    // Runs a start recorded by ShellExecuteA: an .exe with `entry`, in the process the start made
    // (not when that process has been ended meanwhile), a .bat with the command interpreter.
    StartOutcome RunStart(size_t index, ProgramEntry entry, ProcessOptions options = {});
    // Runs every recorded start not yet run, oldest first, including those the runs record; at most
    // `limit` of them.
    std::vector<StartOutcome> RunPendingStarts(ProgramEntry entry, ProcessOptions options = {},
                                               int limit = 16);
    // Lets time pass until no program waits any more: each goes on when its wait times out.
    void FinishWaits();
    // Whether a program's entry is still running or waiting.
    bool Waiting(int process) const;

    // Runs a batch script with the command interpreter, in a process of its own.
    BatchRun RunBatch(const std::string& script, const std::string& currentFolder);
    void SetBatchStepLimit(int steps) { batchStepLimit_ = steps; }
    void SetBatchLineCost(Time ms) { batchLineCost_ = ms; }
    const std::vector<BatchRun>& BatchRuns() const { return batchRuns_; }

    // --- For the Windows functions ----------------------------------------------------------------
    // The process of a program the shell starts: it exists, and holds its image, from now on.
    int StartProcess(const std::string& image, const std::optional<std::string>& parameters,
                     const std::string& currentFolder);
    // Holds the calling program until `ready` says so after another program acted, or until time
    // reaches `deadline`. False, at once, when the caller is no program of the driver's (a test's
    // own call), for which nobody else can act.
    bool HoldUntil(Time deadline, std::function<bool()> ready);
    // `ms` pass for the caller: programs whose waits time out meanwhile go on at that moment.
    void LetTimePass(Time ms);
    // Something a waiting program may wait for has happened: those it lets go on, go on now.
    void WakeWaiters();

  private:
    struct Program;
    Program* CallingProgram() const;
    // Gives the turn to `program` until it ends or waits again.
    void HandTo(Program& program);
    // Hands the turn back to whoever gave it to `self`, and blocks until `self` has it again.
    void GiveBack(Program& self, bool waitForTurn);
    StartOutcome Run(ProgramEntry entry, int process, const std::string& tail, ProcessOptions options);
    Program* EarliestWaiter(Time until) const;

    Machine& machine_;
    Processes& processes_;
    Shell& shell_;
    FileSystem& files_;
    const Registry& registry_;
    Clock& clock_;

    std::vector<std::unique_ptr<Program>> programs_;
    std::mutex turnLock_;
    std::condition_variable turnChanged_;
    Program* turn_ = nullptr;  // null: the thread that drives the machine (the test's)

    std::vector<BatchRun> batchRuns_;
    int batchStepLimit_ = 100000;
    Time batchLineCost_ = 1;
};

}  // namespace sim
