#include "tools/setup-check/check/check_command.h"
#include "tools/setup-check/init/init_command.h"

#include <gtest/gtest.h>

namespace setup::check {
namespace {

TEST(ParseCheckArguments, ReadsTheMachineAndTheSetupArguments) {
  const ParsedArguments parsed = ParseCheckArguments(
      {u"--installed", u"{A}=1.0", u"dist", u"--os", u"5.1.2600.2.0", u"--language=0x0419", u"--engine",
       u"3.1.4000.2435", u"--installed={B}=2.0", u"--codepage", u"01251", u"--json", u"--", u"/l", u"--os", u"--"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const CheckOptions& o = *parsed.options;
  EXPECT_EQ(o.system.build, 2600u);
  EXPECT_EQ(o.system.servicePackMajor, 2u);
  EXPECT_EQ(o.language, 0x0419u);
  EXPECT_EQ(o.engine, (ProductVersionWords{3, 1, 4000, 2435}));
  ASSERT_EQ(o.installed.size(), 2u);
  EXPECT_EQ(o.installed[1].productCode, u"{B}");
  EXPECT_EQ(o.installed[1].version, u"2.0");
  EXPECT_EQ(o.codePage, 1251u);
  EXPECT_TRUE(o.json);
  EXPECT_EQ(o.distribution, u"dist");
  EXPECT_EQ(o.setupArguments, (std::vector<Text>{u"/l", u"--os", u"--"}));

  // A leading zero is still decimal, a value may look like an option, and "/" starts no option.
  const ParsedArguments zeros =
      ParseCheckArguments({u"--os=06.1.07601", u"--language", u"0410", u"--command-line", u"--json", u"/d"});
  ASSERT_TRUE(zeros.options) << zeros.error;
  EXPECT_EQ(zeros.options->system.build, 7601u);
  EXPECT_EQ(zeros.options->language, 410u);
  EXPECT_EQ(zeros.options->setupArgumentText, u"--json");
  EXPECT_FALSE(zeros.options->json);
  EXPECT_EQ(zeros.options->distribution, u"/d");
}

TEST(ParseCheckArguments, RefusesWhatItCannotTakeLiterally) {
  // Whole command lines (no folder, two, the folder after "--" or taken for a value), then values.
  std::vector<std::vector<Text>> wrong = {{}, {u"a", u"b"}, {u"--", u"d"}, {u"--os", u"d"}, {u"--unknown", u"d"},
                                          {u"--command-line", u"/S", u"d", u"--", u"/a"}};
  for (const auto& [option, value] : std::initializer_list<std::pair<Text, Text>>{
           {u"--os", u"6.1"}, {u"--os", u"6.1.7601.1"}, {u"--os", u"6.1.x"}, {u"--os", u"6..1.7601"},
           {u"--os", u"+6.1.7601"}, {u"--os", u"6.1.2147483648"}, {u"--os", u"6.1.7601.65536.0"},
           {u"--engine", u"5.0.70000.0"}, {u"--language", u"0x10000"}, {u"--language", u"ru"}, {u"--language", u"-1"},
           {u"--installed", u"{A}"}, {u"--installed", u"=1.0"}, {u"--codepage", u"0x4e4"},
           {u"--codepage", u"77777"}}) {  // no such code page
    wrong.push_back({option, value, u"d"});
  }
  for (const auto& arguments : wrong) {
    const ParsedArguments parsed = ParseCheckArguments(arguments);
    EXPECT_FALSE(parsed.options) << ToUtf8(arguments.size() > 1 ? arguments[1] : Text());
    EXPECT_FALSE(parsed.error.empty());
  }
}

TEST(CheckUsage, AnswersHelpAndNamesEveryOptionAndExitCode) {
  for (const ParsedArguments& help : {ParseCheckArguments({u"--help"}), ParseCheckArguments({u"d", u"-h"})}) {
    EXPECT_TRUE(!help.options && help.error.empty());
  }
  EXPECT_EQ(ParseInitArguments({u"--help"}).error, "");
  const std::string usage = CheckHelp() + InitHelp();
  for (const char* fact : {"--os", "--language", "--engine", "--installed", "--codepage", "--json", "--command-line",
                           "DIST_DIR", "\"--\"", "0 clean, 1 warnings only, 2 errors, 3 the check itself could not run",
                           "--init [OPTIONS] PACKAGE.msi DIR", "--min-os", "xp-sp3, vista", "--cmdline", "--setup-exe",
                           "--no-copy", "--force", "--languages", "0 written, 3 nothing written"}) {
    EXPECT_NE(usage.find(fact), std::string::npos) << fact;
  }
}

TEST(SetupCommandLine, QuotesArgumentsAsAWindowsProgramSplitsThemOrTakesTheTextGiven) {
  struct Case {
    std::vector<Text> arguments;
    std::optional<Text> text;
    Text expected;
  } cases[] = {
      {{}, {}, u"\"C:\\d\\setup.exe\""},
      {{u"/l", u"ru"}, {}, u"\"C:\\d\\setup.exe\" /l ru"},
      {{u"A=a b"}, {}, u"\"C:\\d\\setup.exe\" \"A=a b\""},
      {{u""}, {}, u"\"C:\\d\\setup.exe\" \"\""},
      {{u"A=\"x\""}, {}, u"\"C:\\d\\setup.exe\" \"A=\\\"x\\\"\""},
      {{u"D=C:\\a b\\"}, {}, u"\"C:\\d\\setup.exe\" \"D=C:\\a b\\\\\""},
      {{}, u"/debuglog \"C:\\a b\\l.txt\"  X=1", u"\"C:\\d\\setup.exe\" /debuglog \"C:\\a b\\l.txt\"  X=1"},
      {{}, u"", u"\"C:\\d\\setup.exe\""},
  };
  for (const Case& c : cases) {
    CheckOptions options;
    options.setupArguments = c.arguments;
    options.setupArgumentText = c.text;
    EXPECT_EQ(SetupCommandLine(u"C:\\d\\setup.exe", options), c.expected);
  }
}

}  // namespace
}  // namespace setup::check
