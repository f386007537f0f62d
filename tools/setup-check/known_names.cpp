#include "tools/setup-check/known_names.h"

#include <algorithm>

#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/cmdline/setup_options.h"

namespace setup::check {
namespace {

Text Folded(TextView text) {
  Text folded(text);
  for (char16_t& c : folded) c = FoldAsciiCase(c);
  return folded;
}

// Edits that turn a into b: a letter inserted, removed, replaced, or two neighbours swapped.
size_t EditDistance(TextView a, TextView b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::optional<Text> NearestName(TextView name, const std::vector<Text>& known) {
  const Text folded = Folded(name);
  std::optional<Text> nearest;
  size_t best = 0;
  for (const Text& candidate : known) {
    const size_t distance = EditDistance(folded, Folded(candidate));
    const size_t allowed = std::min(name.size(), candidate.size()) <= 4 ? 1 : 2;
    if (distance > allowed || (nearest && distance >= best)) continue;
    nearest = candidate;
    best = distance;
  }
  return nearest;
}

std::string LanguageName(uint32_t languageId) {
  const std::string hex = ToUtf8(FormatHex4(languageId));
  for (const LanguageCode& language : kLanguageCodes) {
    if (language.languageId == languageId) return std::string(language.englishName) + " (" + hex + ")";
  }
  return hex;
}

}  // namespace setup::check
