// A small command interpreter for the batch scripts the uninstaller writes, which the driver runs in
// a process of its own: "@", "echo", "rem", labels, "goto", "del"/"erase", "if [not] exist ...
// command", the expansion of "%" and, when the user turned it on, of "!". It reads the script once
// when it starts, in the OEM code page as cmd.exe does; after every line it looks for the script and
// stops when it is gone, as cmd.exe does when a script deletes itself. Every line costs time on the
// virtual clock, and a step limit turns a script that would never end into a report instead of a
// hung test.
//
// It works on the file system directly, reads the environment (the shell) and its own setting in
// the registry, and advances the clock; it knows nothing of processes.
#pragma once

#include <string>
#include <vector>

#include "file_system.h"
#include "journal.h"
#include "registry.h"
#include "shell.h"

namespace sim {

struct BatchRun {
    std::string script;
    int process = 0;
    bool finished = false;
    bool stepLimitReached = false;
    int steps = 0;
    std::vector<std::string> output;  // what the interpreter would have printed: errors, mostly
};

// One run of one script: the interpreter keeps where the run is (the lines, the next one, whether
// it has ended) and reports into `run`.
class BatchInterpreter {
  public:
    BatchInterpreter(FileSystem& files, const Shell& shell, const Registry& registry, Clock& clock,
                     BatchRun& run, const std::string& currentFolder);
    BatchInterpreter(const BatchInterpreter&) = delete;
    BatchInterpreter& operator=(const BatchInterpreter&) = delete;

    // Runs the script from its first line until it ends or `stepLimit` lines have run, each costing
    // `lineCost` on the clock.
    void Run(int stepLimit, Time lineCost);

  private:
    // Runs the commands of one expanded line: one, or the one an "if" lets run after its condition.
    void RunLine(std::string rest);
    // The commands, each given the rest of its line. "echo" and "rem" do nothing here: what echo
    // prints is not kept.
    void Goto(const std::string& rest);
    void Del(std::string rest);  // also "erase"
    bool If(std::string& rest);  // true when the command after the condition runs

    // What "del" does with one path: deletes the file, every file of a folder, or the files that
    // match a wildcard.
    void DeletePath(const std::string& path, bool force);
    void DeleteOne(const std::string& path, FileNode& node, bool force);
    bool Exists(const std::string& path) const;
    // The script's content as it is now; `found` says whether it is there.
    std::string ScriptContent(bool& found) const;
    // Whether "!NAME!" is expanded: the "DelayedExpansion" value of
    // Software\Microsoft\Command Processor, per user or per machine.
    bool DelayedExpansion() const;

    FileSystem& files_;
    const Shell& shell_;
    const Registry& registry_;
    Clock& clock_;
    BatchRun& run_;
    const std::string currentFolder_;
    std::vector<std::string> lines_;
    size_t next_ = 0;
    bool ended_ = false;
};

}  // namespace sim
