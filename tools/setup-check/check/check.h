#pragma once
// The check of a distribution folder: one run of setup.exe's own code over it, what Windows shows
// of its files, and the problems found.

#include <vector>

#include "tools/setup-check/check/findings.h"
#include "tools/setup-check/identity/file_identity.h"
#include "tools/setup-check/shared/observation.h"

namespace setup::check {

struct CheckResult {
  Observation seen;
  FileIdentities files;
  std::vector<Finding> findings;
};

// folder is the Windows path of DIST_DIR, in which setup.exe is taken to stand.
CheckResult CheckDistribution(const CheckOptions& options, const Text& folder, const FakeModule& packageReader);

}  // namespace setup::check
