#include "tools/setup-check/check/findings.h"

#include <gtest/gtest.h>

namespace setup::check {
namespace {

TEST(NearestName, TakesCaseAndALetterOrTwoButNotMore) {
  const std::vector<Text> keys = {u"Product", u"PackageName", u"CmdLine", u"ProductCode", u"Location"};
  const std::vector<Text> entries = {u"Xp", u"Vista"};
  const struct {
    Text name;
    const std::vector<Text>& known;
    std::optional<Text> nearest;
  } cases[] = {
      {u"Cmdline", keys, u"CmdLine"},       {u"CMDLINE", keys, u"CmdLine"},  {u"Locaton", keys, u"Location"},
      {u"Loaction", keys, u"Location"},                                     // two letters swapped
      {u"PrdctCode", keys, u"ProductCode"}, {u"Prdt", keys, std::nullopt},  // three off
      {u"Vendor", keys, std::nullopt},      {u"Xq", entries, u"Xp"},         {u"Ab", entries, std::nullopt},
      {u"Vsta", entries, u"Vista"},         {u"Vst", entries, std::nullopt}, {u"ProductCod", keys, u"ProductCode"},
  };
  for (const auto& c : cases) EXPECT_EQ(NearestName(c.name, c.known), c.nearest) << ToUtf8(c.name);
}

}  // namespace
}  // namespace setup::check
