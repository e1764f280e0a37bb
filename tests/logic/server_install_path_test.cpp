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
        machine.AddShare("\\\\SERVER\\images");
        machine.AddFile("\\\\SERVER\\images\\picture.bmp", "somebody else's picture");

        RemoveInstallFolder(installPath);

        EXPECT_TRUE(machine.Exists("\\\\SERVER\\images\\picture.bmp"));
        EXPECT_EQ(machine.CallCount("DeleteFileA"), 0);
        EXPECT_EQ(machine.CallCount("FindFirstFileA"), 0);
        EXPECT_TRUE(machine.Notifications().empty());
    }
}

TEST(ServerInstallPath, AShareStillServesAsInstallationFolder) {
    sim::Machine machine;
    machine.AddShare("\\\\SERVER\\SHARE");
    const std::string folder = "\\\\SERVER\\SHARE\\VORSK Software\\Tandrel";
    for (const std::string& name : ProductFileNames()) {
        machine.AddFile(folder + "\\" + name, name);
    }
    machine.AddFile(folder + "\\images\\title.bmp", "image");

    RemoveInstallFolder(folder.c_str());

    EXPECT_FALSE(machine.Exists(folder));
    EXPECT_FALSE(machine.Exists("\\\\SERVER\\SHARE\\VORSK Software"));
}

}  // namespace
