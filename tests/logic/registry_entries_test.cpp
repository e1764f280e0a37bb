// Removal of the product's registry entries: the per-user key tree at any depth and width, the
// machine-wide product key, the App Paths entry, and the vendor keys once nothing else is in them.
#include <gtest/gtest.h>

#include <algorithm>

#include "registry/registry_tasks.h"
#include "support/handles.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

std::string Below(const std::string& path, const std::string& child) {
    return path + "\\" + child;
}

std::string Numbered(const char* prefix, int n) {
    std::string digits = std::to_string(n);
    return prefix + std::string(3 - digits.size(), '0') + digits;
}

bool Contains(const std::vector<std::string>& items, const std::string& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}

TEST(DeleteKeyTree, EmptiesDeepAndWideTreesButKeepsTheKeyItselfAndItsValues) {
    sim::Machine machine;
    machine.registry.SetString(HKEY_CURRENT_USER, kProductKey, "Registered", "no");
    std::string deep = kProductKey;
    for (int level = 1; level <= 30; ++level) {
        deep = Below(deep, "D" + std::to_string(level));
    }
    machine.registry.SetString(HKEY_CURRENT_USER, deep, "Bottom", "30");
    for (int n = 1; n <= 200; ++n) {
        std::string child = Below(kProductKey, Numbered("W", n));
        machine.registry.SetString(HKEY_CURRENT_USER, child, "Value", std::to_string(n));
        machine.registry.AddKey(HKEY_CURRENT_USER, Below(child, "Grandchild"));
    }
    // Beside and above the product key, and the same path under the other root: all untouched.
    machine.registry.SetString(HKEY_CURRENT_USER, Below(kVendorKey, "Other Product"), "Colour", "blue");
    machine.registry.SetString(HKEY_LOCAL_MACHINE, Below(kProductKey, "Plugins"), "Count", "2");
    const std::vector<std::string> machineKeys = machine.registry.AllKeys(HKEY_LOCAL_MACHINE);

    DeleteKeyTree(kProductKey);

    EXPECT_TRUE(machine.registry.HasKey(HKEY_CURRENT_USER, kProductKey));
    EXPECT_TRUE(machine.registry.ChildKeys(HKEY_CURRENT_USER, kProductKey).empty());
    EXPECT_EQ(machine.registry.GetValue(HKEY_CURRENT_USER, kProductKey, "Registered")->data,
              std::string("no\0", 3));
    EXPECT_TRUE(machine.registry.HasKey(HKEY_CURRENT_USER, Below(kVendorKey, "Other Product")));
    EXPECT_EQ(machine.registry.AllKeys(HKEY_LOCAL_MACHINE), machineKeys);
    EXPECT_TRUE(NoHandlesOpen(machine));
}

// A link is somebody's way into keys this program may write and he may not: it is never entered and
// never deleted through, and stays like a key that cannot be deleted.
TEST(DeleteKeyTree, AChildThatStaysDoesNotStopItsSiblings) {
    enum Kind { kDenyDelete, kDenyOpen, kLinkToMachine, kLinkToUser };
    struct Case {
        const char* name;
        Kind kind;
    };
    for (const Case& c : {Case{"cannot be deleted", kDenyDelete}, Case{"cannot be opened", kDenyOpen},
                          Case{"a link to machine-wide keys", kLinkToMachine},
                          Case{"a link to other keys of the user", kLinkToUser}}) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        bool link = c.kind == kLinkToMachine || c.kind == kLinkToUser;
        for (const char* child : {"A", "B", "C", "D"}) {
            if (!link || std::string(child) != "B") {
                machine.registry.AddKey(HKEY_CURRENT_USER, Below(Below(kProductKey, child), "Inner"));
            }
        }
        const std::string stuck = Below(kProductKey, "B");
        HKEY victimRoot = c.kind == kLinkToMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        machine.registry.SetString(victimRoot, "Software\\Victim\\Inner", "Owner", "somebody else");
        if (c.kind == kDenyDelete) {
            machine.registry.DenyKeyDelete(HKEY_CURRENT_USER, stuck);
        } else if (c.kind == kDenyOpen) {
            machine.registry.DenyKeyOpen(HKEY_CURRENT_USER, stuck);
        } else {
            machine.registry.AddLink(HKEY_CURRENT_USER, Below(kProductKey, "Settings"), victimRoot,
                                     "Software\\Victim");
            machine.registry.AddLink(HKEY_CURRENT_USER, stuck, victimRoot, "Software\\Victim\\Inner");
        }

        DeleteKeyTree(kProductKey);

        EXPECT_EQ(machine.registry.ChildKeys(HKEY_CURRENT_USER, kProductKey),
                  link ? (std::vector<std::string>{"B", "Settings"}) : std::vector<std::string>{"B"});
        // A key that can be opened is still emptied; one that cannot keeps what is below it.
        EXPECT_EQ(machine.registry.HasKey(HKEY_CURRENT_USER, Below(stuck, "Inner")), c.kind == kDenyOpen);
        EXPECT_TRUE(machine.registry.GetValue(victimRoot, "Software\\Victim\\Inner", "Owner").has_value());
        EXPECT_TRUE(NoHandlesOpen(machine));

        // The product key keeps its child, so it stays, and the vendor key with it.
        RemoveRegistryEntries();
        EXPECT_TRUE(machine.registry.HasKey(HKEY_CURRENT_USER, stuck));
        EXPECT_TRUE(machine.registry.HasKey(HKEY_CURRENT_USER, kVendorKey));
        EXPECT_TRUE(machine.registry.GetValue(victimRoot, "Software\\Victim\\Inner", "Owner").has_value());
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

// The product's own keys and entries may be links too: none is deleted through.
TEST(RemoveRegistryEntries, AProductKeyOrEntryThatIsALinkIsLeftAloneAndSoIsItsTarget) {
    struct Case {
        HKEY root;
        std::string link;
    };
    for (const Case& c : {Case{HKEY_CURRENT_USER, kProductKey}, Case{HKEY_CURRENT_USER, kVendorKey},
                          Case{HKEY_LOCAL_MACHINE, kProductKey}, Case{HKEY_LOCAL_MACHINE, kAppPathsEntry},
                          Case{HKEY_LOCAL_MACHINE, kUninstallEntry}}) {
        SCOPED_TRACE(c.link);
        sim::Machine machine;
        machine.registry.AddKey(HKEY_LOCAL_MACHINE, "Software\\Victim");  // childless: a delete would take it
        machine.registry.AddLink(c.root, c.link, HKEY_LOCAL_MACHINE, "Software\\Victim");

        RemoveRegistryEntries();
        // As the first phase does.
        DeleteChildKey(HKEY_LOCAL_MACHINE, kUninstallKey, kUninstallEntryName);

        EXPECT_TRUE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, "Software\\Victim"));
        EXPECT_TRUE(machine.registry.HasKey(c.root, c.link));
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(DeleteKeyTree, AnEnumerationThatKeepsFailingEndsTheLoop) {
    sim::Machine machine;
    machine.registry.AddKey(HKEY_CURRENT_USER, Below(kProductKey, "A"));
    machine.registry.AddKey(HKEY_CURRENT_USER, Below(kProductKey, "B"));
    machine.journal.InjectFault(sim::Fault{"RegEnumKeyExA", 0, ERROR_ACCESS_DENIED});
    DeleteKeyTree(kProductKey);
    EXPECT_EQ(machine.registry.ChildKeys(HKEY_CURRENT_USER, kProductKey),
              (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(machine.journal.CallCount("RegDeleteKeyA"), 0);
    EXPECT_TRUE(NoHandlesOpen(machine));
}

TEST(DeleteKeyTree, AChildWhosePathWouldNotFitIsLeftAloneAndNoCutPathIsUsed) {
    // The product key's path has 31 characters; a child name of 227 makes 259, of 228 makes 260.
    const std::string fits(227, 'M');
    const std::string tooLong(228, 'N');
    const std::string tooLongLeaf(228, 'O');
    sim::Machine machine;
    machine.registry.AddKey(HKEY_CURRENT_USER, Below(kProductKey, "A"));
    machine.registry.AddKey(HKEY_CURRENT_USER, Below(kProductKey, fits));
    machine.registry.AddKey(HKEY_CURRENT_USER, Below(Below(kProductKey, tooLong), "Inner"));
    machine.registry.AddKey(HKEY_CURRENT_USER, Below(kProductKey, tooLongLeaf));
    machine.registry.AddKey(HKEY_CURRENT_USER, Below(kProductKey, "Z"));
    const std::vector<std::string> keys = machine.registry.AllKeys(HKEY_CURRENT_USER);

    DeleteKeyTree(kProductKey);

    EXPECT_EQ(machine.registry.ChildKeys(HKEY_CURRENT_USER, kProductKey),
              (std::vector<std::string>{tooLong, tooLongLeaf}));
    EXPECT_TRUE(machine.registry.HasKey(HKEY_CURRENT_USER, Below(Below(kProductKey, tooLong), "Inner")));
    // Every key opened was one of the tree's, named in full: a cut path would name some other key.
    for (const std::string& call : CallsOf(machine, 0, {"RegOpenKeyExA"})) {
        EXPECT_TRUE(Contains(keys, call.substr(std::string("RegOpenKeyExA HKCU\\").size()))) << call;
    }
    EXPECT_TRUE(NoHandlesOpen(machine));
}

// The product's keys under one root as its installation writes them, and others' keys beside them.
void AddProductKeys(sim::Machine& machine, HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) {
        machine.registry.SetString(root, kProductKey, kInstallPathValue, kDefaultInstallFolder);
    } else {
        machine.registry.SetString(root, kProductKey, "Registered", "no");
        machine.registry.AddKey(root, Below(kProductKey, "Settings\\Window"));
    }
    machine.registry.SetString(root, "Software\\Other Vendor\\Tool", "InstallPath", "C:\\Other");
}

void AddProductKeys(sim::Machine& machine) {
    AddProductKeys(machine, HKEY_CURRENT_USER);
    AddProductKeys(machine, HKEY_LOCAL_MACHINE);
}

TEST(RemoveRegistryEntries, VendorKeysGoOnlyWhenNoChildKeyIsLeftInThem) {
    struct Case {
        const char* name;
        bool userVendor;     // the product and vendor keys exist under the per-user root
        bool machineVendor;  // ... under the machine-wide root
        bool otherProduct;   // each vendor key has another product's key too
        int infoFault;       // RegQueryInfoKeyA fails at this call (0: every call, -1: never)
        bool userVendorStays;
        bool machineVendorStays;
    };
    const std::vector<Case> cases = {
        {"values but no other child", true, true, false, -1, false, false},
        {"another product's key", true, true, true, -1, true, true},
        {"no per-user vendor key", false, true, false, -1, false, false},
        {"no machine-wide vendor key", true, false, false, -1, false, false},
        {"count unreadable under both roots", true, true, false, 0, true, true},
        {"count unreadable for the per-user key", true, true, false, 1, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            if (!(root == HKEY_CURRENT_USER ? c.userVendor : c.machineVendor)) {
                machine.registry.SetString(root, "Software\\Other Vendor\\Tool", "InstallPath", "C:\\Other");
                continue;
            }
            AddProductKeys(machine, root);
            // Values of the vendor key do not keep it.
            machine.registry.SetString(root, kVendorKey, "Homepage", "http://www.vorsk.example/");
            if (c.otherProduct) {
                machine.registry.AddKey(root, Below(kVendorKey, "Other Product"));
            }
        }
        if (c.infoFault >= 0) {
            machine.journal.InjectFault(sim::Fault{"RegQueryInfoKeyA", c.infoFault, ERROR_ACCESS_DENIED});
        }

        RemoveRegistryEntries();

        EXPECT_FALSE(machine.registry.HasKey(HKEY_CURRENT_USER, kProductKey));
        EXPECT_FALSE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, kProductKey));
        EXPECT_EQ(machine.registry.HasKey(HKEY_CURRENT_USER, kVendorKey), c.userVendorStays);
        EXPECT_EQ(machine.registry.HasKey(HKEY_LOCAL_MACHINE, kVendorKey), c.machineVendorStays);
        if (c.otherProduct) {
            EXPECT_TRUE(machine.registry.HasKey(HKEY_CURRENT_USER, Below(kVendorKey, "Other Product")));
            EXPECT_TRUE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, Below(kVendorKey, "Other Product")));
        }
        if (c.userVendorStays) {
            EXPECT_TRUE(machine.registry.GetValue(HKEY_CURRENT_USER, kVendorKey, "Homepage").has_value());
        }
        EXPECT_TRUE(machine.registry.HasKey(HKEY_CURRENT_USER, "Software\\Other Vendor\\Tool"));
        EXPECT_TRUE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Tool"));
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(RemoveRegistryEntries, TheAppPathsEntryGoesAndItsSiblingsStay) {
    sim::Machine machine;
    AddProductKeys(machine);
    for (const char* name : {kMainExecutable, "Tandrel.exe.bak", "Tandrel", "other.exe"}) {
        machine.registry.SetString(HKEY_LOCAL_MACHINE, Below(kAppPathsKey, name), "",
                                   std::string("C:\\") + name);
    }
    machine.registry.SetString(HKEY_CURRENT_USER, kAppPathsEntry, "", "C:\\PerUser\\Tandrel.exe");

    RemoveRegistryEntries();

    EXPECT_EQ(machine.registry.ChildKeys(HKEY_LOCAL_MACHINE, kAppPathsKey),
              (std::vector<std::string>{"other.exe", "Tandrel", "Tandrel.exe.bak"}));
    // The entry lives under the machine-wide root only.
    EXPECT_TRUE(machine.registry.HasKey(HKEY_CURRENT_USER, kAppPathsEntry));
    EXPECT_TRUE(NoHandlesOpen(machine));
}

TEST(RemoveRegistryEntries, PerUserTreeGoesEverywhereButTheMachineWideKeyOnlyWhereDeletionTakesChildren) {
    for (sim::KeyDeletion behaviour : {sim::KeyDeletion::Nt, sim::KeyDeletion::Win9x}) {
        bool nt = behaviour == sim::KeyDeletion::Nt;
        SCOPED_TRACE(nt ? "NT" : "9x");
        sim::Machine machine;
        machine.registry.SetKeyDeletion(behaviour);
        AddProductKeys(machine);
        std::string deep = kProductKey;
        for (int level = 1; level <= 30; ++level) {
            deep = Below(deep, "L" + std::to_string(level));
        }
        machine.registry.AddKey(HKEY_CURRENT_USER, deep);
        machine.registry.SetString(HKEY_LOCAL_MACHINE, Below(kProductKey, "Plugins\\Chess"), "Count", "2");

        RemoveRegistryEntries();

        EXPECT_FALSE(machine.registry.HasKey(HKEY_CURRENT_USER, kVendorKey));
        EXPECT_EQ(machine.registry.HasKey(HKEY_LOCAL_MACHINE, kProductKey), nt);
        EXPECT_EQ(machine.registry.HasKey(HKEY_LOCAL_MACHINE, Below(kProductKey, "Plugins\\Chess")), nt);
        EXPECT_EQ(machine.registry.HasKey(HKEY_LOCAL_MACHINE, kVendorKey), nt);
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

}  // namespace
