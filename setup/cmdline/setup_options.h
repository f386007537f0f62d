#pragma once
// The program's own option table, shared by the entry and by applying the options.

#include "setup/base/text.h"
#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/option_spec.h"

namespace setup {

// Rows: l, S, a, x, instance, debuglog, ?, the free "input params", and the end row.
extern const OptionSpec kSetupOptions[];

// Sets the parser up for the program's own options (short options only) over the whole
// command line, program path first, and parses it; returns what Parse returns.
int ParseSetupCommandLine(CommandLineParser& parser, TextView commandLine);

}  // namespace setup
