// Turning the process command line into fields of the run's context.

#include <array>

#include "setup/base/chars.h"
#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/setup_options.h"
#include "setup/driver/setup_context.h"

namespace setup {
namespace {

struct LanguageCode {
  const char16_t* code;
  uint32_t languageId;
};

constexpr std::array<LanguageCode, 15> kLanguageCodes = {{
    {u"ru", 0x0419}, {u"uk", 0x0422}, {u"en", 0x0409}, {u"lv", 0x0426}, {u"lt", 0x0427},
    {u"ro", 0x0418}, {u"bg", 0x0402}, {u"de", 0x0407}, {u"ka", 0x0437}, {u"kk", 0x043F},
    {u"vi", 0x042A}, {u"pl", 0x0415}, {u"tr", 0x041F}, {u"az", 0x042C}, {u"zh", 0x0804},
}};

// Bit 10 is where the default sublanguage (1) starts in a language identifier.
constexpr uint32_t kDefaultSublanguageBit = 0x0400;

}  // namespace

void SetupContext::ApplyCommandLine() {
  CommandLineParser parser;
  // A rejected argument is deliberately not reported: what came before it still applies.
  ParseSetupCommandLine(parser, platform_->CommandLine());

  if (parser.IsPresent(u"a")) {
    installMode = kAdministrativeInstall;
  } else if (parser.IsPresent(u"x")) {
    installMode = kRemoval;
  }
  if (parser.IsPresent(u"?")) {
    usageRequested = true;
    usageText = parser.BuildUsage();
  }
  if (parser.IsPresent(u"S")) uiLevel = kUiLevelNone;
  if (parser.IsPresent(u"l")) languageId = LanguageFromCode(parser.GetText(u"l"));
  if (parser.IsPresent(u"debuglog")) debugLogPath = parser.GetText(u"debuglog");

  if (parser.PositionalCount() > 0 && !installProperties.empty()) installProperties += u' ';
  for (size_t i = 0; i < parser.PositionalCount(); ++i) {
    installProperties += parser.GetPositional(i);
    installProperties += u' ';
  }
}

uint32_t SetupContext::LanguageFromCode(TextView code) const {
  for (const LanguageCode& known : kLanguageCodes) {
    if (EqualsIgnoringAsciiCase(code, known.code)) return known.languageId;
  }
  return (languageId & 0xFFFF) | kDefaultSublanguageBit;
}

}  // namespace setup
