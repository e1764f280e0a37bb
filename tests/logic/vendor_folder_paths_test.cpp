// The folder above the installation folder is removed only when it is the vendor's. Its path is the
// installation path cut at its last backslash; "." and ".." names in it make it another folder than
// its text suggests, so such a path is not trusted to be the vendor's.
#include <gtest/gtest.h>

#include "files/file_tasks.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

void AddProductFiles(sim::Machine& machine, const std::string& folder) {
    for (const std::string& name : ProductFileNames()) {
        machine.files.AddFile(folder + "\\" + name, name + " content");
    }
    machine.files.AddFile(folder + "\\images\\title.bmp", "image");
    machine.files.AddFile(folder + "\\" + kUninstallerName, kUninstallerImage);
}

TEST(VendorFolderPaths, AParentThatIsNotExactlyTheVendorFolderIsNotRemoved) {
    struct Case {
        const char* installPath;
        const char* removedFolder;  // what the installation path names
        const char* keptParent;     // the folder its parent text names
    };
    const Case cases[] = {
        {"C:\\Tools\\Tandrel", "C:\\Tools\\Tandrel", "C:\\Tools"},
        // A trailing backslash: the cut yields the installation folder itself.
        {"C:\\Apps\\VORSK Software\\Tandrel\\", "C:\\Apps\\VORSK Software\\Tandrel",
         "C:\\Apps\\VORSK Software"},
        // Only passing through the vendor folder.
        {"C:\\Apps\\VORSK Software\\..\\Stuff\\Tandrel", "C:\\Apps\\Stuff\\Tandrel", "C:\\Apps\\Stuff"},
        {"C:\\Apps\\VORSK Software\\x\\..\\..\\Stuff\\Tandrel", "C:\\Apps\\Stuff\\Tandrel",
         "C:\\Apps\\Stuff"},
        {"C:\\Apps\\VORSK Software/../Stuff\\Tandrel", "C:\\Apps\\Stuff\\Tandrel", "C:\\Apps\\Stuff"},
        {"C:\\Apps\\VORSK Software\\.\\..\\Stuff\\Tandrel", "C:\\Apps\\Stuff\\Tandrel", "C:\\Apps\\Stuff"},
        // The marker is the installer's spelling: another letter case leaves a harmless empty folder.
        {"C:\\Apps\\vorsk software\\Tandrel", "C:\\Apps\\VORSK Software\\Tandrel",
         "C:\\Apps\\VORSK Software"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installPath);
        sim::Machine machine;
        AddProductFiles(machine, c.removedFolder);

        RemoveInstallFolder(c.installPath);

        EXPECT_FALSE(machine.files.Exists(c.removedFolder));
        EXPECT_TRUE(machine.files.IsFolder(c.keptParent));
        ASSERT_EQ(machine.shell.Notifications().size(), 1u);
        EXPECT_EQ(machine.shell.Notifications()[0].path, c.installPath);
    }
}

TEST(VendorFolderPaths, APlainVendorParentIsStillRemovedWhenEmpty) {
    for (const char* installPath : {kDefaultInstallFolder, "C:\\Apps\\\\VORSK Software\\Tandrel",
                                    "C:\\Apps\\VORSK Software\\\\Tandrel"}) {
        SCOPED_TRACE(installPath);
        sim::Machine machine;
        AddProductFiles(machine, kDefaultInstallFolder);

        RemoveInstallFolder(installPath);

        EXPECT_FALSE(machine.files.Exists(kDefaultVendorFolder));
        EXPECT_TRUE(machine.files.IsFolder("C:\\Apps"));
    }
}

}  // namespace
