// Product detection against Wine's msi.dll, with products really installed into the test prefix
// by msiexec: the sample (2.0.1.5), its second instance (2.0.1.5) and a third instance (1.9.0.0).

#include <gtest/gtest.h>

#include "setup/driver/setup_context.h"
#include "setup/installer/package_inspection.h"
#include "setup/platform/win32/win32_platform.h"
#include "tests/integration/sample_packages.h"

namespace setup {
namespace {

constexpr char16_t kNeverInstalled[] = u"{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D7F}";
constexpr char16_t kAlsoNeverInstalled[] = u"{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D7E}";

class DetectInstalledProductTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RemoveAll();  // left over from a run that did not get to its end
    installed_ = true;
    for (const char* package : {testing::kMainPackage, testing::kSecondPackage, testing::kOldPackage}) {
      installed_ = installed_ && testing::InstallSilently(testing::BuiltPackage(package)) == 0;
    }
  }
  static void TearDownTestSuite() { RemoveAll(); }

  static void RemoveAll() {
    for (const Text code : {testing::kMainProductCode, testing::kSecondProductCode, testing::kOldProductCode}) {
      testing::RemoveSilently(code);
    }
  }

  void SetUp() override { ASSERT_TRUE(installed_) << "msiexec could not install the test products"; }

  static bool installed_;
};

bool DetectInstalledProductTest::installed_ = false;

TEST_F(DetectInstalledProductTest, AnswersForProductsInstalledInThePrefix) {
  const struct {
    Text productCode;
    Text productVersion;
    Text instanceProductCode;
    InstalledProduct expected;
    const char* why;
  } cases[] = {
      {testing::kMainProductCode, u"2.0.1.5", u"", InstalledProduct::kProduct, "the product in this version"},
      {testing::kOldProductCode, u"1.9.0.0", u"", InstalledProduct::kProduct, "another product in its version"},
      {testing::kMainProductCode, u"2.0.1.5", testing::kSecondProductCode, InstalledProduct::kProduct,
       "the product is asked before the instance"},
      {kNeverInstalled, u"2.0.1.5", testing::kSecondProductCode, InstalledProduct::kInstance,
       "only the instance is installed"},
      {testing::kOldProductCode, u"2.0.1.5", testing::kSecondProductCode, InstalledProduct::kInstance,
       "the product in another version, the instance in this one"},
      {testing::kOldProductCode, u"2.0.1.5", u"", InstalledProduct::kNeither, "installed, but another version"},
      {testing::kMainProductCode, u"2.0.1.6", u"", InstalledProduct::kNeither, "installed, but a later version"},
      {testing::kMainProductCode, u"2.0.1", u"", InstalledProduct::kNeither,
       "three parts leave the fourth unmatched"},
      {testing::kMainProductCode, u"2.0.1.6", testing::kSecondProductCode, InstalledProduct::kNeither,
       "both installed, neither in this version"},
      {kNeverInstalled, u"1.9.0.0", testing::kOldProductCode, InstalledProduct::kInstance,
       "the instance in its version"},
      {kNeverInstalled, u"2.0.1.5", u"", InstalledProduct::kNeither, "not installed, no instance"},
      {kNeverInstalled, u"2.0.1.5", kAlsoNeverInstalled, InstalledProduct::kNeither, "neither installed"},
      {u"ledgr", u"2.0.1.5", u"", InstalledProduct::kNeither, "not a product code"},
      {u"", u"2.0.1.5", testing::kSecondProductCode, InstalledProduct::kInstance, "no product code in the settings"},
  };
  Win32Platform platform;
  MsiLibrary msi(platform);
  for (const auto& c : cases) {
    SetupContext context(platform, msi);
    context.productCode = c.productCode;
    context.productVersion = ParseVersion(c.productVersion);
    context.instanceProductCode = c.instanceProductCode;
    EXPECT_EQ(DetectInstalledProduct(context), c.expected) << c.why;
  }
  // Detection uses a library record of its own.
  EXPECT_FALSE(msi.IsLoaded());
}

}  // namespace
}  // namespace setup
