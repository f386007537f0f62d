#pragma once
// --init's command line.

#include <string>
#include <vector>

#include "tools/setup-check/init/init_distribution.h"
#include "tools/setup-check/shared/option_reading.h"

namespace setup::check {

using ParsedInit = Parsed<InitOptions>;

// The arguments after "--init".
ParsedInit ParseInitArguments(const std::vector<Text>& arguments);
std::string InitHelp();

}  // namespace setup::check
