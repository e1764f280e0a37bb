// The driver of the simulated Windows runs what the programs start, one program at a time: an .exe
// with its entry (WinMain), a .bat with the small command interpreter. A run makes a process, makes
// it the one in whose name the Windows functions are called while its entry runs, and ends it once
// its waits let it.
//
// It sits on top of the other parts, and none of them knows it: it makes and ends processes in the
// process table, runs the starts the shell recorded, asks the kernel objects when a program's waits
// end, and lends the command interpreter the file system, the environment, the registry and the clock.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch_interpreter.h"
#include "file_system.h"
#include "journal.h"
#include "kernel.h"
#include "processes.h"
#include "registry.h"
#include "shell.h"
#include "simulated_windows_api.h"

namespace sim {

using ProgramEntry = int (*)(HINSTANCE, HINSTANCE, LPSTR, int);

struct ProcessOptions {
    // How long the process lingers after its entry returns, holding its executable and folder.
    Time exitDelay = 0;
};

struct StartOutcome {
    bool ran = false;
    int process = 0;
    int exitStatus = 0;
    std::optional<BatchRun> batch;
};

class Driver {
  public:
    Driver(Processes& processes, const Kernel& kernel, Shell& shell, FileSystem& files,
           const Registry& registry, Clock& clock);
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // Runs `entry` as a new process of `image`, like the system starts a GUI program: its command
    // line is the quoted image path, and a space and the parameters when there are any.
    StartOutcome RunProgram(ProgramEntry entry, const std::string& image,
                            const std::optional<std::string>& parameters, const std::string& currentFolder,
                            ProcessOptions options = {});
    // Runs a start recorded by ShellExecuteA: an .exe with `entry`, a .bat with the command interpreter.
    StartOutcome RunStart(size_t index, ProgramEntry entry, ProcessOptions options = {});
    // Runs every recorded start not yet run, oldest first, including those the runs record; at most
    // `limit` of them.
    std::vector<StartOutcome> RunPendingStarts(ProgramEntry entry, ProcessOptions options = {},
                                               int limit = 16);
    // Runs a batch script with the command interpreter, in a process of its own.
    BatchRun RunBatch(const std::string& script, const std::string& currentFolder);
    void SetBatchStepLimit(int steps) { batchStepLimit_ = steps; }
    void SetBatchLineCost(Time ms) { batchLineCost_ = ms; }
    const std::vector<BatchRun>& BatchRuns() const { return batchRuns_; }

  private:
    Processes& processes_;
    const Kernel& kernel_;
    Shell& shell_;
    FileSystem& files_;
    const Registry& registry_;
    Clock& clock_;

    std::vector<BatchRun> batchRuns_;
    int batchStepLimit_ = 100000;
    Time batchLineCost_ = 1;
};

}  // namespace sim
