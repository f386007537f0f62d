#include "tools/setup-check/check_options.h"

#include <gtest/gtest.h>

namespace setup::check {
namespace {

TEST(ParseCheckArguments, ReadsTheMachineAndTheSetupArguments) {
  const ParsedArguments parsed = ParseCheckArguments(
      {u"--os", u"5.1.2600.2.0", u"--language=0x0419", u"--engine", u"3.1.4000.2435", u"--installed", u"{A}=1.0",
       u"--installed={B}=2.0", u"--codepage", u"1251", u"--json", u"dist", u"--", u"/l", u"--os"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const CheckOptions& o = *parsed.options;
  EXPECT_EQ(o.system.build, 2600u);
  EXPECT_EQ(o.system.servicePackMajor, 2);
  EXPECT_EQ(o.language, 0x0419);
  EXPECT_EQ(o.engine, (ProductVersionWords{3, 1, 4000, 2435}));
  ASSERT_EQ(o.installed.size(), 2u);
  EXPECT_EQ(o.installed[1].productCode, u"{B}");
  EXPECT_EQ(o.installed[1].version, u"2.0");
  EXPECT_EQ(o.codePage, 1251u);
  EXPECT_TRUE(o.json);
  EXPECT_EQ(o.distribution, u"dist");
  EXPECT_EQ(o.setupArguments, (std::vector<Text>{u"/l", u"--os"}));
}

TEST(ParseCheckArguments, RefusesWhatItCannotTakeLiterally) {
  const std::vector<std::vector<Text>> wrong = {
      {},                       // no folder
      {u"a", u"b"},             // two folders
      {u"--os", u"6.1", u"d"},  // neither three nor five parts
      {u"--os", u"6.1.x", u"d"},
      {u"--engine", u"5.0.70000.0", u"d"},  // a part above 16 bits
      {u"--language", u"0x10000", u"d"},
      {u"--language", u"ru", u"d"},
      {u"--installed", u"{A}", u"d"},  // no version
      {u"--command-line", u"/S", u"d", u"--", u"/a"},
      {u"--codepage", u"125x", u"d"},
      {u"--codepage", u"77777", u"d"},  // no such code page
      {u"--unknown", u"d"},
  };
  for (const auto& arguments : wrong) {
    const ParsedArguments parsed = ParseCheckArguments(arguments);
    EXPECT_FALSE(parsed.options);
    EXPECT_FALSE(parsed.error.empty());
  }
}

TEST(SetupCommandLine, QuotesArgumentsAsAWindowsProgramSplitsThem) {
  struct Case {
    std::vector<Text> arguments;
    Text expected;
  } cases[] = {
      {{}, u"\"C:\\d\\setup.exe\""},
      {{u"/l", u"ru"}, u"\"C:\\d\\setup.exe\" /l ru"},
      {{u"A=a b"}, u"\"C:\\d\\setup.exe\" \"A=a b\""},
      {{u""}, u"\"C:\\d\\setup.exe\" \"\""},
      {{u"A=\"x\""}, u"\"C:\\d\\setup.exe\" \"A=\\\"x\\\"\""},
      {{u"D=C:\\a b\\"}, u"\"C:\\d\\setup.exe\" \"D=C:\\a b\\\\\""},
  };
  for (const Case& c : cases) {
    CheckOptions options;
    options.setupArguments = c.arguments;
    EXPECT_EQ(SetupCommandLine(u"C:\\d\\setup.exe", options), c.expected);
  }
}

TEST(SetupCommandLine, TakesAGivenArgumentTextAsItIs) {
  CheckOptions options;
  options.setupArgumentText.emplace(u"/debuglog \"C:\\a b\\l.txt\"  X=1");
  EXPECT_EQ(SetupCommandLine(u"C:\\setup.exe", options), u"\"C:\\setup.exe\" /debuglog \"C:\\a b\\l.txt\"  X=1");
}

}  // namespace
}  // namespace setup::check
