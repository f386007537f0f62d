// What --init and --deploy read of a package: only the summary's page count and the two codes
// decide whether it can serve; the names, the platform and the comments only label.

#include "tools/setup-check/shared/package_facts.h"

#include <gtest/gtest.h>

#include "tests/support/fake_msi.h"

namespace setup::check {
namespace {

TEST(ReadPackageFacts, RefusesOnlyWithoutThePageCountOrACode) {
  const struct {
    const char* failing;   // an export that fails on every call, or none
    const char16_t* lacking;  // a property the package lacks, or none
    const char* reason;    // a part of the refusal; empty when the facts serve
  } cases[] = {
      {"", u"Manufacturer", ""},
      {"", u"ProductVersion", "of w.msi (result 259 ("},
      {"MsiGetSummaryInformationW", u"", "(result 1627 ("},
      {"MsiSummaryInfoGetPropertyW", u"", "(result 1627 ("},
  };
  for (const auto& c : cases) {
    setup::testing::FakeMsi msi;
    setup::testing::FakePackage& package = msi.packages[u"w.msi"];
    package.summary[7] = {setup::testing::kVtLpstr, 0, u"x64;1033,1049"};
    package.summary[14] = {setup::testing::kVtI4, 301, u""};
    package.properties = {{u"ProductCode", u"{C}"}, {u"ProductVersion", u"1.2"}, {u"Manufacturer", u"Acme"}};
    package.properties.erase(c.lacking);
    if (*c.failing != '\0') msi.Fail(c.failing, 1627);
    const PackageFacts facts = ReadPackageFacts(msi.Module(), u"w.msi");
    const std::string reason = UnreadableReason(facts, "w.msi");
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.failing << ToUtf8(c.lacking) << ": " << reason;
    if (*c.reason != '\0') continue;
    EXPECT_EQ(reason, "");
    EXPECT_EQ((std::pair{facts.engineVersion, facts.platform}), (std::pair{301, Text(u"x64")}));
  }
}

}  // namespace
}  // namespace setup::check
