// The registry: the machine-wide entries and product key (with "InstallPath", in
// generate_install_path.cpp), the per-user product keys in many shapes, and the vendor keys.
#include "generator_parts.h"

namespace property {
namespace generator {

namespace {

void AddKeyTree(Builder& b, HKEY root, const std::string& path, int depth, int width, int& budget,
                bool denials) {
    if (depth <= 0 || budget <= 0) {
        return;
    }
    int children = b.c.Pick(width + 1);
    for (int i = 0; i < children && budget > 0; ++i) {
        std::string child = path + "\\" + RandomName(b.c, 1 + static_cast<size_t>(b.c.Pick(12)));
        --budget;
        b.m.registry.AddKey(root, child);
        if (denials && b.c.Chance(4)) {
            b.m.registry.DenyKeyOpen(root, child);
            b.Note("key open denied: " + child);
        }
        if (denials && b.c.Chance(4)) {
            b.m.registry.DenyKeyDelete(root, child);
            b.Note("key delete denied: " + child);
        }
        AddKeyTree(b, root, child, depth - 1, width, budget, denials);
    }
}

using UserKeysBuild = void (*)(Builder& b, const std::string& product, bool denials);

const Choice<UserKeysBuild> kUserProductKeys[] = {
    {50, "per-user product keys as the product writes them",
     [](Builder& b, const std::string& product, bool) {
         b.String(HKEY_CURRENT_USER, product, "Registered", "no");
         b.String(HKEY_CURRENT_USER, product + "\\Settings\\Window", "Left", "10");
         b.String(HKEY_CURRENT_USER, product + "\\Settings\\Sound", "Volume", "7");
         b.m.registry.AddKey(HKEY_CURRENT_USER, product + "\\Recent\\Games\\Level 1");
     }},
    {10, "no per-user product key", [](Builder&, const std::string&, bool) {}},
    {15, "random per-user key tree",
     [](Builder& b, const std::string& product, bool denials) {
         b.Key(HKEY_CURRENT_USER, product);
         int budget = 60;
         AddKeyTree(b, HKEY_CURRENT_USER, product, 2 + b.c.Pick(5), 1 + b.c.Pick(5), budget, denials);
     }},
    {8, "deep per-user key chain",
     [](Builder& b, const std::string& product, bool denials) {
         // Down to where the paths no longer fit.
         std::string path = product;
         int depth = 5 + b.c.Pick(40);
         for (int i = 0; i < depth; ++i) {
             path += "\\" + RandomName(b.c, 1 + static_cast<size_t>(b.c.Pick(20)));
             b.m.registry.AddKey(HKEY_CURRENT_USER, path);
         }
         if (denials && b.c.Chance(50)) {
             b.m.registry.DenyKeyDelete(HKEY_CURRENT_USER, path);
         }
         b.Note("deep per-user key chain, " + std::to_string(path.size()) + " characters");
     }},
    {7, "wide per-user key",
     [](Builder& b, const std::string& product, bool denials) {
         int width = 20 + b.c.Pick(180);
         for (int i = 0; i < width; ++i) {
             std::string child = product + "\\Entry " + std::to_string(i);
             b.m.registry.AddKey(HKEY_CURRENT_USER, child);
             if (denials && b.c.Chance(3)) {
                 b.m.registry.DenyKeyDelete(HKEY_CURRENT_USER, child);
             }
         }
         b.Note("wide per-user key, " + std::to_string(width) + " children");
     }},
    {5, "per-user keys with long names",
     [](Builder& b, const std::string& product, bool) {
         // Names that make the child paths just fit, or not.
         for (size_t length : {200u, 220u, 226u, 227u, 228u, 229u, 240u, 255u}) {
             std::string child = product + "\\" + std::string(length, 'n') + "\\" + std::string(8, 'm');
             b.m.registry.AddKey(HKEY_CURRENT_USER, child);
         }
     }},
    {5, "per-user keys that cannot be opened or deleted",
     [](Builder& b, const std::string& product, bool) {
         b.String(HKEY_CURRENT_USER, product, "Registered", "yes");
         b.m.registry.DenyKeyOpen(HKEY_CURRENT_USER, product + "\\Locked");
         b.m.registry.DenyKeyDelete(HKEY_CURRENT_USER, product + "\\Kept");
         b.Key(HKEY_CURRENT_USER, product + "\\Kept\\Child");
         b.Key(HKEY_CURRENT_USER, product + "\\After");
     }},
};

// Returns whether the key was written.
using ProductKeyBuild = bool (*)(Builder& b, const Install& install, const std::string& tempFolder);

const Choice<ProductKeyBuild> kMachineProductKeys[] = {
    {90, "the machine-wide product key as installed",
     [](Builder& b, const Install& install, const std::string& tempFolder) {
         WriteInstallPath(b, install, tempFolder);
         b.String(HKEY_LOCAL_MACHINE, kProductKey, "Version", "1.0");
         return true;
     }},
    {5, "no InstallPath value",
     [](Builder& b, const Install&, const std::string&) {
         b.String(HKEY_LOCAL_MACHINE, kProductKey, "Version", "1.0");
         return true;
     }},
    {5, "no machine-wide product key", [](Builder&, const Install&, const std::string&) { return false; }},
};

}  // namespace

void AddUserProductKeys(Builder& b) {
    const std::string product = kProductKey;
    bool denials = b.Odd(25);
    b.Any(kUserProductKeys).build(b, product, denials);
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(HKEY_CURRENT_USER, product);
        b.Note("per-user product key cannot be opened");
    }
}

void AddVendorKeys(Builder& b, HKEY root) {
    std::string name = root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU";
    if (b.c.Chance(15)) {
        b.String(root, std::string(kVendorKey) + "\\Other Game", "Level", "3");
        b.Note(name + " vendor key holds another product");
    }
    if (b.c.Chance(10)) {
        b.String(root, kVendorKey, "Company", "VORSK");
    }
    if (b.c.Chance(8)) {
        b.Key(root, std::string(kVendorKey) +
                        b.c.OneOf(std::vector<std::string>{"\\Tandrel2", "\\Tandrel 98", "\\Tandrel.old"}));
        b.Note(name + " vendor key holds a look-alike");
    }
    if (b.c.Chance(8)) {
        b.Key(root, b.c.OneOf(std::vector<std::string>{"Software\\VORSK Software Ltd", "Software\\VORSK",
                                                       "Software\\VORSK Software2"}));
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyDelete(root, kVendorKey);
        b.Note(name + " vendor key cannot be deleted");
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(root, kVendorKey);
        b.Note(name + " vendor key cannot be opened");
    }
}

void AddMachineKeys(Builder& b) {
    const std::string& entry = kUninstallEntry;
    if (b.c.Chance(90)) {
        b.String(HKEY_LOCAL_MACHINE, entry, "DisplayName", kProductName);
    }
    if (b.Odd(5)) {
        b.Key(HKEY_LOCAL_MACHINE, entry + "\\Details");
    }
    if (b.Odd(4)) {
        b.m.registry.DenyKeyDelete(HKEY_LOCAL_MACHINE, entry);
        b.Note("uninstall entry cannot be deleted");
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(HKEY_LOCAL_MACHINE, kUninstallKey);
        b.Note("uninstall key cannot be opened");
    }
    b.String(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\OtherApp", "DisplayName", "Other");
    for (const char* lookAlike : {"\\VorskTandrel2", "\\VorskTandrel.old", "\\VORSK Tandrel 98"}) {
        if (b.c.Chance(5)) {
            b.Key(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + lookAlike);
        }
    }

    const std::string& appPath = kAppPathsEntry;
    if (b.c.Chance(90)) {
        b.String(HKEY_LOCAL_MACHINE, appPath, "", Join(kDefaultInstallFolder, kMainExecutable));
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyDelete(HKEY_LOCAL_MACHINE, appPath);
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(HKEY_LOCAL_MACHINE, kAppPathsKey);
    }
    b.String(HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + "\\other.exe", "", "C:\\Other\\other.exe");
    for (const char* lookAlike : {"\\Tandrel.exe.bak", "\\Tandrel", "\\Tandrel.ex"}) {
        if (b.c.Chance(5)) {
            b.Key(HKEY_LOCAL_MACHINE, std::string(kAppPathsKey) + lookAlike);
        }
    }
    b.String(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Tool", "InstallPath", "C:\\Other");
    b.String(HKEY_CURRENT_USER, "Software\\Other Vendor\\Tool", "Colour", "blue");
}

void AddMachineProductKey(Builder& b, const Install& install, const std::string& tempFolder) {
    if (!b.Variant(kMachineProductKeys).build(b, install, tempFolder)) {
        return;
    }
    if (b.Odd(8)) {
        b.String(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\Plugins\\Extra", "Count", "2");
        b.Note("machine-wide product key has child keys");
    }
    if (b.Odd(4)) {
        b.m.registry.DenyKeyDelete(HKEY_LOCAL_MACHINE, kProductKey);
        b.Note("machine-wide product key cannot be deleted");
    }
    if (b.Odd(3)) {
        b.m.registry.DenyKeyOpen(HKEY_LOCAL_MACHINE, kProductKey);
        b.Note("machine-wide product key cannot be opened");
    }
}

}  // namespace generator
}  // namespace property
