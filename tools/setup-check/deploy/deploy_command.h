#pragma once
// --deploy's command line.

#include <string>
#include <vector>

#include "tools/setup-check/deploy/deploy.h"
#include "tools/setup-check/shared/option_reading.h"

namespace setup::check {

using ParsedDeploy = Parsed<DeployOptions>;

// The arguments after "--deploy".
ParsedDeploy ParseDeployArguments(const std::vector<Text>& arguments);
std::string DeployHelp();

}  // namespace setup::check
