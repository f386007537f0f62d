#include "setup/platform/platform.h"

#include <cstdlib>

namespace setup {
namespace {
Platform* installed = nullptr;
}

Platform& DefaultPlatform() {
  // Reaching for the default before the entry installed one is a programming error, not a
  // condition the program could report.
  if (installed == nullptr) std::abort();
  return *installed;
}

void SetDefaultPlatform(Platform* platform) { installed = platform; }

}  // namespace setup
