// A network path names a folder only with its share: "\\SERVER" alone is no folder, and the names
// the uninstaller appends to it ("\images", "\Tandrel.exe") would be shares of that server.
#include <gtest/gtest.h>

#include "files/file_tasks.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

TEST(ServerInstallPath, TheFilesOfAShareNamedImagesStay) {
    for (const char* installPath : {"\\\\SERVER", "\\\\SERVER\\"}) {
        SCOPED_TRACE(installPath);
        sim::Machine machine;
        machine.files.AddShare("\\\\SERVER\\images");
        machine.files.AddFile("\\\\SERVER\\images\\picture.bmp", "somebody else's picture");

        RemoveInstallFolder(installPath);

        EXPECT_TRUE(machine.files.Exists("\\\\SERVER\\images\\picture.bmp"));
        EXPECT_EQ(machine.journal.CallCount("DeleteFileA"), 0);
        EXPECT_EQ(machine.journal.CallCount("FindFirstFileA"), 0);
        EXPECT_TRUE(machine.shell.Notifications().empty());
    }
}

TEST(ServerInstallPath, AShareStillServesAsInstallationFolder) {
    sim::Machine machine;
    machine.files.AddShare("\\\\SERVER\\SHARE");
    const std::string vendorFolder = std::string("\\\\SERVER\\SHARE") + kVendorFolderMarker;
    const std::string folder = vendorFolder + "\\Tandrel";
    for (const std::string& name : ProductFileNames()) {
        machine.files.AddFile(folder + "\\" + name, name);
    }
    machine.files.AddFile(folder + "\\images\\title.bmp", "image");

    RemoveInstallFolder(folder.c_str());

    EXPECT_FALSE(machine.files.Exists(folder));
    EXPECT_FALSE(machine.files.Exists(vendorFolder));
}

}  // namespace
