// Turning the process command line into fields of the run's context.

#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/setup_options.h"
#include "setup/driver/setup_context.h"

namespace setup {
namespace {

// Bit 10 is where the default sublanguage (1) starts in a language identifier.
constexpr uint32_t kDefaultSublanguageBit = 0x0400;

// A code outside the table keeps the user's primary language in its default sublanguage.
void ApplyLanguageCode(SetupContext& context, TextView code) {
  const LanguageCode* known = FindLanguageCode(code);
  context.state.language.codeKnown = known != nullptr;
  context.languageId = known != nullptr ? known->languageId : (context.languageId & 0xFFFF) | kDefaultSublanguageBit;
}

}  // namespace

void SetupContext::ApplyCommandLine() {
  CommandLineParser parser;
  // A rejected argument is deliberately not reported: what came before it still applies.
  ParseSetupCommandLine(parser, platform_->CommandLine());

  if (parser.IsPresent(u"a")) {
    installMode = kAdministrativeInstall;
  } else if (parser.IsPresent(kRemovalOption)) {
    installMode = kRemoval;
  }
  if (parser.IsPresent(u"?")) {
    usageRequested = true;
    usageText = parser.BuildUsage();
  }
  if (parser.IsPresent(kSilentOption)) uiLevel = kUiLevelNone;
  if (parser.IsPresent(kLanguageOption)) ApplyLanguageCode(*this, parser.GetText(kLanguageOption));
  if (parser.IsPresent(kDebugLogOption)) debugLogPath = parser.GetText(kDebugLogOption);

  if (parser.PositionalCount() > 0 && !installProperties.empty()) installProperties += u' ';
  for (size_t i = 0; i < parser.PositionalCount(); ++i) installProperties += parser.GetPositional(i) + u' ';
}

}  // namespace setup
