#include "setup/cmdline/command_line_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "setup/base/numbers.h"
#include "setup/cmdline/setup_options.h"

namespace setup {
namespace {

// A table that uses what the program's own table does not: numbers, dates, long names,
// required options and positionals, the separator rule.
const OptionSpec kToolOptions[] = {
    {kValueOption, u"n", u"count", u"count", kNumberValue, kRequired},
    {kValueOption, u"o", u"out", u"output", 7, kSeparatorRequired},  // unknown types are text
    {kSwitch, u"v", u"verbose", u"verbose", kNumberValue, 0},
    {kSwitch, u"vv", u"", u"very verbose", kTextValue, 0},
    {kValueOption, u"", u"since", u"since", kDateValue, 0},
    {kSwitch, u"h", u"", u"help", kTextValue, kHelp},
    {kPositional, nullptr, nullptr, u"source", kTextValue, 0},
    {kPositional, nullptr, nullptr, u"targets", kTextValue, kRepeatable},
    {kEndOfTable, nullptr, nullptr, nullptr, 0, 0},
};

const OptionSpec kSwitchOnly[] = {
    {kSwitch, u"v", u"", u"verbose", kTextValue, 0},
    {kEndOfTable, nullptr, nullptr, nullptr, 0, 0},
};

// A repeatable parameter that is not the last one is never satisfied.
const OptionSpec kRepeatableFirst[] = {
    {kPositional, nullptr, nullptr, u"files", kTextValue, kRepeatable},
    {kPositional, nullptr, nullptr, u"extra", kTextValue, kOptional},
    {kEndOfTable, nullptr, nullptr, nullptr, 0, 0},
};

struct Parsed {
  CommandLineParser parser;
  int result = 0;
};

Parsed ParseLine(const OptionSpec* table, const Text& tail, bool longOptions = false) {
  Parsed parsed;
  parsed.parser.SetArguments(SplitCommandLine(u"prog.exe " + tail));
  parsed.parser.SetLongOptions(longOptions);
  parsed.parser.LoadOptionTable(table);
  parsed.result = parsed.parser.Parse();
  return parsed;
}

// "l=ru S +free": the options given with their values, then the positional values.
std::string Describe(const CommandLineParser& parser) {
  static constexpr TextView kSwitches[] = {u"S", u"a", u"x", u"?", u"v", u"vv", u"h"};
  static constexpr TextView kTexts[] = {u"l", u"instance", u"debuglog", u"o", u"since"};
  std::vector<Text> given;
  if (parser.IsPresent(u"n")) given.push_back(u"n=" + FormatDecimal(parser.GetNumber(u"n")));
  for (TextView name : kTexts) {
    if (parser.IsPresent(name)) given.push_back(Text(name) + u"=" + parser.GetText(name));
  }
  for (TextView name : kSwitches) {
    if (parser.IsPresent(name)) given.emplace_back(name);
  }
  for (size_t i = 0; i < parser.PositionalCount(); ++i) given.push_back(u"+" + parser.GetPositional(i));
  Text summary;
  for (const Text& part : given) summary += (summary.empty() ? u"" : u" ") + part;
  return ToUtf8(summary);
}

struct ParseCase {
  const char16_t* tail;
  int result;
  const char16_t* error;
  const char* given;
};

void ExpectParses(const OptionSpec* table, std::initializer_list<ParseCase> cases, bool longOptions = false) {
  for (const ParseCase& c : cases) {
    const Parsed parsed = ParseLine(table, c.tail, longOptions);
    EXPECT_EQ(parsed.result, c.result) << ToUtf8(c.tail);
    EXPECT_EQ(ToUtf8(parsed.parser.ErrorText()), ToUtf8(c.error)) << ToUtf8(c.tail);
    EXPECT_EQ(Describe(parsed.parser), c.given) << ToUtf8(c.tail);
  }
}

TEST(CommandLineParser, ShortOptionValueForms) {
  ExpectParses(kSetupOptions, {
      {u"/l ru", 0, u"", "l=ru"},
      {u"/l:ru", 0, u"", "l=ru"},
      {u"-l=ru", 0, u"", "l=ru"},
      {u"/lru", 0, u"", "l=ru"},
      {u"/L:ru", 0, u"", "l=ru"},
      {u"/l:", 0, u"", "l="},
      {u"/l /S", 0, u"", "l=/S"},
      {u"/l --", 0, u"", "l=--"},
      {u"/l ru /l de", 0, u"", "l=de"},
      {u"/instancefoo", 0, u"", "instance=foo"},
      {u"/instance foo", 0, u"", "instance=foo"},
      {uR"(/debuglog:"C:\my logs\x.txt")", 0, u"", R"(debuglog="C:\my logs\x.txt")"},
      {u"/S /l", 1, u"Option \"l\" requires a value.\n", "S"},
  });
}

TEST(CommandLineParser, SwitchesMatchByAsciiCaseAndCannotBeGrouped) {
  ExpectParses(kSetupOptions, {
      {u"/s -A /X", 0, u"", "S a x"},
      {u"/Sa", 1, u"Unexpected characters following option \"S\"\n", ""},
      {u"/a /sx /x", 1, u"Unexpected characters following option \"s\"\n", "a"},
      {u"/?x", 1, u"Unexpected characters following option \"?\"\n", ""},
      {u"/q /S", 1, u"Unknown option q\n", ""},
      {u"/debug-log x", 1, u"Unknown option debug\n", ""},
      {u"/--", 1, u"Unknown option \n", ""},
      {u"/S --S", 1, u"Unknown option --S\n", "S"},
  });
}

TEST(CommandLineParser, HelpSwitchStopsAtOnce) {
  ExpectParses(kSetupOptions, {{u"/S /? /Sa --x /l", -1, u"", "S ?"}});
  ExpectParses(kToolOptions, {{u"/h /n 0", -1, u"", "h"}});
}

TEST(CommandLineParser, DoubleDashEndsOptionsAndIsDropped) {
  ExpectParses(kSetupOptions, {
      {u"/S -- /a B=2", 0, u"", "S +/a +B=2"},
      {u"-- -- /S --", 0, u"", "+/S"},
      {u"/ - x", 0, u"", "+/ +- +x"},
      {uR"(B=2 "C=x y")", 0, u"", R"(+B=2 +"C=x y")"},
  });
  ExpectParses(kSwitchOnly, {{u"/v -- x", 1, u"Unexpected parameter 'x'\n", "v"}});
  ExpectParses(kRepeatableFirst, {{u"a b", 1, u"The required parameter 'files' was not specified.\n", "+a +b"}});
}

TEST(CommandLineParser, NumbersAndRequiredParts) {
  ExpectParses(kToolOptions, {
      {u"/n 12abc s t", 0, u"", "n=12 +s +t"},
      {u"/n:-5 s t u", 0, u"", "n=-5 +s +t +u"},
      {u"/n 99999999999 s t", 0, u"", "n=2147483647 +s +t"},
      {u"/n 0 s t", 1, u"0 is not a correct numeric value for option n\n", ""},
      {u"/N=abc", 1, u"abc is not a correct numeric value for option N\n", ""},
      {u"/n 1 /ofile s t", 1, u"Separator expected after the option o\n", "n=1"},
      {u"/n1 /o:file s t", 0, u"", "n=1 o=file +s +t"},
      {u"/n 1 /vv /V s t", 0, u"", "n=1 v vv +s +t"},
      {u"/n 1 /vvv", 1, u"Unexpected characters following option \"vv\"\n", "n=1"},
      {u"s t", 1, u"", "+s +t"},
      {u"/n 1", 1, u"The required parameter 'source' was not specified.\n", "n=1"},
      {u"/n 1 s", 1, u"The required parameter 'targets' was not specified.\n", "n=1 +s"},
  });
}

TEST(CommandLineParser, LongOptionsWhenEnabled) {
  ExpectParses(kToolOptions, {
      {u"--count=3 --Since=2024-01-31 s t", 0, u"", "n=3 since=2024-01-31 +s +t"},
      {u"--count 3", 1, u"Option 'count' requires a value, '=' expected.\n", ""},
      {u"--nope-at-all=1", 1, u"Unknown long option nope-at-all\n", ""},
      {u"--verbose=1", 1, u"Unexpected characters following option \"verbose\"\n", ""},
  }, true);
  ExpectParses(kToolOptions, {{u"--count=3", 1, u"Unknown option --count\n", ""}}, false);
}

TEST(CommandLineParser, PresentFlagsResetButValuesStay) {
  CommandLineParser parser;
  parser.SetLongOptions(false);
  parser.LoadOptionTable(kSetupOptions);
  parser.SetArguments({u"prog", u"/l", u"ru", u"x"});
  ASSERT_EQ(parser.Parse(), 0);
  parser.SetArguments({u"prog", u"/S"});
  ASSERT_EQ(parser.Parse(), 0);
  EXPECT_FALSE(parser.IsPresent(u"l"));
  EXPECT_EQ(parser.GetText(u"l"), u"ru");
  EXPECT_EQ(parser.PositionalCount(), 1u);
  EXPECT_EQ(parser.GetPositional(5), u"");
}

TEST(CommandLineParser, HugeAndNumerousArgumentsComeThroughWhole) {
  const Text huge(50000, u'q');
  EXPECT_EQ(ParseLine(kSetupOptions, u"/l " + huge).parser.GetText(u"l"), huge);
  EXPECT_EQ(ParseLine(kSetupOptions, u"/" + huge).parser.ErrorText(), u"Unknown option " + huge + u"\n");
  Text many;
  for (int i = 0; i < 10000; ++i) many += u"p" + FormatDecimal(i) + u" ";
  const Parsed parsed = ParseLine(kSetupOptions, many);
  ASSERT_EQ(parsed.parser.PositionalCount(), 10000u);
  EXPECT_EQ(parsed.parser.GetPositional(9999), u"p9999");
}

TEST(CommandLineParser, NoiseNeverBreaksTheParse) {
  std::mt19937 random(20240131);
  Text alphabet = u"/-\\\" \t:=?_lSaxn0129\u00e9\u2014\uffff\x01";
  alphabet += static_cast<char16_t>(0xD800);  // a lone surrogate
  for (const OptionSpec* table : {kSetupOptions, kToolOptions}) {
    for (bool longOptions : {false, true}) {
      Text line;
      for (int i = 0; i < 60000; ++i) line += alphabet[random() % alphabet.size()];
      const Parsed parsed = ParseLine(table, line, longOptions);
      const Text& error = parsed.parser.ErrorText();
      EXPECT_TRUE(parsed.result == 1 || error.empty());
      EXPECT_TRUE(error.empty() || error.back() == u'\n');
    }
  }
}

TEST(BuildUsage, ProgramTableGivesTheKnownText) {
  CommandLineParser parser;
  parser.SetLongOptions(false);
  parser.LoadOptionTable(kSetupOptions);
  EXPECT_EQ(ToUtf8(parser.BuildUsage()),
            "Usage:  [/l <str>] [/S] [/a] [/x] [/instance <str>] [/debuglog <str>] [/?] [input params...]\n"
            "/l:<str>       \tlanguage\n"
            "/S             \tSilent\n"
            "/a             \tadmin install\n"
            "/x             \tuninstall\n"
            "/instance:<str>\tinstance\n"
            "/debuglog:<str>\tdebuglog\n"
            "/?             \tUsage\n");
}

TEST(BuildUsage, ShowsHeaderLongNamesRequiredPartsAndPlaceholders) {
  CommandLineParser parser;
  parser.SetHeader(u"tool 1.0");
  parser.LoadOptionTable(kToolOptions);
  EXPECT_EQ(ToUtf8(parser.BuildUsage()),
            "tool 1.0\n"
            "Usage:  /n <num> [/o <str>] [/v] [/vv] [--since <date>] [/h] source targets...\n"
            "/n, --count=<num>\tcount\n"
            "/o, --out=<str>  \toutput\n"
            "/v, --verbose    \tverbose\n"
            "/vv              \tvery verbose\n"
            "  --since=<date> \tsince\n"
            "/h               \thelp\n");
}

}  // namespace
}  // namespace setup
