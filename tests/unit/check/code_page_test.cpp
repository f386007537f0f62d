#include "tools/setup-check/shared/code_page.h"

#include <gtest/gtest.h>

namespace setup::check {
namespace {

// Off Windows the check decodes with iconv; Windows answers for its own code pages itself.
#ifndef _WIN32
TEST(DecodeCodePage, GivesUFFFDForEachByteThatFormsNoCharacter) {
  const struct {
    uint32_t codePage;
    std::string_view bytes;
    std::optional<Text> text;
  } cases[] = {
      {1251, "\xCF\xF0\xE8", u"\u041F\u0440\u0438"},
      {932, "\x82\xA0-\x82", u"\u3042-\uFFFD"},   // a lead byte cut short at the end
      {1253, "a\xAA" "b", u"a\uFFFDb"},            // a byte 1253 leaves unassigned
      {65001, "\xFF\xFE" "a\xE2\x82", u"\uFFFD\uFFFDa\uFFFD"},
      {1252, "", u""},
      {77777, "a", std::nullopt},                  // no such code page
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeCodePage(c.codePage, c.bytes), c.text) << c.codePage;
}
#endif

}  // namespace
}  // namespace setup::check
