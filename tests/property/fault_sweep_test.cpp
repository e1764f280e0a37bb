// Every platform call of a complete uninstall fails once, in turn: the k-th call of the run fails
// with an error that call can give, for every k up to the number of calls a run without faults
// makes. Whatever fails, nothing that is not the product's is removed, every handle is closed and a
// started cleanup script ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "choices.h"
#include "machine_generator.h"
#include "uninstall_run.h"

namespace {

using property::GeneratedMachine;

// The errors a call can plausibly fail with. Calls that cannot fail (string functions, Sleep,
// GetLastError) are still given one: the fault must then change nothing.
std::vector<sim::Fault> FaultsFor(const sim::CallRecord& call, int k) {
    auto fault = [k](DWORD error, int partialBytes = -1) { return sim::Fault{"", k, error, partialBytes}; };
    const std::string& f = call.function;
    if (f == "RegOpenKeyExA" || f == "RegCreateKeyExA") {
        return {fault(ERROR_ACCESS_DENIED), fault(ERROR_FILE_NOT_FOUND)};
    }
    if (f == "RegQueryValueExA") {
        return {fault(ERROR_ACCESS_DENIED), fault(ERROR_MORE_DATA)};
    }
    if (f == "RegEnumKeyExA") {
        return {fault(ERROR_ACCESS_DENIED), fault(ERROR_MORE_DATA), fault(ERROR_NO_MORE_ITEMS)};
    }
    if (f == "RegCloseKey" || f == "FindClose") {
        return {fault(ERROR_INVALID_HANDLE)};
    }
    if (f == "GetModuleFileNameA") {
        return {fault(ERROR_INSUFFICIENT_BUFFER)};
    }
    if (f == "CopyFileA") {
        return {fault(ERROR_DISK_FULL), fault(ERROR_SHARING_VIOLATION)};
    }
    if (f == "DeleteFileA") {
        return {fault(ERROR_ACCESS_DENIED), fault(ERROR_SHARING_VIOLATION), fault(ERROR_FILE_NOT_FOUND)};
    }
    if (f == "RemoveDirectoryA") {
        return {fault(ERROR_SHARING_VIOLATION), fault(ERROR_DIR_NOT_EMPTY)};
    }
    if (f == "CreateFileA") {
        return {fault(ERROR_ACCESS_DENIED), fault(ERROR_FILE_EXISTS), fault(ERROR_DISK_FULL)};
    }
    if (f == "WriteFile") {
        // The disk fills up after any number of the bytes, or the write reports success with a
        // short count: a script cut at any byte could name other files.
        int length = std::stoi(call.detail);
        std::vector<sim::Fault> faults = {fault(ERROR_WRITE_FAULT)};
        for (int written = 0; written < length; ++written) {
            faults.push_back(fault(ERROR_DISK_FULL, written));
            faults.push_back(fault(0, written));
        }
        return faults;
    }
    if (f == "CloseHandle") {
        return {fault(ERROR_DISK_FULL)};
    }
    if (f == "MessageBoxA") {
        return {fault(ERROR_NOT_ENOUGH_MEMORY)};
    }
    if (f == "ShellExecuteA") {
        return {fault(0), fault(5), fault(31)};  // out of memory, SE_ERR_ACCESSDENIED, SE_ERR_NOASSOC
    }
    return {fault(ERROR_ACCESS_DENIED)};
}

struct Base {
    std::string name;
    std::vector<std::uint8_t> bytes;  // the generator's choices; none: an ordinary machine
    std::uint64_t seed = 0;
};

GeneratedMachine Generate(const Base& base, sim::Machine& machine) {
    if (base.seed != 0) {
        property::SeededChoices choices(base.seed);
        return property::GenerateMachine(choices, machine);
    }
    property::ByteChoices choices(base.bytes.data(), base.bytes.size());
    return property::GenerateMachine(choices, machine);
}

// A seeded machine whose run without faults removes the installation folder and ends clean, and
// which has the given odd feature in its description.
Base FindComplete(const std::string& feature, std::uint64_t from) {
    for (std::uint64_t seed = from; seed < from + 5000; ++seed) {
        sim::Machine machine;
        property::SeededChoices choices(seed);
        GeneratedMachine generated = property::GenerateMachine(choices, machine);
        if (generated.Describe().find(feature) == std::string::npos) {
            continue;
        }
        property::RunStats stats;
        if (property::UninstallAndCheck(machine, generated, &stats).empty() &&
            stats.installFoldersRemoved == 1 && stats.scriptsEndedClean == 1) {
            return Base{feature, {}, seed};
        }
    }
    ADD_FAILURE() << "no complete uninstall found with: " << feature;
    return Base{feature, {}, from};
}

TEST(FaultSweep, EveryCallOfACompleteUninstallFailingInTurnRemovesNothingElse) {
    std::vector<Base> bases = {Base{"an ordinary machine", {}, 0},
                               FindComplete("product running, closes", 77000),
                               FindComplete("9x key deletion", 78000)};
    property::RunStats total;
    int runs = 0;
    for (const Base& base : bases) {
        SCOPED_TRACE(base.name + (base.seed != 0 ? ", seed " + std::to_string(base.seed) : ""));
        std::vector<sim::CallRecord> clean;
        {
            sim::Machine machine;
            GeneratedMachine generated = Generate(base, machine);
            property::RunStats stats;
            std::vector<std::string> problems = property::UninstallAndCheck(machine, generated, &stats);
            ASSERT_TRUE(problems.empty()) << problems.front();
            ASSERT_EQ(stats.installFoldersRemoved, 1) << "the sweep needs a complete uninstall";
            ASSERT_EQ(stats.scriptsEndedClean, 1) << "the sweep needs a complete uninstall";
            clean = machine.journal.Calls();
        }
        ASSERT_GT(clean.size(), 100u);
        for (size_t k = 1; k <= clean.size(); ++k) {
            for (const sim::Fault& fault : FaultsFor(clean[k - 1], static_cast<int>(k))) {
                sim::Machine machine;
                GeneratedMachine generated = Generate(base, machine);
                machine.journal.InjectFault(fault);
                property::RunStats stats;
                std::vector<std::string> problems = property::UninstallAndCheck(machine, generated, &stats);
                ++runs;
                // The run is the same as the clean one up to the fault, so the fault hit this call.
                const std::vector<sim::CallRecord>& journal = machine.journal.Calls();
                bool hit = journal.size() >= k && journal[k - 1].function == clean[k - 1].function &&
                           journal[k - 1].faulted;
                stats.faultsInjected = hit ? 1 : 0;
                total.Add(stats);
                if (!problems.empty() || !hit) {
                    std::string report;
                    for (const std::string& problem : problems) {
                        report += "  " + problem + "\n";
                    }
                    ADD_FAILURE() << "call " << k << " " << clean[k - 1].function << " "
                                  << clean[k - 1].detail << " failing with " << fault.error << " (partial "
                                  << fault.partialBytes << ")" << (hit ? "" : ": the fault missed its call")
                                  << "\n"
                                  << report;
                }
            }
        }
        std::printf("%s: %zu calls swept\n", base.name.c_str(), clean.size());
    }
    std::printf("%d faulted runs: %s\n", runs, total.Describe().c_str());
    EXPECT_EQ(total.faultsInjected, runs);
    // The faults must reach the later tasks too, not only stop the first phase.
    EXPECT_GT(total.secondPhases, runs / 2);
    EXPECT_GT(total.scriptsRun, runs / 2);
}

}  // namespace
