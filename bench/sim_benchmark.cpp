// How the cost of a complete uninstall grows on the simulated Windows: with the number of files in
// the images folder and with the number of keys in the per-user product key. Prints a table; the
// times are the host's, the wait figures the virtual clock's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/installed_product.h"

namespace {

using testing_support::InstallProduct;
using testing_support::ProductLayout;

struct Run {
    double seconds = 0;
    bool clean = false;
    sim::Time secondPhaseWaited = 0;
    int scriptSteps = 0;
};

// How long a process slept, by the virtual clock.
sim::Time Slept(const sim::Machine& machine, int process) {
    sim::Time slept = 0;
    for (const sim::CallRecord& call : machine.journal.Calls()) {
        if (call.process == process && call.function == "Sleep") {
            slept += std::stoull(call.detail);
        }
    }
    return slept;
}

// One complete uninstall: the user's start, the temporary copy, the cleanup script.
Run CompleteUninstall(const std::function<void(sim::Machine&, const ProductLayout&)>& extra,
                      sim::Time firstExit) {
    sim::Machine machine;
    ProductLayout layout;
    InstallProduct(machine, layout);
    extra(machine, layout);
    testing_support::UninstallOptions options = testing_support::AsTheUserStartsIt(layout);
    options.firstExit = firstExit;
    auto start = std::chrono::steady_clock::now();
    testing_support::CompleteUninstallRun uninstall = testing_support::RunCompleteUninstall(machine, options);
    auto end = std::chrono::steady_clock::now();
    std::vector<sim::BatchRun> scripts = uninstall.Scripts();
    Run run;
    run.seconds = std::chrono::duration<double>(end - start).count();
    run.clean = !machine.files.Exists(layout.installFolder) && !machine.files.Exists(layout.TempCopy()) &&
                uninstall.starts.size() == 2 && scripts.size() == 1 && scripts[0].finished;
    run.secondPhaseWaited = Slept(machine, uninstall.copy.process);
    run.scriptSteps = scripts.empty() ? 0 : scripts[0].steps;
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Run Measure(const std::function<void(sim::Machine&, const ProductLayout&)>& extra, sim::Time firstExit = 0,
            int repeats = 5) {
    std::vector<double> times;
    Run last;
    for (int i = 0; i < repeats; ++i) {
        last = CompleteUninstall(extra, firstExit);
        times.push_back(last.seconds);
    }
    last.seconds = Median(times);
    return last;
}

void Row(const char* what, int items, const Run& run) {
    std::printf("| %-28s | %6d | %10.2f | %12.2f | %-5s |\n", what, items, run.seconds * 1e3,
                run.seconds * 1e6 / items, run.clean ? "yes" : "NO");
}

}  // namespace

int main() {
    std::printf("Complete uninstall on the simulated Windows (median of 5 runs)\n\n");
    std::printf("| %-28s | %6s | %10s | %12s | %-5s |\n", "what grows", "items", "total ms", "us per item",
                "clean");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(30, '-').c_str(), std::string(8, '-').c_str(),
                std::string(12, '-').c_str(), std::string(14, '-').c_str(), std::string(7, '-').c_str());
    for (int files : {100, 1000, 10000}) {
        Row("files in the images folder", files,
            Measure([files](sim::Machine& machine, const ProductLayout& layout) {
                for (int i = 0; i < files; ++i) {
                    machine.files.AddFile(
                        layout.installFolder + "\\images\\picture" + std::to_string(i) + ".bmp", "x");
                }
            }));
    }
    for (int keys : {10, 100, 1000}) {
        // Ten children a key, as deep as the count needs.
        Row("keys in the per-user tree", keys, Measure([keys](sim::Machine& machine, const ProductLayout&) {
                std::vector<std::string> level = {testing_support::kProductKey};
                int made = 0;
                while (made < keys) {
                    std::vector<std::string> next;
                    for (const std::string& parent : level) {
                        for (int i = 0; i < 10 && made < keys; ++i, ++made) {
                            next.push_back(parent + "\\Key" + std::to_string(i));
                            machine.registry.AddKey(HKEY_CURRENT_USER, next.back());
                        }
                    }
                    level = next;
                }
            }));
    }
    std::printf("\nThe wait for the first process (virtual clock)\n\n");
    std::printf("| %-34s | %14s | %20s |\n", "first process lets go after", "second waits",
                "script lines run");
    std::printf("|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(16, '-').c_str(),
                std::string(22, '-').c_str());
    for (sim::Time exit : {sim::Time{0}, sim::Time{120}, sim::Time{1000}, sim::Time{5000}}) {
        Run run = Measure([](sim::Machine&, const ProductLayout&) {}, exit, 1);
        std::printf("| %31llu ms | %11llu ms | %20d |\n", static_cast<unsigned long long>(exit),
                    static_cast<unsigned long long>(run.secondPhaseWaited), run.scriptSteps);
    }
    return 0;
}
