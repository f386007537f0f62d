#include "setup/base/chars.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "setup/base/path.h"

namespace setup {
namespace {

TEST(IsSpace, IsTheCLibrarySet) {
  for (char16_t c : TextView(u" \t\n\v\f\r\u00a0\u1680\u2000\u200a\u2028\u2029\u202f\u205f\u3000")) {
    EXPECT_TRUE(IsSpace(c)) << int(c);
  }
  for (char16_t c : TextView(u"a0_\u0085\u009f\u00a1\u180e\u1fff\u200b\u2027\u202a\u205e\u2060\u2fff\u3001\ufeff")) {
    EXPECT_FALSE(IsSpace(c)) << int(c);
  }
  EXPECT_FALSE(IsSpace(u'\0'));
}

#ifdef _WIN32
// Under Wine the C library itself is at hand.
TEST(IsSpace, AnswersAsTheCLibraryForEveryCharacter) {
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    ASSERT_EQ(IsSpace(static_cast<char16_t>(c)), std::iswspace(static_cast<wint_t>(c)) != 0) << std::hex << int(c);
  }
}
#endif

TEST(IsAlnum, AcceptsLettersAndDigitsOnly) {
  for (char16_t c : TextView(u"azAZ09\u00e9\u00c0\u0416\u4e2d")) EXPECT_TRUE(IsAlnum(c)) << int(c);
  for (char16_t c : TextView(u"_?-=:/ \u00d7\u00f7\u2014\u3001")) EXPECT_FALSE(IsAlnum(c)) << int(c);
}

TEST(EqualsIgnoringAsciiCase, FoldsOnlyAToZ) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase(u"ProductCode", u"PRODUCTCODE"));
  EXPECT_TRUE(EqualsIgnoringAsciiCase(u"", u""));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(u"count", u"count "));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(u"\u00e9", u"\u00c9"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(u"[", u"{"));  // '[' and '{' differ by the case bit
}

TEST(TrimWhitespace, RemovesOnlyTheEnds) {
  EXPECT_EQ(TrimWhitespace(u"  a b \r\n"), u"a b");
  EXPECT_EQ(TrimWhitespace(u" \t "), u"");
  EXPECT_EQ(TrimWhitespace(u""), u"");
  EXPECT_EQ(TrimWhitespace(u"\u3000\u00a0x\u2029y\u202f"), u"x\u2029y");
  EXPECT_EQ(TrimWhitespace(u"\u200bx\ufeff"), u"\u200bx\ufeff");
}

TEST(SplitPath, SplitsLikeTheCLibrary) {
  const struct {
    const char16_t* path;
    const char16_t* drive;
    const char16_t* directory;
    const char16_t* name;
    const char16_t* extension;
  } cases[] = {
      {u"C:\\dist\\product.msi", u"C:", u"\\dist\\", u"product", u".msi"},
      {u"C:\\dist/sub\\a.b.msi", u"C:", u"\\dist/sub\\", u"a.b", u".msi"},
      {u"product.msi", u"", u"", u"product", u".msi"},
      {u"C:product", u"C:", u"", u"product", u""},
      {u"\\\\server\\share\\p.msi", u"", u"\\\\server\\share\\", u"p", u".msi"},
      {u"C:\\dir.d\\file", u"C:", u"\\dir.d\\", u"file", u""},
      {u"", u"", u"", u"", u""},
  };
  for (const auto& c : cases) {
    const PathParts parts = SplitPath(c.path);
    EXPECT_EQ(parts.drive, c.drive) << ToUtf8(c.path);
    EXPECT_EQ(parts.directory, c.directory) << ToUtf8(c.path);
    EXPECT_EQ(parts.name, c.name) << ToUtf8(c.path);
    EXPECT_EQ(parts.extension, c.extension) << ToUtf8(c.path);
  }
}

TEST(Utf8, RoundTripsAndReplacesMalformedBytes) {
  EXPECT_EQ(FromUtf8("caf\xc3\xa9 \xf0\x9f\x98\x80"), u"caf\u00e9 \U0001F600");
  EXPECT_EQ(ToUtf8(u"caf\u00e9 \U0001F600"), "caf\xc3\xa9 \xf0\x9f\x98\x80");
  EXPECT_EQ(FromUtf8("a\xff" "b"), u"a\ufffdb");
  EXPECT_EQ(FromUtf8("a\xc3"), u"a\ufffd");
}

TEST(Utf8, ReplacesOverlongAndBrokenSequencesAndResumesRightAfterThem) {
  const struct {
    const char* rule;
    std::string bytes;
    Text text;
  } cases[] = {
      {"overlong two bytes", "\xc0\xaf!", u"\ufffd\ufffd!"},
      {"overlong three bytes", "\xe0\x80\xaf!", u"\ufffd!"},
      {"overlong four bytes", "\xf0\x8f\xbf\xbf!", u"\ufffd!"},
      {"surrogate", "\xed\xa0\x80!", u"\ufffd!"},
      {"above U+10FFFF", "\xf4\x90\x80\x80!", u"\ufffd!"},
      {"broken before ASCII", "\xe2\x82" "A", u"\ufffdA"},
      {"broken before a lead", "\xe2\x82\xc3\xa9", u"\ufffd\u00e9"},
      {"lone continuation", "\x80\xbf" "A", u"\ufffd\ufffdA"},
      {"largest", "\xf4\x8f\xbf\xbf", u"\U0010FFFF"},
      {"smallest three bytes", "\xe0\xa0\x80", u"\u0800"},
  };
  for (const auto& c : cases) EXPECT_EQ(FromUtf8(c.bytes), c.text) << c.rule;
}

}  // namespace
}  // namespace setup
