#include "driver.h"

#include <thread>

#include "machine.h"

namespace sim {

struct Driver::Program {
    int process = 0;
    ProgramEntry entry;
    std::vector<char> tail;
    std::thread thread;
    bool ended = false;
    // While it waits for another program: until when, and what lets it go on earlier.
    bool waiting = false;
    Time deadline = kForever;
    std::function<bool()> ready;
    // Whoever gave it the turn last gets it back when it ends or waits (null: the driving thread).
    Program* resumer = nullptr;
};

namespace {

// The program whose entry runs on this thread; null on a thread the driver did not make.
thread_local void* thisThreadsProgram = nullptr;

std::string CommandLine(const std::string& image, const std::optional<std::string>& parameters) {
    std::string line = "\"" + image + "\"";
    return parameters.has_value() ? line + " " + *parameters : line;
}

}  // namespace

Driver::Driver(Machine& machine, Processes& processes, Shell& shell, FileSystem& files,
               const Registry& registry, Clock& clock)
    : machine_(machine),
      processes_(processes),
      shell_(shell),
      files_(files),
      registry_(registry),
      clock_(clock) {}

Driver::~Driver() {
    for (const std::unique_ptr<Program>& program : programs_) {
        if (!program->ended) {
            Fail("a program still waits as the machine ends");
        }
        program->thread.join();
    }
}

Driver::Program* Driver::CallingProgram() const {
    for (const std::unique_ptr<Program>& program : programs_) {
        if (program.get() == thisThreadsProgram) {
            return program.get();
        }
    }
    return nullptr;
}

void Driver::HandTo(Program& program) {
    Program* self = CallingProgram();
    int previous = processes_.CurrentProcessId();
    program.resumer = self;
    processes_.MakeCurrent(program.process);
    std::unique_lock<std::mutex> lock(turnLock_);
    turn_ = &program;
    turnChanged_.notify_all();
    turnChanged_.wait(lock, [this, self] { return turn_ == self; });
    lock.unlock();
    processes_.MakeCurrent(previous);
}

void Driver::GiveBack(Program& self, bool waitForTurn) {
    std::unique_lock<std::mutex> lock(turnLock_);
    turn_ = self.resumer;
    turnChanged_.notify_all();
    if (waitForTurn) {
        turnChanged_.wait(lock, [this, &self] { return turn_ == &self; });
    }
}

StartOutcome Driver::Run(ProgramEntry entry, int process, const std::string& tail, ProcessOptions options) {
    processes_.GetProcess(process).exitDelay = options.exitDelay;
    programs_.push_back(std::make_unique<Program>());
    Program& program = *programs_.back();
    program.process = process;
    program.entry = std::move(entry);
    program.tail.assign(tail.begin(), tail.end());
    program.tail.push_back('\0');
    program.thread = std::thread([this, &program] {
        thisThreadsProgram = &program;
        Installation installation(machine_);
        {
            std::unique_lock<std::mutex> lock(turnLock_);
            turnChanged_.wait(lock, [this, &program] { return turn_ == &program; });
        }
        int status =
            program.entry(reinterpret_cast<HINSTANCE>(0x400000), nullptr, program.tail.data(), SW_SHOWNORMAL);
        Process& ended = processes_.GetProcess(program.process);
        ended.exitStatus = status;
        processes_.EndProcess(program.process, clock_.Now() + ended.exitDelay);
        program.ended = true;
        GiveBack(program, false);
    });
    HandTo(program);

    StartOutcome outcome;
    outcome.ran = true;
    outcome.process = process;
    outcome.ended = program.ended;
    outcome.exitStatus = program.ended ? processes_.GetProcess(process).exitStatus : 0;
    return outcome;
}

int Driver::StartProcess(const std::string& image, const std::optional<std::string>& parameters,
                         const std::string& currentFolder) {
    return processes_.NewProcess(image, CommandLine(image, parameters), currentFolder);
}

StartOutcome Driver::RunProgram(ProgramEntry entry, const std::string& image,
                                const std::optional<std::string>& parameters,
                                const std::string& currentFolder, ProcessOptions options) {
    FileSystem::Located located;
    if (files_.Locate(image, processes_.CurrentProcess().currentFolder, located, false, false) != 0 ||
        located.node == nullptr || located.node->folder) {
        return StartOutcome{};  // nothing to start
    }
    int process = StartProcess(image, parameters, currentFolder);
    return Run(std::move(entry), process, parameters.value_or(""), options);
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
    // Killed before its entry ran (a virus scanner, say): it never runs.
    if (start.startedProcess == 0 || !processes_.ProcessRunning(start.startedProcess)) {
        return outcome;
    }
    return Run(std::move(entry), start.startedProcess, start.parameters.value_or(""), options);
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

bool Driver::Waiting(int process) const {
    for (const std::unique_ptr<Program>& program : programs_) {
        if (program->process == process && !program->ended) {
            return true;
        }
    }
    return false;
}

bool Driver::HoldUntil(Time deadline, std::function<bool()> ready) {
    Program* self = CallingProgram();
    if (self == nullptr) {
        return false;
    }
    self->waiting = true;
    self->deadline = deadline;
    self->ready = std::move(ready);
    GiveBack(*self, true);
    self->waiting = false;
    self->ready = nullptr;
    return true;
}

Driver::Program* Driver::EarliestWaiter(Time until) const {
    Program* earliest = nullptr;
    for (const std::unique_ptr<Program>& program : programs_) {
        if (program->waiting && program->deadline <= until &&
            (earliest == nullptr || program->deadline < earliest->deadline)) {
            earliest = program.get();
        }
    }
    return earliest;
}

void Driver::LetTimePass(Time ms) {
    const Time until = clock_.Now() + ms;
    while (Program* next = EarliestWaiter(until)) {
        if (next->deadline > clock_.Now()) {
            clock_.Advance(next->deadline - clock_.Now());
        }
        HandTo(*next);
    }
    if (clock_.Now() < until) {
        clock_.Advance(until - clock_.Now());
    }
}

void Driver::WakeWaiters() {
    // Each program let go on ends, or waits again for something that has not happened yet.
    for (size_t rounds = 0; rounds <= programs_.size(); ++rounds) {
        Program* ready = nullptr;
        for (const std::unique_ptr<Program>& program : programs_) {
            if (program->waiting && program->ready()) {
                ready = program.get();
                break;
            }
        }
        if (ready == nullptr) {
            return;
        }
        HandTo(*ready);
    }
}

void Driver::FinishWaits() {
    while (Program* next = EarliestWaiter(kForever)) {
        if (next->deadline == kForever) {
            Fail("a program waits for ever for something no program will do");
        }
        LetTimePass(next->deadline > clock_.Now() ? next->deadline - clock_.Now() : 0);
    }
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
