#include "setup/driver/version_number.h"

#include <gtest/gtest.h>

#include <climits>

namespace setup {
namespace {

using Components = std::array<int32_t, 4>;

TEST(ParseVersion, SplitsAtDotsAndStopsAtTheFirstMissingOrInvalidComponent) {
  const struct {
    const char16_t* text;
    Components expected;
  } cases[] = {
      {u"1.2.3.4", {1, 2, 3, 4}},        {u"3.1", {3, 1, -1, -1}},
      {u"5", {5, -1, -1, -1}},           {u"", {-1, -1, -1, -1}},
      {u"6.1.", {6, 1, -1, -1}},         {u"1..3", {1, -1, -1, -1}},
      {u"1.x.3", {1, -1, -1, -1}},       {u"1.2.3.4.5", {1, 2, 3, -1}},
      {u"1.2.3 ", {1, 2, -1, -1}},       {u" 7. +8", {7, 8, -1, -1}},
      {u"0x10", {-1, -1, -1, -1}},       {u"99999999999.1", {INT32_MAX, 1, -1, -1}},
      {u"-99999999999.1", {INT32_MIN, 1, -1, -1}},    {u"-1.0", {-1, 0, -1, -1}},
      {u"5.0.7601.17514", {5, 0, 7601, 17514}},       {u"1.2.3.", {1, 2, 3, -1}},
      {u".1", {-1, -1, -1, -1}},         {u"1.--2", {1, -1, -1, -1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseVersion(c.text).components, c.expected) << ToUtf8(c.text);
  }
}

TEST(CompareVersions, TheFirstDifferingComponentDecidesAndMissingCountsAsMinusOne) {
  const struct {
    const char16_t* a;
    const char16_t* b;
    int sign;
  } cases[] = {
      {u"5.0.7601.17514", u"3.1", 1}, {u"", u"3.1", -1},          {u"3.1", u"3.1.0", -1},
      {u"3.1", u"3.1.-1", 0},         {u"1.2.3.4", u"1.2.3.5", -1}, {u"1.2.3.9", u"1.2.3.5", 1},
      {u"2", u"10", -1},              {u"4.5.6.7", u"4.5.6.7", 0},  {u"3.0", u"2.99", 1},
      {u"-99999999999", u"99999999999", -1},
  };
  for (const auto& c : cases) {
    const int result = CompareVersions(ParseVersion(c.a), ParseVersion(c.b));
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << ToUtf8(c.a) << " vs " << ToUtf8(c.b);
  }
}

}  // namespace
}  // namespace setup
