// Removal of the installation folder: only the product's own files by name and the files directly in
// "images" are deleted; anything else keeps the folder. A path that is not full, or a composed name
// that would not fit, never makes the task touch a file it did not mean.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "files/file_tasks.h"
#include "rules/safety_rules.h"
#include "sim/in_process.h"
#include "support/handles.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

const std::string kFolder = kDefaultInstallFolder;

// The product's files as its installation leaves them in `folder`, without the names in `leaveOut`.
void AddInstallation(sim::Machine& machine, const std::string& folder,
                     const std::set<std::string>& leaveOut = {},
                     const std::vector<std::string>& images = {"title.bmp", "ghost.bmp"}) {
    for (const std::string& name : ProductFileNames()) {
        if (leaveOut.count(name) == 0) {
            machine.files.AddFile(folder + "\\" + name, name + " content");
        }
    }
    for (const std::string& name : images) {
        machine.files.AddFile(folder + "\\images\\" + name, "image");
    }
    if (leaveOut.count(kUninstallerName) == 0) {
        machine.files.AddFile(folder + "\\" + kUninstallerName, kUninstallerImage);
    }
}

std::vector<std::string> Removals(const sim::Machine& machine) {
    std::vector<std::string> paths;
    for (const sim::Notification& notification : machine.shell.Notifications()) {
        EXPECT_EQ(notification.event, SHCNE_RMDIR);
        EXPECT_EQ(notification.flags, static_cast<UINT>(SHCNF_PATH));
        EXPECT_FALSE(notification.secondItem);
        paths.push_back(notification.path);
    }
    return paths;
}

TEST(RemoveInstallFolder, TheProductsOwnFilesGoWithTheirFolderAndTheEmptyVendorFolder) {
    sim::Machine machine;
    AddInstallation(machine, kFolder);
    machine.files.AddFile("C:\\Apps\\Other\\other.exe", "other");

    RemoveInstallFolder(kFolder.c_str());

    EXPECT_FALSE(machine.files.Exists(kDefaultVendorFolder));
    EXPECT_TRUE(machine.files.Exists("C:\\Apps\\Other\\other.exe"));
    EXPECT_EQ(Removals(machine), std::vector<std::string>{kFolder});
    // The listing's "." and ".." are not files of the images folder.
    EXPECT_EQ(CountCall(machine, "DeleteFileA", kFolder + "\\images\\."), 0);
    EXPECT_EQ(CountCall(machine, "DeleteFileA", kFolder + "\\images\\.."), 0);
    EXPECT_EQ(machine.journal.CallCount("Sleep"), 0);
    EXPECT_TRUE(NoHandlesOpen(machine));
}

TEST(RemoveInstallFolder, LookAlikesStayAndKeepTheFolder) {
    struct Case {
        const char* name;
        std::set<std::string> leaveOut;    // product files not installed as files
        std::vector<std::string> images;   // files directly in images
        std::vector<std::string> files;    // added files, relative to the folder
        std::vector<std::string> folders;  // added folders, relative to the folder
    };
    const std::vector<std::string> images = {"title.bmp", "ghost.bmp"};
    const std::vector<Case> cases = {
        {"a backup of the executable", {}, images, {"Tandrel.exe.bak"}, {}},
        {"a name cut short", {}, images, {"Tandrel.ex"}, {}},
        {"an uninstaller with another extension", {}, images, {"uninstall.exe.old"}, {}},
        {"a folder like images", {}, images, {"images2\\title.bmp"}, {}},
        {"a folder named like the executable", {kMainExecutable}, images, {}, {kMainExecutable}},
        {"a subfolder of images", {}, images, {"images\\sub\\deep.bmp"}, {}},
        {"an empty subfolder of images", {}, images, {}, {"images\\empty"}},
        {"a file named images", {}, {}, {"images"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        AddInstallation(machine, kFolder, c.leaveOut, c.images);
        // Read-only, as everything installed from a CD: the product's files lose the attribute, these not.
        for (const std::string& file : c.files) {
            machine.files.AddFile(kFolder + "\\" + file, "look-alike", FILE_ATTRIBUTE_READONLY);
        }
        for (const std::string& folder : c.folders) {
            machine.files.AddFolder(kFolder + "\\" + folder);
            SetFileAttributesA((kFolder + "\\" + folder).c_str(), FILE_ATTRIBUTE_READONLY);
        }

        // Run by the copy in the temporary folder, whose uninstall.exe tells the folder as the product's.
        machine.files.AddFile("C:\\WINDOWS\\TEMP\\uninstall.exe", kUninstallerImage);
        sim_testing::RunAsProcess(machine, "C:\\WINDOWS\\TEMP\\uninstall.exe", "C:\\WINDOWS\\TEMP",
                                  [](LPSTR) { return RemoveInstallFolder(kFolder.c_str()); });

        for (const std::string& file : c.files) {
            EXPECT_EQ(machine.files.FileContent(kFolder + "\\" + file), "look-alike") << file;
            EXPECT_EQ(machine.files.Attributes(kFolder + "\\" + file),
                      static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
        for (const std::string& folder : c.folders) {
            EXPECT_EQ(machine.files.Attributes(kFolder + "\\" + folder),
                      static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
                << folder;
        }
        for (const std::string& name : ProductFileNames()) {
            if (c.leaveOut.count(name) == 0) {
                EXPECT_FALSE(machine.files.Exists(kFolder + "\\" + name)) << name;
            }
        }
        for (const std::string& name : c.images) {
            EXPECT_FALSE(machine.files.Exists(kFolder + "\\images\\" + name)) << name;
        }
        EXPECT_FALSE(machine.files.Exists(kFolder + "\\" + kUninstallerName));
        EXPECT_TRUE(machine.files.IsFolder(kFolder));
        EXPECT_TRUE(machine.shell.Notifications().empty());
        EXPECT_EQ(machine.journal.CallCount("RemoveDirectoryA"),
                  2);  // images and the folder, not the vendor's
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

// A product that has just closed may hold its files a moment longer; the product's files share one
// budget of 50 pauses of 50 ms. A file that stays keeps the folder, is reported, and keeps its
// read-only attribute.
TEST(RemoveInstallFolder, ProductFilesInUseAreWaitedForWithinOneBudgetAndReportedWhenTheyStay) {
    struct Case {
        const char* name;
        sim::Time lockedUntil;  // la.txt, held by another program
        bool productRuns;       // Tandrel.exe, read-only, the image of a running process
    };
    const Case cases[] = {
        {"let go after 120 ms", 120, false},
        {"held for good", sim::kForever, false},
        {"two held for good share the budget", sim::kForever, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        AddInstallation(machine, kFolder);
        const std::string la = kFolder + "\\la.txt";
        const std::string product = kFolder + "\\" + kMainExecutable;
        machine.files.LockFile(la, ERROR_SHARING_VIOLATION, c.lockedUntil);
        if (c.productRuns) {
            machine.files.AddFile(product, "product", FILE_ATTRIBUTE_READONLY);
            machine.processes.StartBackgroundProcess(product, "C:\\");
        }
        bool stays = c.lockedUntil == sim::kForever;

        EXPECT_EQ(RemoveInstallFolder(kFolder.c_str()), stays ? 0 : 1);

        // Waited for until let go, a pause at most longer, and never past the one budget.
        const sim::Time waited = std::min<sim::Time>(c.lockedUntil, 2500);
        EXPECT_GE(machine.clock.Now(), waited);
        EXPECT_LT(machine.clock.Now(), waited + 50);
        EXPECT_EQ(machine.files.Exists(kFolder), stays);
        EXPECT_EQ(machine.files.Exists(la), stays);
        EXPECT_EQ(machine.files.Exists(product), c.productRuns);
        if (c.productRuns) {
            EXPECT_EQ(machine.files.Attributes(product) & FILE_ATTRIBUTE_READONLY,
                      static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(RemoveInstallFolder, WithALongPathOnlyNamesThatFitAreDeletedAndNoCutPathIsTouched) {
    // 248 characters: "\Tandra.htm" still fits, "\Tandrel.exe" does not, and so on around the limit. A
    // folder in which neither Tandrel.exe nor uninstall.exe can be named is not known for the
    // product's, and nothing in it goes.
    for (size_t length : {240u, 247u, 248u, 252u}) {
        SCOPED_TRACE(length);
        const std::string folder = "C:\\Long\\" + std::string(length - 8, 't');
        ASSERT_EQ(folder.size(), length);
        sim::Machine machine;
        AddInstallation(machine, folder, {}, {"a.b", "title.bmp"});
        std::vector<std::string> names = ProductFileNames();
        names.push_back(kUninstallerName);
        names.push_back("images\\a.b");
        names.push_back("images\\title.bmp");
        // Where a composed path would be cut to the limit, somebody else's file lies (not in images,
        // whose files all go anyway).
        std::vector<std::string> bystanders;
        for (const std::string& name : names) {
            std::string full = folder + "\\" + name;
            std::string cut = full.substr(0, MAX_PATH - 1);
            if (full.size() >= MAX_PATH && name.rfind("images\\", 0) != 0 && !machine.files.Exists(cut)) {
                machine.files.AddFile(cut, "bystander");
                bystanders.push_back(cut);
            }
        }
        const bool patternFits = (folder + "\\images\\*.*").size() < MAX_PATH;
        const bool recognised = (folder + "\\" + kMainExecutable).size() < MAX_PATH;

        RemoveInstallFolder(folder.c_str());

        for (const std::string& name : names) {
            std::string full = folder + "\\" + name;
            bool inImages = name.rfind("images\\", 0) == 0;
            bool deletable = recognised && full.size() < MAX_PATH && (!inImages || patternFits);
            EXPECT_EQ(machine.files.Exists(full), !deletable) << name;
        }
        for (const std::string& bystander : bystanders) {
            EXPECT_EQ(machine.files.FileContent(bystander), "bystander") << bystander;
        }
        for (const std::string& call :
             CallsOf(machine, 0, {"DeleteFileA", "RemoveDirectoryA", "FindFirstFileA"})) {
            EXPECT_LT(call.substr(call.find(' ') + 1).size(), static_cast<size_t>(MAX_PATH)) << call;
        }
        EXPECT_TRUE(machine.shell.Notifications().empty());
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

// A relative path would name the installed product's files from wherever the process runs (the desktop
// here, in C:\); a root and the system's folders, by whatever name (another drive letter standing for
// a folder, a junction), hold files of the product's names that are not its own; and so does a folder
// with neither the product's executable nor its uninstaller.
TEST(RemoveInstallFolder, APathThatIsNotFullOrNamesARootOrTheSystemsFolderDeletesNothingAtAll) {
    struct Case {
        const char* path;
        const char* filesIn;
        bool recognisable;  // Tandrel.exe and uninstall.exe are there
    };
    const char* relative[] = {"Apps\\VORSK Software\\Tandrel", ".\\Apps\\VORSK Software\\Tandrel",
                              "C:Apps\\VORSK Software\\Tandrel", "\\Apps\\VORSK Software\\Tandrel"};
    std::vector<Case> cases = {{"C:\\", "C:", true},
                               {"C:\\.", "C:", true},
                               {"C:\\Apps\\..\\", "C:", true},
                               {"D:\\", "D:", true},
                               {"\\\\SERVER\\SHARE\\", "\\\\SERVER\\SHARE", true},
                               {"c:\\windows", "C:\\WINDOWS", true},
                               {"C:\\WINDOWS\\SYSTEM32\\..\\", "C:\\WINDOWS", true},
                               {"C:\\Windows\\System32", "C:\\WINDOWS\\SYSTEM32", true},
                               {"C:\\Windows\\SysWOW64", "C:\\WINDOWS\\SYSWOW64", true},
                               {"Z:\\WINDOWS", "C:\\WINDOWS", true},
                               {"C:\\Apps\\Junction", "C:\\WINDOWS", true},
                               {"C:\\Apps\\ToRoot", "C:", true},
                               {"C:\\Users\\Pat\\Documents", "C:\\Users\\Pat\\Documents", false}};
    for (const char* path : relative) {
        cases.push_back(Case{path, kDefaultInstallFolder, true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        sim::Machine machine;
        machine.files.AddDrive("D:");
        machine.files.AddShare("\\\\SERVER\\SHARE");
        machine.files.AddSubstDrive("Z:", "C:\\");
        machine.files.AddLink("C:\\Apps\\Junction", "C:\\WINDOWS");
        machine.files.AddLink("C:\\Apps\\ToRoot", "C:\\");
        AddInstallation(machine, c.filesIn,
                        c.recognisable ? std::set<std::string>{}
                                       : std::set<std::string>{kMainExecutable, kUninstallerName});
        Snapshot before = TakeSnapshot(machine);
        EXPECT_FALSE(IsProductFolder(c.path));
        RemoveInstallFolder(c.path);
        EXPECT_TRUE(TakeSnapshot(machine) == before);
        EXPECT_TRUE(machine.shell.Notifications().empty());
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(RemoveInstallFolder, AnImagesFolderThatCannotBeListedIsStillRemovedByNameAndNoSearchIsLeftOpen) {
    struct Case {
        const char* name;
        bool imagesPresent;
        const char* fault;  // the listing call that fails every time
        int findCloses;
        bool folderGoes;
    };
    const std::vector<Case> cases = {
        {"images missing", false, nullptr, 0, true},
        {"listing refused", true, "FindFirstFileA", 0, false},
        {"listing breaks off", true, "FindNextFileA", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        AddInstallation(machine, kFolder, {},
                        c.imagesPresent ? std::vector<std::string>{"title.bmp", "ghost.bmp"}
                                        : std::vector<std::string>{});
        if (c.fault != nullptr) {
            machine.journal.InjectFault(sim::Fault{c.fault, 0, ERROR_ACCESS_DENIED});
        }

        RemoveInstallFolder(kFolder.c_str());

        EXPECT_EQ(CountCall(machine, "RemoveDirectoryA", kFolder + "\\images"), 1);
        EXPECT_EQ(machine.journal.CallCount("FindClose"), c.findCloses);
        EXPECT_EQ(machine.files.Exists(kFolder), !c.folderGoes);
        EXPECT_EQ(Removals(machine),
                  c.folderGoes ? std::vector<std::string>{kFolder} : std::vector<std::string>{});
        if (c.imagesPresent) {
            EXPECT_TRUE(machine.files.Exists(kFolder + "\\images\\title.bmp"));
        }
        EXPECT_FALSE(machine.files.Exists(kFolder + "\\" + kUninstallerName));
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

}  // namespace
