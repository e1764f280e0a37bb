#include "driver.h"

namespace sim {

Driver::Driver(Processes& processes, const Kernel& kernel, Shell& shell, FileSystem& files,
               const Registry& registry, Clock& clock)
    : processes_(processes),
      kernel_(kernel),
      shell_(shell),
      files_(files),
      registry_(registry),
      clock_(clock) {}

StartOutcome Driver::RunProgram(ProgramEntry entry, const std::string& image,
                                const std::optional<std::string>& parameters,
                                const std::string& currentFolder, ProcessOptions options) {
    StartOutcome outcome;
    int previous = processes_.CurrentProcessId();
    FileSystem::Located located;
    if (files_.Locate(image, processes_.CurrentProcess().currentFolder, located, false, false) != 0 ||
        located.node == nullptr || located.node->folder) {
        return outcome;  // nothing to start
    }
    std::string commandLine = "\"" + image + "\"";
    std::string tail;
    if (parameters.has_value()) {
        commandLine += " " + *parameters;
        tail = *parameters;
    }
    int id = processes_.NewProcess(image, commandLine, currentFolder);
    processes_.GetProcess(id).exitDelay = options.exitDelay;
    processes_.MakeCurrent(id);
    std::vector<char> tailBuffer(tail.begin(), tail.end());
    tailBuffer.push_back('\0');
    int status = entry(reinterpret_cast<HINSTANCE>(0x400000), nullptr, tailBuffer.data(), SW_SHOWNORMAL);
    processes_.MakeCurrent(previous);
    processes_.GetProcess(id).exitStatus = status;
    processes_.EndProcess(id, kernel_.WaitsEnd(id) + options.exitDelay);
    outcome.ran = true;
    outcome.process = id;
    outcome.exitStatus = status;
    return outcome;
}

StartOutcome Driver::RunStart(size_t index, ProgramEntry entry, ProcessOptions options) {
    StartRecord start = shell_.Starts().at(index);
    shell_.MarkRun(index);
    StartOutcome outcome;
    if (!start.accepted) {
        return outcome;
    }
    std::string folder = start.directory.value_or(processes_.GetProcess(start.process).currentFolder);
    std::string extension = start.file.size() >= 4 ? UpperCase(start.file.substr(start.file.size() - 4)) : "";
    if (extension == ".BAT") {
        outcome.batch = RunBatch(start.file, folder);
        outcome.ran = true;
        outcome.process = outcome.batch->process;
        return outcome;
    }
    return RunProgram(entry, start.file, start.parameters, folder, options);
}

std::vector<StartOutcome> Driver::RunPendingStarts(ProgramEntry entry, ProcessOptions options, int limit) {
    std::vector<StartOutcome> outcomes;
    for (size_t i = 0; i < shell_.Starts().size() && static_cast<int>(outcomes.size()) < limit; ++i) {
        if (!shell_.Starts()[i].ran) {
            outcomes.push_back(RunStart(i, entry, options));
        }
    }
    return outcomes;
}

BatchRun Driver::RunBatch(const std::string& script, const std::string& currentFolder) {
    BatchRun run;
    run.script = script;
    int previous = processes_.CurrentProcessId();
    run.process =
        processes_.NewProcess("C:\\WINDOWS\\SYSTEM32\\CMD.EXE", "cmd /c \"" + script + "\"", currentFolder);
    processes_.MakeCurrent(run.process);
    BatchInterpreter(files_, shell_, registry_, clock_, run, currentFolder)
        .Run(batchStepLimit_, batchLineCost_);
    processes_.MakeCurrent(previous);
    processes_.EndProcess(run.process, clock_.Now());
    batchRuns_.push_back(run);
    return run;
}

}  // namespace sim
