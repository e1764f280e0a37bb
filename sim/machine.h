// A simulated Windows machine: the one value that ties the parts of a run together. A test builds a
// Machine, sets it up through its parts, runs the program on it through the Windows functions of
// simulated_windows_api.h, and inspects it. The parts, each with its header, and the files of the
// Windows functions that serve it:
//
//   clock, journal  virtual time, every platform call, injected faults (journal.h)
//   registry   keys, values, key handles (registry.h; registry_key_api.cpp, registry_value_api.cpp)
//   modules    the functions a program looks up at run time, and which of them this Windows lacks
//              (modules.h; module_api.cpp)
//   files      drives, folders, files, holds, the temporary folder, file and search handles
//              (file_system.h; file_api.cpp, folder_api.cpp, file_handle_api.cpp)
//   shell      shell starts, change notifications, the environment (shell.h; shell_api.cpp)
//   processes  the process table: images, command lines, current folders, exits, the current process,
//              last errors, bad pointers (processes.h; process_api.cpp)
//   kernel     named mutexes and events, handles of processes, what a wait sees signalled (kernel.h;
//              kernel_api.cpp)
//   desktop    windows, posted messages, message boxes and their answers (desktop.h; window_api.cpp)
//   driver     runs programs and the starts the shell recorded, one at a time: an .exe with its entry,
//              a .bat with the command interpreter; holds a waiting program until another acts or its
//              time runs out (driver.h, batch_interpreter.h)
//
// A part uses only parts above it in this list: the file system the clock, the shell the file
// system, the process table the file system (a process holds its files), the kernel objects and the
// desktop the process table, the driver all of them. The one way back up is a notification: the
// process table tells whoever listens that a process has ended (the desktop, whose windows end with
// it). The string and code-page functions (string_api.cpp) use no part; every Windows function starts
// with an ApiCall (api_call.h).
//
// The Windows functions act on the machine installed for the calling thread. A Machine installs
// itself on the thread that builds it until it ends, so two threads can each run their own machine.
#pragma once

#include "desktop.h"
#include "driver.h"
#include "file_system.h"
#include "journal.h"
#include "kernel.h"
#include "modules.h"
#include "processes.h"
#include "registry.h"
#include "shell.h"
#include "sim_path.h"
#include "simulated_windows_api.h"

namespace sim {

class Machine;

// Makes a machine the one that the Windows functions called by this thread act on, until the
// installation ends; then the one installed before it is acted on again. Installations on one thread
// end in the reverse order of their making.
class Installation {
  public:
    explicit Installation(Machine& machine);
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

  private:
    Machine* machine_;
    Machine* previous_;
};

class Machine {
  public:
    Machine() = default;
    ~Machine() { driver.FinishWaits(); }  // a program still waiting goes on as its waits run out
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The machine installed for the calling thread.
    static Machine& Current();

    Clock clock;
    Journal journal{clock};
    Registry registry;
    Modules modules;
    FileSystem files{clock};
    Shell shell{files};
    Processes processes{files, clock};
    Kernel kernel{processes};
    Desktop desktop{processes, clock};
    Driver driver{*this, processes, shell, files, registry, clock};

  private:
    Installation installation_{*this};  // last: the parts exist before the machine can be acted on
};

}  // namespace sim
