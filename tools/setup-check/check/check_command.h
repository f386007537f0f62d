#pragma once
// The check's own command line: DIST_DIR, the machine it assumes, and setup.exe's arguments.

#include <string>
#include <vector>

#include "tools/setup-check/shared/option_reading.h"
#include "tools/setup-check/shared/run_options.h"

namespace setup::check {

using ParsedArguments = Parsed<CheckOptions>;

// The arguments after the program name.
ParsedArguments ParseCheckArguments(const std::vector<Text>& arguments);
std::string CheckHelp();

}  // namespace setup::check
