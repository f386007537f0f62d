#pragma once
// The program's own option table, shared by the entry and by applying the options.

#include <array>
#include <cstdint>

#include "setup/base/text.h"
#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/option_spec.h"

namespace setup {

// Rows: l, S, a, x, instance, debuglog, ?, the free "input params", and the end row.
extern const OptionSpec kSetupOptions[];

// The languages "/l" names by a code of their own, ignoring the case of A-Z.
struct LanguageCode {
  const char16_t* code;
  uint16_t languageId;
  const char* englishName;
};
extern const std::array<LanguageCode, 15> kLanguageCodes;
// The table's row for a code; null for any other text.
const LanguageCode* FindLanguageCode(TextView code);

// The names of the table that setup-check also uses: it reads the language and the instance back
// from a run's parse, and writes the others into the commands deployment engines start setup.exe with.
inline constexpr char16_t kLanguageOption[] = u"l";
inline constexpr char16_t kInstanceOption[] = u"instance";
inline constexpr char16_t kSilentOption[] = u"S";
inline constexpr char16_t kRemovalOption[] = u"x";
inline constexpr char16_t kDebugLogOption[] = u"debuglog";

// Sets the parser up for the program's own options (short options only) over the whole
// command line, program path first, and parses it; returns what Parse returns.
ParseResult ParseSetupCommandLine(CommandLineParser& parser, TextView commandLine);

}  // namespace setup
