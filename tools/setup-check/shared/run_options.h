#pragma once
// What the dry run is told about the machine setup.exe would run on, and how setup.exe is started.

#include <optional>
#include <vector>

#include "setup/base/text.h"
#include "setup/platform/host/host_platform.h"
#include "tools/setup-check/shared/code_page.h"

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

// The process command line setup.exe would get: its quoted path, then the arguments quoted as
// a Windows program expects them to be (blanks and quotation marks protected).
Text SetupCommandLine(const Text& modulePath, const CheckOptions& options);

}  // namespace setup::check
