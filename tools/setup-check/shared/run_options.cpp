#include "tools/setup-check/shared/run_options.h"

namespace setup::check {
namespace {

// Backslashes count only before a quotation mark: there they are doubled, and the mark escaped.
Text QuoteArgument(TextView argument) {
  if (!argument.empty() && argument.find_first_of(u" \t\"") == TextView::npos) return Text(argument);
  Text quoted(1, u'"');
  size_t backslashes = 0;
  for (const char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, u'\\');
  return quoted + u'"';
}

}  // namespace

Text SetupCommandLine(const Text& modulePath, const CheckOptions& options) {
  Text commandLine = u"\"" + modulePath + u"\"";
  if (options.setupArgumentText) {
    if (!options.setupArgumentText->empty()) commandLine += u" " + *options.setupArgumentText;
    return commandLine;
  }
  for (const Text& argument : options.setupArguments) commandLine += u" " + QuoteArgument(argument);
  return commandLine;
}

}  // namespace setup::check
