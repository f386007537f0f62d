#pragma once
// --bundle's command line.

#include <string>
#include <vector>

#include "tools/setup-check/bundle/bundle.h"
#include "tools/setup-check/shared/option_reading.h"

namespace setup::check {

using ParsedBundle = Parsed<BundleOptions>;

// The arguments after "--bundle".
ParsedBundle ParseBundleArguments(const std::vector<Text>& arguments);
std::string BundleHelp();

}  // namespace setup::check
