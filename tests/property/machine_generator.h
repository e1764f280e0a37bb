// Builds simulated machines with the product installed in ordinary and hostile ways: odd
// "InstallPath" values, paths at and past the length limit, look-alike files and keys, read-only,
// locked and denied things, deep key trees, a running product, lingering processes.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "choices.h"
#include "machine.h"

namespace property {

struct ValueRef {
    HKEY root;
    std::string path;
    std::string name;
};

// What the generator put on a machine, and how the user runs the uninstall there.
struct GeneratedMachine {
    std::vector<std::string> fileRoots;           // "C:", "D:", "\\SERVER\SHARE"
    std::vector<ValueRef> values;                 // every registry value written
    std::map<std::string, DWORD> fileAttributes;  // every file placed, by case-folded path
    std::string uninstallerImage;                 // the file the user starts
    std::string userFolder;                       // the folder it is started from
    sim::Time firstExit = 0;                      // how long the first process lingers after its hand-over
    sim::Time secondExit = 10;           // how long the second process lingers after writing the script
    bool startsAgainAtOnce = false;      // the user starts the same file again while the first lingers
    bool startsAgainInHandOver = false;  // ... after the first one's linger, before the copy runs
    bool startsAgainDuringCopy = false;  // ... and while the second process lingers, if it is still there
    bool typesSwitch = false;            // the user starts it with "/internally", as the copy is started
    bool silent = false;                 // ... and with "/S", as an administrator's script would
    bool productRunsOn = false;          // a product window stays past the first process's wait
    std::vector<std::string> description;

    std::string Describe() const;
};

// The step limit given to the command interpreter: a cleanup script still looping after this many
// lines, each taking kScriptLineCost ms of the virtual clock (a failing "del" and an "if exist"
// take a few milliseconds on a real machine), counts as one that never ends: about 100 s.
constexpr int kScriptStepLimit = 20000;
constexpr sim::Time kScriptLineCost = 5;

GeneratedMachine GenerateMachine(Choices& choices, sim::Machine& machine);

}  // namespace property
