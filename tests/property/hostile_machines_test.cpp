// Complete uninstalls on many generated machines, ordinary and hostile: whatever the machine looks
// like, nothing that is not the product's is removed or changed, every handle is closed, every loop
// and the cleanup script end, and the user sees no more than the expected boxes.
//
// Reproduce one machine with UNINSTALL_PROPERTY_SEED=<seed> UNINSTALL_PROPERTY_MACHINES=1.
// The machines are shared out to one thread per core (UNINSTALL_PROPERTY_WORKERS=1: all on the
// test's own thread), each with its own simulated Windows: the sanitizer build is slow.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "machine_generator.h"
#include "uninstall_run.h"
#include "watchdog.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/common_interface_defs.h>
#define UNINSTALL_SANITIZER_DEATH_CALLBACK 1
#endif
#endif

namespace {

using property::GeneratedMachine;
using property::RunStats;

constexpr int kReportedFailures = 5;
constexpr int kMaxWorkers = 64;

// The machine each thread is on: a sanitizer finding ends the whole process, and its report then
// names them.
std::atomic<std::uint64_t> runningSeeds[kMaxWorkers];

void ReportRunningMachines() {
    for (const auto& seed : runningSeeds) {
        if (std::uint64_t value = seed.load()) {
            std::fprintf(stderr, "was running machine UNINSTALL_PROPERTY_SEED=%llu\n",
                         static_cast<unsigned long long>(value));
        }
    }
}

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
        runningSeeds[worker] = seed;
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
    runningSeeds[worker] = 0;
    return share;
}

TEST(HostileMachines, NothingButTheProductIsRemovedAndEveryRunEnds) {
    const std::uint64_t firstSeed = EnvNumber("UNINSTALL_PROPERTY_SEED", 20240601);
    const int machines = static_cast<int>(EnvNumber("UNINSTALL_PROPERTY_MACHINES", 10000));
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int workers = std::max(1, std::min({static_cast<int>(EnvNumber("UNINSTALL_PROPERTY_WORKERS", 4)),
                                              cores, machines, kMaxWorkers}));
#ifdef UNINSTALL_SANITIZER_DEATH_CALLBACK
    __sanitizer_set_death_callback(ReportRunningMachines);
#endif
    auto started = std::chrono::steady_clock::now();

    // One thread per worker, each with its own machines: the Windows functions act on the machine
    // of the thread that calls them.
    std::vector<Share> shares(static_cast<size_t>(workers));
    std::vector<std::thread> threads;
    for (int worker = 1; worker < workers; ++worker) {
        threads.emplace_back([&shares, firstSeed, machines, worker, workers] {
            shares[static_cast<size_t>(worker)] = RunMachines(firstSeed, machines, worker, workers);
        });
    }
    shares[0] = RunMachines(firstSeed, machines, 0, workers);
    Share total;
    for (size_t i = 0; i < shares.size(); ++i) {
        if (i > 0) {
            threads[i - 1].join();
        }
        total.stats.Add(shares[i].stats);
        total.failed += shares[i].failed;
        total.reports.insert(total.reports.end(), shares[i].reports.begin(), shares[i].reports.end());
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s, %d threads, %.1f s\n", total.stats.Describe().c_str(), workers, seconds);

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
        // A product that runs on ends a run before its second phase too, when the user cancels.
        EXPECT_GT(share(stats.secondPhases), 60.0) << stats.Describe();
        EXPECT_GT(share(stats.scriptsRun), 60.0) << stats.Describe();
        EXPECT_GT(share(stats.scriptsEndedClean), 60.0) << stats.Describe();
        EXPECT_GT(share(stats.installFoldersRemoved), 30.0) << stats.Describe();
        EXPECT_GT(share(stats.vendorFoldersRemoved), 20.0) << stats.Describe();
        EXPECT_GT(share(stats.productFilesRemoved), 40.0) << stats.Describe();
        EXPECT_GT(share(stats.readOnlyFilesRemoved), 5.0) << stats.Describe();
        EXPECT_GT(share(stats.percentTempSecondPhases), 0.5) << stats.Describe();
        EXPECT_GT(share(stats.missingPathMessages), 3.0) << stats.Describe();
        EXPECT_GT(share(stats.copyOrStartMessages), 5.0) << stats.Describe();
    }
}

}  // namespace
