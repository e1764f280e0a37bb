// Removal of the product's shortcuts from the user's Startup and Programs folders, found through the
// per-user Shell Folders key. Each folder is handled on its own; a value that cannot make a whole,
// full shortcut path is skipped rather than guessed at.
#include <gtest/gtest.h>

#include "files/file_tasks.h"
#include "support/handles.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

const std::string kStartup = kDefaultStartupFolder;
const std::string kPrograms = kDefaultProgramsFolder;

std::string ShortcutIn(const std::string& folder) {
    return folder + "\\" + kShortcutName;
}

// The paths the shell was told of, each as a deleted item: a deletion is announced whether or not the
// shortcut was there, so these are also the paths the task tried.
std::vector<std::string> Announced(const sim::Machine& machine) {
    std::vector<std::string> paths;
    for (const sim::Notification& notification : machine.shell.Notifications()) {
        EXPECT_EQ(notification.event, SHCNE_DELETE);
        EXPECT_EQ(notification.flags, static_cast<UINT>(SHCNF_PATH));
        EXPECT_FALSE(notification.secondItem);
        paths.push_back(notification.path);
    }
    return paths;
}

class RemoveShortcutsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kStartupValue, kStartup);
        machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kProgramsValue, kPrograms);
        machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, "Desktop", "C:\\WINDOWS\\Desktop");
        machine.files.AddFile(ShortcutIn(kStartup), "shortcut");
        machine.files.AddFile(ShortcutIn(kPrograms), "shortcut");
        machine.files.AddFile(kPrograms + "\\Other.lnk", "other shortcut");
        machine.files.AddFile(ShortcutIn("C:\\WINDOWS\\Desktop"), "desktop shortcut");
    }

    std::vector<std::string> NotifiedPaths() const { return Announced(machine); }

    sim::Machine machine;
};

TEST_F(RemoveShortcutsTest, BothAreDeletedAndAnnouncedStartupFirst) {
    // The all-users folders under the machine-wide root are not the user's.
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kShellFoldersKey, kStartupValue, "C:\\AllUsers\\StartUp");
    machine.files.AddFile(ShortcutIn("C:\\AllUsers\\StartUp"), "all users' shortcut");
    // Copied from a CD with the rest of the product, say.
    machine.files.AddFile(ShortcutIn(kStartup), "shortcut", FILE_ATTRIBUTE_READONLY);

    RemoveShortcuts();

    EXPECT_FALSE(machine.files.Exists(ShortcutIn(kStartup)));
    EXPECT_FALSE(machine.files.Exists(ShortcutIn(kPrograms)));
    EXPECT_EQ(NotifiedPaths(), (std::vector<std::string>{ShortcutIn(kStartup), ShortcutIn(kPrograms)}));
    // Told after the deletion: told before, the shell would list the shortcut again.
    EXPECT_LT(FirstCallAt(machine, "DeleteFileA", ShortcutIn(kStartup)),
              FirstCallAt(machine, "SHChangeNotify", ShortcutIn(kStartup)));
    EXPECT_TRUE(machine.files.Exists(kPrograms + "\\Other.lnk"));
    EXPECT_TRUE(machine.files.Exists(ShortcutIn("C:\\WINDOWS\\Desktop")));
    EXPECT_TRUE(machine.files.Exists(ShortcutIn("C:\\AllUsers\\StartUp")));
    EXPECT_TRUE(NoHandlesOpen(machine));
}

TEST(RemoveShortcuts, AbsentShortcutsAreStillAnnounced) {
    sim::Machine machine;
    machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kStartupValue, kStartup);
    machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kProgramsValue, "C:\\Missing\\Programs");
    machine.files.AddFolder(kStartup);
    RemoveShortcuts();
    EXPECT_EQ(Announced(machine),
              (std::vector<std::string>{ShortcutIn(kStartup), ShortcutIn("C:\\Missing\\Programs")}));
    EXPECT_TRUE(NoHandlesOpen(machine));
}

TEST_F(RemoveShortcutsTest, AFolderEndingInABackslashGetsNoSecondOne) {
    machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kStartupValue, kStartup + "\\");
    machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kProgramsValue, "C:\\");
    machine.files.AddFile(ShortcutIn("C:"), "shortcut in the root");
    RemoveShortcuts();
    EXPECT_EQ(NotifiedPaths(), (std::vector<std::string>{ShortcutIn(kStartup), ShortcutIn("C:")}));
    EXPECT_FALSE(machine.files.Exists(ShortcutIn(kStartup)));
    EXPECT_FALSE(machine.files.Exists(ShortcutIn("C:")));
}

TEST(RemoveShortcuts, AFolderValueThatCannotServeIsSkippedAndTheOtherFolderStillHandled) {
    // A folder of 239 characters leaves no room for the shortcut's name; of 238 it just fits.
    const std::string noRoom = "C:\\" + std::string(236, 'r');
    const std::string cutShortcut = ShortcutIn(noRoom).substr(0, MAX_PATH - 1);  // "...\VORSK Tandrel 98.ln"
    struct Case {
        const char* name;
        bool present;
        DWORD type;
        std::string data;
        std::string bystander;  // a file that a wrong reading of the value would delete
    };
    const std::vector<Case> cases = {
        {"missing", false, REG_SZ, "", ""},
        {"relative", true, REG_SZ, std::string("Start Menu\\Programs\0", 20), "C:\\Start Menu\\Programs"},
        {"drive-relative", true, REG_SZ, std::string("C:Start Menu\0", 13), "C:\\Start Menu"},
        {"rooted without drive", true, REG_SZ, std::string("\\Start Menu\0", 12), "C:\\Start Menu"},
        {"empty", true, REG_SZ, std::string("\0", 1), "C:"},
        {"unexpanded", true, REG_EXPAND_SZ, std::string("%USERPROFILE%\\Start Menu\0", 25), ""},
        {"260 bytes unterminated", true, REG_SZ, "C:\\" + std::string(257, 'u'), ""},
        {"too long for the buffer", true, REG_SZ, "C:\\" + std::string(300, 'u') + '\0', ""},
        {"no room for the shortcut's name", true, REG_SZ, noRoom + '\0', ""},
    };
    for (const char* bad : {kStartupValue, kProgramsValue}) {
        const std::string good = std::string(bad) == kStartupValue ? kPrograms : kStartup;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(bad) + " " + c.name);
            sim::Machine machine;
            const char* goodName = std::string(bad) == kStartupValue ? kProgramsValue : kStartupValue;
            machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, goodName, good);
            if (c.present) {
                machine.registry.SetValue(HKEY_CURRENT_USER, kShellFoldersKey, bad, c.type, c.data);
            }
            machine.files.AddFile(ShortcutIn(good), "shortcut");
            if (!c.bystander.empty()) {
                machine.files.AddFile(ShortcutIn(c.bystander), "bystander");
            }
            machine.files.AddFile(cutShortcut, "bystander at the cut");

            RemoveShortcuts();

            EXPECT_EQ(Announced(machine), std::vector<std::string>{ShortcutIn(good)});
            EXPECT_FALSE(machine.files.Exists(ShortcutIn(good)));
            if (!c.bystander.empty()) {
                EXPECT_TRUE(machine.files.Exists(ShortcutIn(c.bystander)));
            }
            EXPECT_TRUE(machine.files.Exists(cutShortcut));
            EXPECT_TRUE(NoHandlesOpen(machine));
        }
    }
}

TEST_F(RemoveShortcutsTest, AShortcutPathOfExactly259CharactersIsUsed) {
    const std::string folder = "C:\\" + std::string(235, 'f');  // 238 characters
    ASSERT_EQ(ShortcutIn(folder).size(), static_cast<size_t>(MAX_PATH - 1));
    machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kStartupValue, folder);
    machine.files.AddFile(ShortcutIn(folder), "shortcut");
    RemoveShortcuts();
    EXPECT_FALSE(machine.files.Exists(ShortcutIn(folder)));
    EXPECT_EQ(NotifiedPaths(), (std::vector<std::string>{ShortcutIn(folder), ShortcutIn(kPrograms)}));
}

TEST(RemoveShortcuts, WithoutTheShellFoldersKeyNothingIsTouched) {
    for (bool missing : {true, false}) {
        SCOPED_TRACE(missing ? "key missing" : "key denied");
        sim::Machine machine;
        machine.files.AddFile(ShortcutIn(kStartup), "shortcut");
        machine.files.AddFile(ShortcutIn(kPrograms), "shortcut");
        if (missing) {
            machine.registry.AddKey(HKEY_CURRENT_USER,
                                    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");
        } else {
            machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kStartupValue, kStartup);
            machine.registry.SetString(HKEY_CURRENT_USER, kShellFoldersKey, kProgramsValue, kPrograms);
            machine.registry.DenyKeyOpen(HKEY_CURRENT_USER, kShellFoldersKey);
        }
        RemoveShortcuts();
        EXPECT_EQ(machine.journal.CallCount("DeleteFileA"), 0);
        EXPECT_TRUE(machine.shell.Notifications().empty());
        EXPECT_TRUE(machine.files.Exists(ShortcutIn(kStartup)));
        EXPECT_TRUE(machine.files.Exists(ShortcutIn(kPrograms)));
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

}  // namespace
