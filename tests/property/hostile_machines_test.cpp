// Complete uninstalls on many generated machines, ordinary and hostile: whatever the machine looks
// like, nothing that is not the product's is removed or changed, every handle is closed, every loop
// and the cleanup script end, and the user sees no more than the expected boxes.
//
// Reproduce one machine with UNINSTALL_PROPERTY_SEED=<seed> UNINSTALL_PROPERTY_MACHINES=1.
// The machines are shared out to one worker process per core (UNINSTALL_PROPERTY_WORKERS=1: none):
// the simulated Windows is one per process, and the sanitizer build is slow.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "machine_generator.h"
#include "uninstall_run.h"
#include "watchdog.h"

namespace {

using property::GeneratedMachine;
using property::RunStats;

constexpr int kReportedFailures = 5;

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != 0 ? std::strtoull(text, nullptr, 0) : fallback;
}

struct Share {
    RunStats stats;
    int failed = 0;
    std::vector<std::string> reports;  // of the first few failures
};

// Every `workers`-th machine, starting with machine `worker`.
Share RunMachines(std::uint64_t firstSeed, int machines, int worker, int workers) {
    property::Watchdog watchdog(std::chrono::seconds(20));
    Share share;
    for (int i = worker; i < machines; i += workers) {
        const std::uint64_t seed = firstSeed + static_cast<std::uint64_t>(i);
        watchdog.Arm("UNINSTALL_PROPERTY_SEED=" + std::to_string(seed));
        sim::Machine machine;
        property::SeededChoices choices(seed);
        GeneratedMachine generated = property::GenerateMachine(choices, machine);
        std::vector<std::string> problems = property::UninstallAndCheck(machine, generated, &share.stats);
        if (problems.empty()) {
            continue;
        }
        if (++share.failed <= kReportedFailures) {
            std::string report = "machine UNINSTALL_PROPERTY_SEED=" + std::to_string(seed) +
                                 " UNINSTALL_PROPERTY_MACHINES=1\n";
            for (const std::string& problem : problems) {
                report += "  " + problem + "\n";
            }
            share.reports.push_back(report + "generated:\n" + generated.Describe());
        }
    }
    watchdog.Disarm();
    return share;
}

// Counts on the first line, then the reports, each ended by a NUL.
std::string Encode(const Share& share) {
    std::string text = share.stats.Encode() + std::to_string(share.failed) + "\n";
    for (const std::string& report : share.reports) {
        text += report + std::string(1, '\0');
    }
    return text;
}

Share Decode(const std::string& text) {
    Share share;
    size_t line = text.find('\n');
    if (line == std::string::npos) {
        return share;
    }
    std::string counts = text.substr(0, line);
    size_t last = counts.find_last_of(' ');
    share.stats = RunStats::Decode(counts.substr(0, last + 1));
    share.failed = std::atoi(counts.c_str() + last + 1);
    for (size_t start = line + 1; start < text.size();) {
        size_t end = text.find('\0', start);
        share.reports.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return share;
}

struct Worker {
    pid_t pid;
    int output;
};

// Forked before any thread of this process starts: the child takes only this one with it.
Worker StartWorker(std::uint64_t firstSeed, int machines, int worker, int workers) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return Worker{-1, -1};
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeEnds[0]);
        std::string text = Encode(RunMachines(firstSeed, machines, worker, workers));
        for (size_t done = 0; done < text.size();) {
            ssize_t wrote = write(pipeEnds[1], text.data() + done, text.size() - done);
            if (wrote <= 0) {
                _exit(2);
            }
            done += static_cast<size_t>(wrote);
        }
        close(pipeEnds[1]);
        _exit(0);
    }
    close(pipeEnds[1]);
    return Worker{pid, pipeEnds[0]};
}

bool FinishWorker(const Worker& worker, Share& share) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(worker.output, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(got));
    }
    close(worker.output);
    int status = 0;
    waitpid(worker.pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return false;
    }
    share = Decode(text);
    return true;
}

TEST(HostileMachines, NothingButTheProductIsRemovedAndEveryRunEnds) {
    const std::uint64_t firstSeed = EnvNumber("UNINSTALL_PROPERTY_SEED", 20240601);
    const int machines = static_cast<int>(EnvNumber("UNINSTALL_PROPERTY_MACHINES", 10000));
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int workers = std::max(
        1, std::min({static_cast<int>(EnvNumber("UNINSTALL_PROPERTY_WORKERS", 4)), cores, machines}));
    auto started = std::chrono::steady_clock::now();

    std::vector<Worker> children;
    for (int worker = 1; worker < workers; ++worker) {
        children.push_back(StartWorker(firstSeed, machines, worker, workers));
        ASSERT_GT(children.back().pid, 0) << "cannot start worker " << worker;
    }
    Share total = RunMachines(firstSeed, machines, 0, workers);
    for (size_t i = 0; i < children.size(); ++i) {
        Share share;
        if (!FinishWorker(children[i], share)) {
            ADD_FAILURE() << "worker " << i + 1 << " of " << workers << " did not finish (machines " << i + 1
                          << ", " << i + 1 + static_cast<size_t>(workers) << ", ... from seed " << firstSeed
                          << "); see its report above";
            continue;
        }
        total.stats.Add(share.stats);
        total.failed += share.failed;
        total.reports.insert(total.reports.end(), share.reports.begin(), share.reports.end());
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s, %d workers, %.1f s\n", total.stats.Describe().c_str(), workers, seconds);

    EXPECT_EQ(total.stats.machines, machines);
    EXPECT_EQ(total.failed, 0) << "machines broke a rule";
    for (const std::string& report : total.reports) {
        ADD_FAILURE() << report;
    }

    // The generator must keep producing every kind of run, or the checks above pass for nothing.
    if (machines >= 1000) {
        const RunStats& stats = total.stats;
        auto share = [&stats](int count) { return 100.0 * count / stats.machines; };
        EXPECT_GT(share(stats.cancelled), 3.0) << stats.Describe();
        EXPECT_GT(share(stats.secondPhases), 65.0) << stats.Describe();
        EXPECT_GT(share(stats.scriptsRun), 60.0) << stats.Describe();
        EXPECT_GT(share(stats.scriptsEndedClean), 60.0) << stats.Describe();
        EXPECT_GT(share(stats.installFoldersRemoved), 30.0) << stats.Describe();
        EXPECT_GT(share(stats.vendorFoldersRemoved), 20.0) << stats.Describe();
        EXPECT_GT(share(stats.productFilesRemoved), 40.0) << stats.Describe();
        EXPECT_GT(share(stats.missingPathMessages), 3.0) << stats.Describe();
        EXPECT_GT(share(stats.copyOrStartMessages), 5.0) << stats.Describe();
    }
}

}  // namespace
