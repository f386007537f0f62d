#include "setup/driver/version_number.h"

#include <compare>

#include "setup/base/numbers.h"

namespace setup {

VersionNumber ParseVersion(TextView text) {
  VersionNumber version;
  size_t position = 0;
  for (size_t index = 0; index < version.components.size(); ++index) {
    // The last component is never split further, so "1.2.3.4.5" leaves it invalid rather than
    // silently dropping the fifth part.
    const bool last = index + 1 == version.components.size();
    const size_t dot = last ? TextView::npos : text.find(u'.', position);
    const size_t length = dot == TextView::npos ? TextView::npos : dot - position;
    const std::optional<int32_t> part = ParseVersionPart(text.substr(position, length));
    if (!part) break;
    version.components[index] = *part;
    if (dot == TextView::npos) break;
    position = dot + 1;
  }
  return version;
}

int CompareVersions(const VersionNumber& a, const VersionNumber& b) {
  const std::strong_ordering order = a.components <=> b.components;
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace setup
