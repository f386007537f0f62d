// Package inspection against Wine's msi.dll, on packages built by wixl for this run.

#include "setup/installer/package_inspection.h"

#include <gtest/gtest.h>

#include <string>

#include "setup/platform/win32/win32_platform.h"
#include "tests/integration/sample_packages.h"
#include "tests/support/temp_dir.h"

namespace setup {
namespace {

using testing::CopyPackageInto;
using testing::TempDir;

constexpr MsiResult kInvalidHandle = 6;      // ERROR_INVALID_HANDLE
constexpr MsiResult kNoMoreItems = 259;      // ERROR_NO_MORE_ITEMS: a query that found no row

std::string Utf16LeWithMark(const Text& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

class InspectPackageTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(testing::BuiltPackage(testing::kMainPackage), u"") << "run through ctest"; }
  Win32Platform platform;
  MsiLibrary msi{platform};
  TempDir dir;
  PackageInfo info;
};

TEST_F(InspectPackageTest, ReadsTheIdentityOfEachBuiltPackage) {
  const struct {
    const char* package;
    Text productCode;
    Text productVersion;
  } cases[] = {
      {testing::kMainPackage, testing::kMainProductCode, testing::kSampleVersion},
      {testing::kSecondPackage, testing::kSecondProductCode, testing::kSampleVersion},
      {testing::kOldPackage, testing::kOldProductCode, testing::kOldVersion},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.package);
    PackageInfo read;
    const Text path = CopyPackageInto(dir, c.package);
    ASSERT_EQ(InspectPackage(read, path, platform, msi), 0u);
    EXPECT_EQ(read.packagePath, path);
    EXPECT_EQ(read.productCode, c.productCode);
    EXPECT_EQ(read.productVersion, c.productVersion);
    EXPECT_EQ(read.keyFileVersion, testing::kKeyFileVersion);
    // A new code for every build: only the one msitools read from this very file will do.
    EXPECT_EQ(read.packageCode, testing::PackageCodeOf(c.package));
    EXPECT_EQ(read.packageCode.size(), 38u);
    EXPECT_EQ(read.instanceName, u"");
    EXPECT_EQ(read.instanceProductCode, u"");
    EXPECT_NE(read.database.get(), 0u);
  }
}

TEST_F(InspectPackageTest, LeavesTheDatabaseOpenForTheCallerToClose) {
  ASSERT_EQ(InspectPackage(info, CopyPackageInto(dir, testing::kMainPackage), platform, msi), 0u);
  const MsiHandle database = info.database.get();
  ASSERT_NE(database, 0u);
  // Still a database: a query through it answers.
  MsiHandle view = 0;
  EXPECT_EQ(msi.OpenView(database, u"SELECT Value FROM Property WHERE Property = 'ProductName'", view), 0u);
  EXPECT_EQ(msi.CloseHandle(view), 0u);
  info.database.Close();
  EXPECT_EQ(info.database.get(), 0u);
  EXPECT_EQ(msi.CloseHandle(database), kInvalidHandle) << "closed already";
}

TEST_F(InspectPackageTest, TakesTheInstanceFromTheSetupIniBesideThePackageInEachEncoding) {
  const Text instance = u"Zweite \u0416";   // not ASCII, so that a wrong decoding shows
  const Text text = u"[Startup]\r\nProductCode={00000000-0000-0000-0000-000000000000}\r\n"
                    u"[Instances]\r\ncount=1\r\nInstance1=" + instance + u"\r\n"
                    u"[" + instance + u"]\r\nProductCode=" + testing::kSecondProductCode + u"\r\n";
  const std::string utf8 = ToUtf8(text);
  const struct {
    const char* encoding;
    std::string bytes;
    Text instanceName;
    Text instanceProductCode;
  } cases[] = {
      {"UTF-8 without a mark", utf8, instance, testing::kSecondProductCode},
      {"UTF-8 with a mark", "\xEF\xBB\xBF" + utf8, instance, testing::kSecondProductCode},
      {"UTF-16LE with a mark", Utf16LeWithMark(text), instance, testing::kSecondProductCode},
      {"UTF-16BE, which the text stream refuses", "\xFE\xFF" + std::string(4, '\0'), u"", u""},
  };
  const Text package = CopyPackageInto(dir, testing::kSecondPackage);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    dir.Write("setup.ini", c.bytes);
    PackageInfo read;
    ASSERT_EQ(InspectPackage(read, package, platform, msi), 0u);
    EXPECT_EQ(read.instanceName, c.instanceName);
    EXPECT_EQ(read.instanceProductCode, c.instanceProductCode);
    EXPECT_EQ(read.productCode, testing::kSecondProductCode);
  }
}

TEST_F(InspectPackageTest, AMissingPackageIsFileNotFoundWithNothingRead) {
  dir.Write("setup.ini", "[Instances]\r\n1=Second\r\n[Second]\r\nProductCode={0}\r\n");
  const Text path = dir.PathOf("missing.msi");
  EXPECT_EQ(InspectPackage(info, path, platform, msi), kPackageMissing);
  EXPECT_EQ(info.packagePath, path);
  EXPECT_EQ(info.database.get(), 0u);
  EXPECT_EQ(info.productCode + info.packageCode + info.productVersion + info.keyFileVersion, u"");
  EXPECT_EQ(info.instanceName + info.instanceProductCode, u"");
}

TEST_F(InspectPackageTest, AFileThatIsNoPackageGivesTheInstallersCodeWithNothingRead) {
  dir.Write("setup.ini", "[Instances]\r\n1=Second\r\n[Second]\r\nProductCode={0}\r\n");
  const Text path = dir.Write("ledgr.msi", "[Startup]\r\nThis is a settings file, not a package.\r\n");
  const MsiResult result = InspectPackage(info, path, platform, msi);
  MsiHandle direct = 0;
  const MsiResult expected = msi.OpenDatabase(path, direct);
  EXPECT_NE(expected, 0u);
  EXPECT_EQ(result, expected);
  EXPECT_EQ(info.database.get(), 0u);
  EXPECT_EQ(info.productCode + info.packageCode + info.productVersion + info.keyFileVersion, u"");
  EXPECT_EQ(info.instanceName + info.instanceProductCode, u"");
}

TEST_F(InspectPackageTest, APackageWithoutTheKeyFileRowEndsAtThatQuery) {
  dir.Write("setup.ini", "[Instances]\r\n1=Second\r\n[Second]\r\nProductCode={0}\r\n");
  const Text path = CopyPackageInto(dir, testing::kPackageWithoutKeyFile);
  EXPECT_EQ(InspectPackage(info, path, platform, msi), kNoMoreItems);
  EXPECT_EQ(info.productCode, testing::kMainProductCode);
  EXPECT_EQ(info.productVersion, testing::kSampleVersion);
  EXPECT_EQ(info.keyFileVersion, u"");
  EXPECT_EQ(info.instanceName + info.instanceProductCode, u"");
  EXPECT_NE(info.database.get(), 0u);
}

}  // namespace
}  // namespace setup
