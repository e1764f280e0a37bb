// A simulated Windows machine: the one value that ties the parts of a run together. A test builds a
// Machine, sets it up through its parts, runs the program on it through the Windows functions of the
// platform header, and inspects it:
//
//   registry   keys, values, key handles (registry.h)
//   files      drives, folders, files, holds, the temporary folder, file handles (file_system.h)
//   processes  processes, windows, message boxes, shell starts and the driver that runs them
//              (processes.h; the command interpreter in batch_interpreter.cpp)
//   clock, journal  virtual time, every platform call, injected faults (journal.h)
//   modules    the functions a program looks up at run time, and which of them this Windows lacks
//              (modules.h)
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
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The machine installed for the calling thread.
    static Machine& Current();

    Clock clock;
    Journal journal{clock};
    Registry registry;
    FileSystem files{clock};
    Shell shell{files};
    Processes processes{files, clock};
    Kernel kernel{processes, clock};
    Desktop desktop{processes, clock};
    Driver driver{processes, kernel, shell, files, registry, clock};
    Modules modules;

  private:
    Installation installation_{*this};  // last: the parts exist before the machine can be acted on
};

}  // namespace sim
