#include "setup/cmdline/setup_options.h"

#include "setup/base/chars.h"

namespace setup {

// No option is required and none demands a separator, so "/lru" is the language "ru".
// The optional bit on options only documents intent; brackets in the usage come from
// the required bit being absent.
const OptionSpec kSetupOptions[] = {
    {kValueOption, kLanguageOption, u"", u"language", kTextValue, kOptional},
    {kSwitch, kSilentOption, u"", u"Silent", kTextValue, 0},
    {kSwitch, u"a", u"", u"admin install", kTextValue, 0},
    {kSwitch, kRemovalOption, u"", u"uninstall", kTextValue, 0},
    {kValueOption, kInstanceOption, u"", u"instance", kTextValue, kOptional},
    {kValueOption, kDebugLogOption, u"", u"debuglog", kTextValue, kOptional},
    {kSwitch, u"?", u"", u"Usage", kTextValue, kHelp | kOptional},
    {kPositional, u"", u"", u"input params", kTextValue, kOptional | kRepeatable},
    {kEndOfTable, u"", u"", u"", kTextValue, 0},
};

// The English names only label the languages in reports about a run.
const std::array<LanguageCode, 15> kLanguageCodes = {{
    {u"ru", 0x0419, "Russian"},    {u"uk", 0x0422, "Ukrainian"},  {u"en", 0x0409, "English"},
    {u"lv", 0x0426, "Latvian"},    {u"lt", 0x0427, "Lithuanian"}, {u"ro", 0x0418, "Romanian"},
    {u"bg", 0x0402, "Bulgarian"},  {u"de", 0x0407, "German"},     {u"ka", 0x0437, "Georgian"},
    {u"kk", 0x043F, "Kazakh"},     {u"vi", 0x042A, "Vietnamese"}, {u"pl", 0x0415, "Polish"},
    {u"tr", 0x041F, "Turkish"},    {u"az", 0x042C, "Azerbaijani"}, {u"zh", 0x0804, "Chinese (Simplified)"},
}};

const LanguageCode* FindLanguageCode(TextView code) {
  for (const LanguageCode& known : kLanguageCodes) {
    if (EqualsIgnoringAsciiCase(code, known.code)) return &known;
  }
  return nullptr;
}

ParseResult ParseSetupCommandLine(CommandLineParser& parser, TextView commandLine) {
  parser.SetArguments(SplitCommandLine(commandLine));
  parser.SetLongOptions(false);
  parser.LoadOptionTable(kSetupOptions);
  return parser.Parse();
}

}  // namespace setup
