// The process table of the simulated Windows: every process with its image, command line, current
// folder, last error and exit, the process in whose name the Windows functions are called, and the
// pointers a test marks bad. A process holds its executable and current folder until it ends.
//
// It stands on the file system alone (the holds of a process's files). The parts above it keep what
// belongs to a process elsewhere: its windows (desktop.h), which it tells when a process ends, its
// mutexes and events (kernel.h); the driver (driver.h) makes and runs the processes.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "file_system.h"
#include "journal.h"
#include "simulated_windows_api.h"

namespace sim {

struct Process {
    int id = 0;
    std::string image;
    std::string commandLine;
    std::string currentFolder;
    DWORD lastError = 0;
    Time exitTime = kForever;
    // How long it lingers after its entry returns, or, run in the background, after its main window
    // has closed.
    Time exitDelay = 0;
    int exitStatus = 0;
};

class Processes {
  public:
    // Process 1 (Explorer) is running: the process in whose name a test calls the Windows functions
    // directly.
    Processes(FileSystem& files, const Clock& clock);
    Processes(const Processes&) = delete;
    Processes& operator=(const Processes&) = delete;

    // A process that runs without a program of ours (the product, say): it holds its executable and
    // current folder until it ends.
    int StartBackgroundProcess(const std::string& image, const std::string& currentFolder);
    const Process& GetProcess(int process) const;
    bool Exists(int process) const;
    bool ProcessRunning(int process) const;
    Process& CurrentProcess();
    int CurrentProcessId() const { return current_; }
    void MarkUnreadable(const void* pointer);  // IsBadReadPtr reports it
    void MarkUnwritable(const void* pointer);  // IsBadWritePtr reports it

    // --- For the Windows functions and the parts above ---------------------------------------------
    void SetLastErrorCode(DWORD error) { CurrentProcess().lastError = error; }
    bool IsMarked(const void* pointer, bool write) const;
    // Ends the process at `at`, unless it ended earlier: it lets go of its files, and every listener
    // hears of it.
    void EndProcess(int process, Time at);
    using EndListener = std::function<void(int process, Time at)>;
    void WhenProcessEnds(EndListener listener) { endListeners_.push_back(std::move(listener)); }

    // --- For the driver ---------------------------------------------------------------------------
    // A new process of `image`: it holds its executable and current folder until it ends.
    int NewProcess(const std::string& image, const std::string& commandLine,
                   const std::string& currentFolder);
    Process& GetProcess(int process);
    // The process in whose name the Windows functions are called from now on.
    void MakeCurrent(int process) { current_ = process; }

  private:
    FileSystem& files_;
    const Clock& clock_;
    std::deque<Process> processes_;  // a deque: command lines handed out stay where they are
    int current_ = 0;
    std::vector<EndListener> endListeners_;
    std::vector<std::pair<const void*, bool>> badPointers_;
};

}  // namespace sim
