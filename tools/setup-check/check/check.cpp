#include "tools/setup-check/check/check.h"

#include "tools/setup-check/shared/host_paths.h"

namespace setup::check {

CheckResult CheckDistribution(const CheckOptions& options, const Text& folder, const FakeModule& packageReader) {
  CheckResult result;
  result.seen = Observe(options, folder, packageReader);
  const Observation& seen = result.seen;
  result.files = ReadFileIdentities(ResolveHostPath(seen.modulePath),
                                    seen.package.exists ? ResolveHostPath(seen.package.path) : std::filesystem::path());
  result.findings = FindProblems(seen);
  return result;
}

}  // namespace setup::check
