// libFuzzer target: the fuzzer's bytes choose the machine (each byte one of the generator's
// decisions), a complete uninstall runs on it, and any broken rule ends the process with a crash
// report, like a sanitizer finding. How to run it longer: see fuzzer.cmake beside this file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "choices.h"
#include "machine_generator.h"
#include "uninstall_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sim::Machine machine;
    property::ByteChoices choices(data, size);
    property::GeneratedMachine generated = property::GenerateMachine(choices, machine);
    std::vector<std::string> problems = property::UninstallAndCheck(machine, generated);
    if (!problems.empty()) {
        std::fprintf(stderr, "uninstall broke %zu rule(s):\n", problems.size());
        for (const std::string& problem : problems) {
            std::fprintf(stderr, "  %s\n", problem.c_str());
        }
        std::fprintf(stderr, "on the machine:\n%s", generated.Describe().c_str());
        std::abort();
    }
    return 0;
}
