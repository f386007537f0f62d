#pragma once
// setup-check --bundle: a distribution folder as the one file that ships, setup.exe with the
// folder's other files carried inside (setup/bundle/bundle_format.h), written once the check finds
// no error in the folder.

#include <string>

#include "setup/base/text.h"
#include "setup/platform/host/host_platform.h"
#include "tools/setup-check/shared/exit_codes.h"

namespace setup::check {

struct BundleOptions {
  Text distribution;   // DIST_DIR as given
  Text output;         // OUT.exe as given
  bool force = false;  // overwrite a file that exists
};

// Writes the bundle and says what it wrote, or why it wrote nothing, in report: kCheckClean written,
// kCheckErrors the folder has errors (the check's report follows), kCheckCouldNotRun nothing written.
CheckExitCode WriteBundle(const BundleOptions& options, const FakeModule& packageReader, std::string& report);

}  // namespace setup::check
