// The program's names and texts against the tests' vocabulary, which spells them out: the only test
// that reads the program's header, so that a typo in it fails here rather than passing everywhere.
// Texts the program puts together are put together as its header says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/product_identity.h"
#include "support/product_names.h"

namespace {

namespace names = product_names;

TEST(ProductIdentity, NamesTheProductAsTheTestsSpellIt) {
    EXPECT_STREQ(kProduct.displayName, names::kProductName);
    EXPECT_STREQ(kProduct.windowClassName, names::kWindowClass);
    EXPECT_STREQ(kProduct.uninstallEntryName, names::kUninstallEntryName);
    EXPECT_STREQ(kProduct.vendorKeyName, names::kVendorKeyName);
    EXPECT_STREQ(kProduct.vendorKeyPath, names::kVendorKey);
    EXPECT_STREQ(kProduct.productKeyName, names::kProductKeyName);
    EXPECT_STREQ(kProduct.productKeyPath, names::kProductKey);
    EXPECT_STREQ(kProduct.mainExecutable, names::kMainExecutable);
    EXPECT_STREQ(kProduct.vendorFolderMarker, names::kVendorFolderMarker);
    EXPECT_STREQ(kProduct.uninstallerFileName, names::kUninstallerName);
    EXPECT_STREQ(kProduct.secondPhaseSwitch, names::kSecondPhaseSwitch);
    EXPECT_STREQ(kProduct.silentSwitch, names::kSilentSwitch);
    EXPECT_STREQ(kProduct.silentSecondPhaseParameters, names::kSilentSecondPhase);
    EXPECT_STREQ(kProduct.installPathValueName, names::kInstallPathValue);
    EXPECT_STREQ(kProduct.uninstallMutexName, names::kUninstallMutex);
    EXPECT_STREQ(kProduct.handOverEventName, names::kHandOverEvent);
    EXPECT_STREQ(kProduct.removedEventName, names::kRemovedEvent);
    EXPECT_STREQ(kProduct.incompleteEventName, names::kIncompleteEvent);
}

TEST(ProductIdentity, UsesTheSystemsKeysAndItsFilesAsTheTestsSpellThem) {
    EXPECT_STREQ(kUninstallKeyPath, names::kUninstallKey);
    EXPECT_STREQ(kAppPathsKeyPath, names::kAppPathsKey);
    EXPECT_STREQ(kShellFoldersKeyPath, names::kShellFoldersKey);
    EXPECT_STREQ(kStartupValueName, names::kStartupValue);
    EXPECT_STREQ(kProgramsValueName, names::kProgramsValue);
    EXPECT_STREQ(kSoftwareKeyPath, names::kSoftwareKey);
    EXPECT_EQ(std::string(kUninstallKeyPath) + "\\" + kProduct.uninstallEntryName, names::kUninstallEntry);
    EXPECT_EQ(std::string(kAppPathsKeyPath) + "\\" + kProduct.mainExecutable, names::kAppPathsEntry);

    const std::string name = kProduct.displayName;
    EXPECT_EQ((std::vector<std::string>{kProduct.mainExecutable, kTandraPage, kRegistrationFile, kLicenceFile,
                                        name + kHomepageSuffix, kOrderForm, kGhostsPage}),
              names::ProductFileNames());
    EXPECT_STREQ(kImagesFolder, names::kImagesSubfolder);
    EXPECT_EQ(name + kShortcutExtension, names::kShortcutName);
}

TEST(ProductIdentity, TellsTheUserWhatTheTestsExpect) {
    const std::string name = kProduct.displayName;
    EXPECT_EQ(kConfirmationStart + name + kFullStop, names::kConfirmationText);
    EXPECT_STREQ(kCopyFailedMessage, names::kCopyFailedText);
    EXPECT_STREQ(kStartFailedMessage, names::kStartFailedText);
    EXPECT_STREQ(kMissingInstallPathMessage, names::kMissingInstallPathText);
    EXPECT_EQ(name + kStillRunningEnd, names::kStillRunningText);
    EXPECT_STREQ(kInvalidNameMessage, names::kInvalidNameText);
    EXPECT_STREQ(kInvalidBufferMessage, names::kInvalidBufferText);
    const std::string folder = names::kDefaultInstallFolder;
    EXPECT_EQ(kFilesStayStart + name + kFilesStayPlace + folder + kFullStop, names::FilesStayText(folder));
}

}  // namespace
