#include "machine_generator.h"

#include "generator_parts.h"

namespace property {

std::string GeneratedMachine::Describe() const {
    std::string text;
    for (const std::string& line : description) {
        text += "  " + line + "\n";
    }
    return text;
}

GeneratedMachine GenerateMachine(Choices& choices, sim::Machine& machine) {
    using namespace generator;
    GeneratedMachine generated;
    Builder b(choices, machine, generated);
    b.hostility = choices.Weighted({40, 30, 30});
    b.Note("hostility " + std::to_string(b.hostility));
    machine.driver.SetBatchStepLimit(kScriptStepLimit);
    machine.driver.SetBatchLineCost(kScriptLineCost);
    generated.fileRoots.push_back("C:");
    b.Root("D:");
    b.Root(kShare);
    if (choices.Chance(25)) {
        machine.registry.SetKeyDeletion(sim::KeyDeletion::Win9x);
        b.Note("9x key deletion");
    }
    if (choices.Chance(20)) {
        // The user turned on delayed expansion for the command interpreter: "!" starts a variable.
        b.Value(choices.Chance(50) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                "Software\\Microsoft\\Command Processor", "DelayedExpansion", REG_DWORD,
                std::string("\x01\0\0\0", 4));
        b.Note("delayed expansion on");
    }

    // Other programs' files, which must survive.
    b.File("C:\\WINDOWS\\win.ini", "[windows]");
    b.File("C:\\Other\\other.exe", "other");
    if (choices.Chance(30)) {
        b.File("C:\\WINDOWS\\SYSTEM\\user.exe", "system");
        b.File("C:\\Apps\\Other App\\app.exe", "another app");
    }
    if (choices.Chance(10)) {
        for (const char* path :
             {"C:\\Tandrel.exe", "C:\\uninstall.exe", "C:\\images\\x.bmp", "C:\\WINDOWS\\Tandrel.exe",
              "D:\\Tandrel.exe", "\\\\SERVER\\SHARE\\la.txt"}) {
            b.File(path, "somebody else's file named like the product's");
        }
    }

    Install install = ChooseInstallFolder(b);
    if (install.placed) {
        PlaceProductFiles(b, install);
    }
    std::string tempFolder = ChooseTempFolder(b, install);
    AddMachineKeys(b);
    AddMachineProductKey(b, install, tempFolder);
    AddUserProductKeys(b);
    AddVendorKeys(b, HKEY_CURRENT_USER);
    AddVendorKeys(b, HKEY_LOCAL_MACHINE);
    AddShortcuts(b, install, tempFolder);
    AddRunningProduct(b, install);
    AddTraps(b, tempFolder);
    ChooseUserStart(b, install, tempFolder);
    return generated;
}

}  // namespace property
