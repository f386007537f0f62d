// Any text parses to a version, and versions compare consistently.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "setup/driver/version_number.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const setup::Text text(reinterpret_cast<const char16_t*>(data), size / 2);
  const setup::VersionNumber a = setup::ParseVersion(text);
  const setup::VersionNumber b = setup::ParseVersion(text.substr(0, text.size() / 2));
  const int forward = setup::CompareVersions(a, b);
  const int backward = setup::CompareVersions(b, a);
  if ((forward > 0) != (backward < 0) || (forward == 0) != (backward == 0)) std::abort();
  if (setup::CompareVersions(a, a) != 0) std::abort();
  return 0;
}
