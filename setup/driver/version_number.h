#pragma once
// Four-part dotted versions: product versions, the required installer engine, operating-system
// entries, msi.dll's own version and installed products' versions all use this one rule.

#include <array>
#include <cstdint>
#include <optional>

#include "setup/base/numbers.h"
#include "setup/base/text.h"

namespace setup {

// Four signed components, most significant first; -1 marks a missing or invalid component.
struct VersionNumber {
  std::array<int32_t, 4> components{-1, -1, -1, -1};

  friend bool operator==(const VersionNumber&, const VersionNumber&) = default;
};

// One component as the parse takes it: a whole signed decimal number, or none.
inline std::optional<int32_t> ParseVersionPart(TextView component) {
  const SignedParse parsed = ParseSignedDecimal(component);
  if (component.empty() || parsed.consumed != component.size()) return std::nullopt;
  return parsed.value;
}

// Never fails: "3.1" gives 3, 1, -1, -1; "1.x.3" gives 1, -1, -1, -1.
VersionNumber ParseVersion(TextView text);

// Negative, zero or positive as a is older than, equal to or newer than b; -1 takes part as a
// number, so "3.1" is older than "3.1.0".
int CompareVersions(const VersionNumber& a, const VersionNumber& b);

}  // namespace setup
