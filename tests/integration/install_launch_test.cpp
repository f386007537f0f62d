// The whole install step against Wine's msi.dll: a real silent installation and removal.

#include "setup/installer/install_launch.h"

#include <gtest/gtest.h>

#include "setup/installer/package_inspection.h"
#include "setup/platform/win32/win32_platform.h"
#include "tests/integration/sample_packages.h"
#include "tests/support/temp_dir.h"

namespace setup {
namespace {

using testing::TempDir;

class ComposeAndInstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(testing::BuiltPackage(testing::kMainPackage), u"") << "run through ctest";
    testing::RemoveSilently(testing::kMainProductCode);  // left over from a run that did not end
  }
  void TearDown() override { testing::RemoveSilently(testing::kMainProductCode); }

  // The step as setup.exe /S runs it from dir, with the properties given.
  MsiResult RunStep(InstallMode installMode, const Text& package, const Text& properties, const Text& log) {
    SetupContext context(platform, msi);
    context.moduleDirectory = dir.path();
    context.moduleFileName = u"setup.exe";
    context.packagePath = package;
    context.productCode = testing::kMainProductCode;
    context.productVersion = ParseVersion(testing::kSampleVersion);
    context.uiLevel = kUiLevelNone;
    context.installMode = installMode;
    context.installProperties = properties;
    context.debugLogPath = log;
    const MsiResult result = ComposeAndInstall(context);
    EXPECT_EQ(context.package.database.get(), 0u) << "the package must not be held open";
    return result;
  }

  InstalledProduct Detect() {
    SetupContext context(platform, msi);
    context.productCode = testing::kMainProductCode;
    context.productVersion = ParseVersion(testing::kSampleVersion);
    return DetectInstalledProduct(context);
  }

  Win32Platform platform;
  MsiLibrary msi{platform};
  TempDir dir;
};

TEST_F(ComposeAndInstallTest, InstallsAndRemovesTheSamplePackageSilently) {
  const Text package = testing::CopyPackageInto(dir, testing::kMainPackage);
  // A folder with a blank, so that the property string's quotation marks are put to the test.
  const Text target = dir.PathOf("Ledgr Target\\");
  const Text properties = u"INSTALLDIR=\"" + target + u"\"";
  ASSERT_EQ(Detect(), InstalledProduct::kNeither);

  ASSERT_EQ(RunStep(kInstall, package, properties, dir.PathOf("install.log")), 0u);
  Text version;
  EXPECT_EQ(msi.GetProductInfo(testing::kMainProductCode, u"VersionString", version), 0u);
  EXPECT_EQ(version, testing::kSampleVersion);
  EXPECT_EQ(Detect(), InstalledProduct::kProduct);
  EXPECT_TRUE(platform.FileExists(target + u"ledgr.dll"));
  EXPECT_TRUE(platform.FileExists(dir.PathOf("install.log")));

  // Wine's installer does not find a moved folder from the installed component: the settings'
  // properties reach the removal as they reached the installation.
  ASSERT_EQ(RunStep(kRemoval, package, properties, Text()), 0u);
  EXPECT_EQ(msi.GetProductInfo(testing::kMainProductCode, u"VersionString", version), testing::kUnknownProduct);
  EXPECT_EQ(Detect(), InstalledProduct::kNeither);
  EXPECT_FALSE(platform.FileExists(target + u"ledgr.dll"));
}

TEST_F(ComposeAndInstallTest, AMissingPackageGivesTheInstallersCode) {
  const Text missing = dir.PathOf("missing.msi");
  const MsiResult result = RunStep(kInstall, missing, u"", Text());
  // Windows answers 1619 (ERROR_INSTALL_PACKAGE_OPEN_FAILED), Wine 2 (ERROR_FILE_NOT_FOUND).
  EXPECT_EQ(result, msi.InstallProduct(missing, u" "));
  EXPECT_NE(result, 0u);
  EXPECT_EQ(Detect(), InstalledProduct::kNeither);
}

}  // namespace
}  // namespace setup
