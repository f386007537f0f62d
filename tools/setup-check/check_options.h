#pragma once
// What the check is told about the machine setup.exe would run on, and how setup.exe is started.

#include <optional>
#include <string>
#include <vector>

#include "setup/base/text.h"
#include "setup/platform/host/host_platform.h"
#include "tools/setup-check/code_page.h"
#include "tools/setup-check/deploy.h"
#include "tools/setup-check/init_distribution.h"

namespace setup::check {

struct InstalledProductOption {
  Text productCode;
  Text version;
};

struct CheckOptions {
  SystemVersion system = kWindows7Sp1;   // unless --os
  bool takesFirstSystem = false;         // the dry run's, instead of system
  uint16_t language = 0x0409;                     // the user's default language
  ProductVersionWords engine{5, 0, 7601, 17514};  // msi.dll's product version
  std::vector<InstalledProductOption> installed;
  uint32_t codePage = kDefaultCodePage;  // how ANSI files read on the target machine
  bool json = false;
  Text distribution;                      // DIST_DIR as given
  std::vector<Text> setupArguments;       // after "--"
  std::optional<Text> setupArgumentText;  // --command-line: taken as it is
};

// The options, or no options and no error when help was asked for, or no options and the error.
template <typename Options>
struct Parsed {
  std::optional<Options> options;
  std::string error;
};
using ParsedArguments = Parsed<CheckOptions>;
using ParsedInit = Parsed<InitOptions>;
using ParsedDeploy = Parsed<DeployOptions>;

// The arguments after the program name.
ParsedArguments ParseCheckArguments(const std::vector<Text>& arguments);
// The arguments after "--init".
ParsedInit ParseInitArguments(const std::vector<Text>& arguments);
// The arguments after "--deploy".
ParsedDeploy ParseDeployArguments(const std::vector<Text>& arguments);
// Every form of the command line, with its options.
std::string CheckUsage();

// The process command line setup.exe would get: its quoted path, then the arguments quoted as
// a Windows program expects them to be (blanks and quotation marks protected).
Text SetupCommandLine(const Text& modulePath, const CheckOptions& options);

}  // namespace setup::check
