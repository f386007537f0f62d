// Any text parses to the version a plain reading of the dotted-version rule gives, and versions
// compare as that reading says.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/oracle.h"
#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/driver/version_number.h"

namespace {

using setup::Text;
using setup::TextView;
using Version = std::array<int32_t, 4>;

// The model. Which characters the C library counts as blanks and as digits is taken from base,
// where both are compared with msvcrt character by character; the rules built on them are
// written here again.
int DigitOf(char16_t c) {
  const setup::SignedParse alone = setup::ParseSignedDecimal(TextView(&c, 1));
  return alone.consumed == 1 ? alone.value : -1;
}

// wcstol in base 10, asked to use the whole text: blanks, one sign, digits, clamped to 32 bits.
std::optional<int32_t> WholeNumber(TextView text) {
  size_t at = 0;
  while (at < text.size() && setup::IsSpace(text[at])) ++at;
  const bool negative = at < text.size() && text[at] == u'-';
  if (at < text.size() && (text[at] == u'-' || text[at] == u'+')) ++at;
  if (at == text.size()) return std::nullopt;
  int64_t magnitude = 0;
  for (; at < text.size(); ++at) {
    const int digit = DigitOf(text[at]);
    if (digit < 0) return std::nullopt;
    magnitude = std::min<int64_t>(magnitude * 10 + digit, int64_t{1} << 40);
  }
  return static_cast<int32_t>(std::clamp<int64_t>(negative ? -magnitude : magnitude, INT32_MIN, INT32_MAX));
}

// Up to four parts split at dots, the fourth holding whatever follows the third dot; the first
// part that is empty or not wholly a number leaves it and all after it at -1.
Version ModelParse(TextView text) {
  std::vector<TextView> parts;
  while (parts.size() < 3 && text.find(u'.') != TextView::npos) {
    parts.push_back(text.substr(0, text.find(u'.')));
    text.remove_prefix(parts.back().size() + 1);
  }
  parts.push_back(text);
  Version version{-1, -1, -1, -1};
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::optional<int32_t> number = parts[i].empty() ? std::nullopt : WholeNumber(parts[i]);
    if (!number) break;
    version[i] = *number;
  }
  return version;
}

// The first component that differs decides.
int ModelCompare(const Version& a, const Version& b) {
  const auto differ = std::mismatch(a.begin(), a.end(), b.begin());
  if (differ.first == a.end()) return 0;
  return *differ.first < *differ.second ? -1 : 1;
}

std::string Describe(const Version& v) {
  return std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " + std::to_string(v[2]) + ", " +
         std::to_string(v[3]);
}

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Text text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  // A second version from the same input, near the first, for the comparison.
  const Text other = text.substr(0, text.size() / 2);

  const Version a = setup::ParseVersion(text).components;
  const Version b = setup::ParseVersion(other).components;
  const Version modelA = ModelParse(text);
  const Version modelB = ModelParse(other);
  fuzz::ExpectSame("ParseVersion", text, a, modelA, Describe);
  fuzz::ExpectSame("ParseVersion", other, b, modelB, Describe);
  // Compared as parsed by the program, so that only the comparison is in question here.
  const int order = Sign(setup::CompareVersions({a}, {b}));
  const auto show = [](int sign) { return std::to_string(sign); };
  fuzz::ExpectSame("CompareVersions with its first half", text, order, ModelCompare(a, b), show);
  fuzz::ExpectSame("CompareVersions the other way", text, Sign(setup::CompareVersions({b}, {a})), -order, show);
  return 0;
}
