#include <gtest/gtest.h>

#include <vector>

#include "setup/cmdline/command_line_parser.h"

namespace setup {
namespace {

TEST(SplitCommandLine, QuotesAndBackslashesStayInTheText) {
  const struct {
    const char16_t* line;
    std::vector<Text> arguments;
  } cases[] = {
      {uR"("C:\Program Files\Product\setup.exe" /l ru)",
       {uR"("C:\Program Files\Product\setup.exe")", u"/l", u"ru"}},
      {uR"(a"b c"d)", {uR"(a"b c"d)"}},
      {uR"(\"a b)", {uR"(\"a)", u"b"}},                // the escaped quote does not open quoting
      {uR"("a\" b")", {uR"("a\" b")"}},
      {uR"(\\"a b")", {uR"(\\"a b")"}},                // the second backslash clears the escape
      {uR"(\a"b c")", {uR"(\a"b c")"}},                // an escape is spent on the next character
      {uR"("" x)", {uR"("")", u"x"}},
      {uR"(x "unpaired  tail)", {u"x", uR"("unpaired  tail)"}},
      {u" \t a\tb \t ", {u"a", u"b"}},
      {u"a\nb\vc\r", {u"a\nb\vc\r"}},                  // only space and tab separate
      {u"", {}},
      {u" \t ", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.arguments) << ToUtf8(c.line);
}

TEST(SplitCommandLine, ArgumentsOfAnyLengthComeThroughWhole) {
  const Text plain(50000, u'x');
  const Text quoted = u"\"" + Text(30000, u'y') + u" " + Text(30000, u'z') + u"\"";
  EXPECT_EQ(SplitCommandLine(u"setup.exe " + plain + u" " + quoted),
            (std::vector<Text>{u"setup.exe", plain, quoted}));
}

}  // namespace
}  // namespace setup
