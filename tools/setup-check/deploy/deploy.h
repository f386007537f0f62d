#pragma once
// setup-check --deploy: what winget, Intune and Configuration Manager need to know to install a
// distribution folder, written from its package and from one run of the program over it, once the
// check finds no error in the folder.

#include <optional>
#include <string>

#include "setup/base/text.h"
#include "setup/platform/host/host_platform.h"
#include "tools/setup-check/shared/exit_codes.h"

namespace setup::check {

struct DeployOptions {
  Text distribution;        // DIST_DIR as given
  Text outDir;              // OUT_DIR as given; made when missing
  Text url;                 // where winget downloads the zip from
  Text id;                  // winget's PackageIdentifier; empty: made from the package's names
  std::optional<Text> zip;  // the folder as zipped already; otherwise written into OUT_DIR
  bool force = false;       // overwrite files that exist
};

// Writes the descriptions (and the zip) and says what it did, or why it wrote nothing, in report:
// kCheckClean written, kCheckErrors the folder has errors (the check's report follows),
// kCheckCouldNotRun nothing written.
CheckExitCode WriteDeployment(const DeployOptions& options, const FakeModule& packageReader, std::string& report);

}  // namespace setup::check
