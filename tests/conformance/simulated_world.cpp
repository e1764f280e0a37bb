// The conformance probes on the simulated Windows: the same world the Wine side starts them in (the
// probe program at C:\probe\probe.exe, the temporary folder, a 64-bit or 32-bit Windows), then the
// cleanup scripts run by the simulated command interpreter, then the probes of what the scripts left.
#include <cstdio>
#include <string>

#include "conformance/probes.h"
#include "machine.h"

namespace {

std::string g_stage;

int WINAPI ProbeEntry(HINSTANCE, HINSTANCE, LPSTR, int) {
    return conformance::RunProbes(g_stage.c_str());
}

}  // namespace

// --windows32: the Windows of a 32-bit Wine prefix, which has no SysWOW64.
int main(int argc, char** argv) {
    sim::Machine machine;
    if (argc > 1 && std::string(argv[1]) == "--windows32") {
        machine.modules.StubFunction("GetSystemWow64DirectoryA");
    }
    machine.files.AddFolder(conformance::kImageFolder);
    machine.files.AddFile(conformance::kImagePath, "MZ");
    machine.files.SetTempPath(std::string(conformance::kTempFolder) + "\\");
    g_stage = "";
    machine.driver.RunProgram(&ProbeEntry, conformance::kImagePath, std::nullopt, conformance::kImageFolder);
    for (int i = 0; i < conformance::kBatchCaseCount; ++i) {
        char folder[MAX_PATH];
        conformance::BatchFolder(conformance::kBatchCases[i], folder, sizeof folder);
        // Where Wine's cmd is started with /v:on, the simulated one reads the user's setting.
        bool delayed = conformance::kBatchCases[i].mode == conformance::BatchMode::DelayedExpansion;
        machine.registry.SetValue(HKEY_CURRENT_USER, "Software\\Microsoft\\Command Processor",
                                  "DelayedExpansion", REG_DWORD,
                                  std::string(delayed ? "\x01" : "\x00", 1) + std::string(3, '\0'));
        sim::BatchRun run = machine.driver.RunBatch(std::string(folder) + "\\delme1.bat", folder);
        if (!run.finished) {
            std::printf("batch.%s.run: did not finish\n", conformance::kBatchCases[i].key);
        }
    }
    g_stage = "after";
    machine.driver.RunProgram(&ProbeEntry, conformance::kImagePath, std::string("after"),
                              conformance::kImageFolder);
    std::fflush(stdout);
    return 0;
}
