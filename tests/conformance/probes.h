// The conformance probes: short sequences of Windows calls whose results are printed one line each,
// "key: result", the same way on Windows (Wine) and on the simulated Windows, so that the two outputs
// can be compared line by line.
#pragma once

namespace conformance {

// Where the probes run: the probe program is C:\probe\probe.exe, started with C:\probe as its current
// folder, and works below C:\conf, which it creates. The temporary folder is set to kTempFolder
// (without its trailing backslash) by whoever starts the program.
constexpr const char* kImagePath = "C:\\probe\\probe.exe";
constexpr const char* kImageFolder = "C:\\probe";
constexpr const char* kTempFolder = "C:\\conf\\Temp Dir";

// How a cleanup script is started: `cmd /c script`, or `cmd /v:on /c script` (delayed expansion).
enum class BatchMode { Plain, DelayedExpansion };

// One cleanup script of the form the uninstaller writes, in a folder whose name holds characters
// that the command interpreter treats specially. `folderName` is the folder's name in the ANSI code
// page (1252); `scriptName` the same name as the script spells it.
struct BatchCase {
    const char* key;
    const char* folderName;
    const char* scriptName;
    BatchMode mode;
};

extern const BatchCase kBatchCases[];
extern const int kBatchCaseCount;

// The folder of a batch case ("C:\conf\b\<folderName>"); the script is "<folder>\delme1.bat", run
// with the folder as the current folder.
void BatchFolder(const BatchCase& batch, char* out, int size);

// Runs the probes of one stage and prints their lines on standard output. Stage "" runs every probe
// and writes the scripts; stage "after" prints what the scripts left; stage "scripts" prints, for
// whoever runs the scripts, one line per script: "plain" or "delayed", a space and its folder. Returns the
// exit status.
int RunProbes(const char* stage);

}  // namespace conformance
