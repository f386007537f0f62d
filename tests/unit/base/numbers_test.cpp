#include "setup/base/numbers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cwchar>

namespace setup {
namespace {

struct SignedCase {
  const char16_t* text;
  int32_t value;
  size_t consumed;
};

TEST(ParseSignedDecimal, FollowsWcstolInBase10) {
  const SignedCase cases[] = {
      {u"42", 42, 2},           {u"  -7", -7, 4},        {u"+8", 8, 2},
      {u"\t\n12abc", 12, 4},    {u"", 0, 0},             {u"abc", 0, 0},
      {u"-", 0, 0},             {u" +", 0, 0},           {u"0x10", 0, 1},
      {u"99999999999", INT32_MAX, 11},                    {u"-99999999999", INT32_MIN, 12},
      {u"2147483647", INT32_MAX, 10},                     {u"-2147483648", INT32_MIN, 11},
      {u"2147483648", INT32_MAX, 10},                     {u"1 2", 1, 1},
      {u"--1", 0, 0},           {u"\u00a012", 12, 3},    {u"000000000000000000000000000000005", 5, 33},
      // The C library's other white space and other scripts' digits.
      {u"\u3000-\u0661\u0662", -12, 4},                  {u"\uff15\u0039\u1819x", 599, 3},
      {u"\u0bE7", 0, 0},        {u"\u06ef", 0, 0},       {u"\u200b1", 0, 0},
  };
  for (const auto& c : cases) {
    const SignedParse parsed = ParseSignedDecimal(c.text);
    EXPECT_EQ(parsed.value, c.value) << ToUtf8(c.text);
    EXPECT_EQ(parsed.consumed, c.consumed) << ToUtf8(c.text);
  }
}

TEST(ParseUnsignedDecimal, FollowsWcstoulInBase10) {
  const struct {
    const char16_t* text;
    uint32_t value;
  } cases[] = {
      {u"512", 512},          {u"2", 2},   {u"-1", 0xFFFFFFFFu}, {u"4294967295", 0xFFFFFFFFu},
      {u"4294967296", 0xFFFFFFFFu},        {u"abc", 0},          {u" 256 ", 256},
      {u"-2", 0xFFFFFFFEu},   {u"99999999999999999999", 0xFFFFFFFFu},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseUnsignedDecimal(c.text).value, c.value) << ToUtf8(c.text);
}

#ifdef _WIN32
// Under Wine the C library itself is at hand: every character before a digit, so that it shows
// whether it is read as a digit, a blank, a sign or an end.
TEST(ParseSignedDecimal, ReadsTheDigitsAndBlanksOfTheCLibrary) {
  for (char32_t c = 1; c <= 0xFFFF; ++c) {
    const wchar_t text[] = {static_cast<wchar_t>(c), L'7', L'\0'};
    wchar_t* end = nullptr;
    const long expected = std::wcstol(text, &end, 10);
    const SignedParse parsed = ParseSignedDecimal(TextView(reinterpret_cast<const char16_t*>(text), 2));
    ASSERT_EQ(parsed.value, expected) << std::hex << int(c);
    ASSERT_EQ(parsed.consumed, static_cast<size_t>(end - text)) << std::hex << int(c);
  }
}
#endif

TEST(FormatHex4, PadsToFourLowerCaseDigits) {
  EXPECT_EQ(FormatHex4(1049), u"0x0419");
  EXPECT_EQ(FormatHex4(0), u"0x0000");
  EXPECT_EQ(FormatHex4(0xC09), u"0x0c09");
  EXPECT_EQ(FormatHex4(0x12345), u"0x12345");
  EXPECT_EQ(FormatHex4(0xFFFFFFFFu), u"0xffffffff");
}

TEST(FormatDecimal, WritesBase10WithSign) {
  EXPECT_EQ(FormatDecimal(1049), u"1049");
  EXPECT_EQ(FormatDecimal(0), u"0");
  EXPECT_EQ(FormatDecimal(-12), u"-12");
  EXPECT_EQ(FormatDecimal(4294967295), u"4294967295");
}

}  // namespace
}  // namespace setup
