#include "setup/settings/settings_section.h"

#include <algorithm>

#include "setup/base/chars.h"

namespace setup {
namespace {

using Pair = std::pair<Text, Text>;

bool KeyLess(const Pair& pair, TextView key) { return OrdinalLess(pair.first, key); }

// Keeps one pair per key, the last one given for it, in key order. One sort of the whole
// section instead of an ordered insertion per line keeps large sections cheap to read.
std::vector<Pair> SortedLastWins(std::vector<Pair> pairs) {
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const Pair& a, const Pair& b) { return OrdinalLess(a.first, b.first); });
  size_t kept = 0;
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (i + 1 < pairs.size() && pairs[i + 1].first == pairs[i].first) continue;
    if (kept != i) pairs[kept] = std::move(pairs[i]);
    ++kept;
  }
  pairs.resize(kept);
  return pairs;
}

// Cuts the text before the last occurrence of mark, if there is one.
TextView CutAtLast(TextView text, char16_t mark) {
  const size_t found = text.rfind(mark);
  return found == TextView::npos ? text : text.substr(0, found);
}

}  // namespace

void SettingsSection::Parse(TextView chunk) {
  pairs_.clear();
  const size_t open = chunk.find(u'[');
  const size_t nameStart = open == TextView::npos ? chunk.size() : open + 1;
  const size_t close = chunk.find(u']', nameStart);
  if (close == TextView::npos) {
    // A header that is never closed within its chunk ("[A" at the end of the text, or a "]"
    // lost as the character before the next "["): the section is named by everything after
    // the "[" and holds no keys, since there is no header line end to find a body after.
    name_ = Text(chunk.substr(nameStart));
    return;
  }
  name_ = Text(chunk.substr(nameStart, close - nameStart));
  std::vector<Pair> pairs;
  for (const Text& line : SplitLines(chunk.substr(close))) {
    Pair pair = ParseLine(line);
    if (!pair.first.empty()) pairs.push_back(std::move(pair));
  }
  pairs_ = SortedLastWins(std::move(pairs));
}

Text SettingsSection::GetValue(TextView key) const {
  const auto found = std::lower_bound(pairs_.begin(), pairs_.end(), key, KeyLess);
  return found != pairs_.end() && found->first == key ? found->second : Text();
}

Text SettingsSection::GetKeyAt(size_t index) const {
  return index < pairs_.size() ? pairs_[index].first : Text();
}

void SettingsSection::SetValue(Text key, Text value) {
  const auto found = std::lower_bound(pairs_.begin(), pairs_.end(), key, KeyLess);
  if (found != pairs_.end() && found->first == key) {
    found->second = std::move(value);
  } else {
    pairs_.emplace(found, std::move(key), std::move(value));
  }
}

std::vector<Text> SplitLines(TextView body) {
  std::vector<Text> lines;
  // The first line is the rest of the header line; the body has an implied line end after it.
  const size_t headerEnd = body.find(u'\n');
  if (headerEnd == TextView::npos) return lines;
  size_t start = headerEnd + 1;
  while (start <= body.size()) {
    const size_t end = std::min(body.find(u'\n', start), body.size());
    lines.emplace_back(body.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::pair<Text, Text> ParseLine(TextView line) {
  const Text trimmed = TrimWhitespace(line);
  if (!trimmed.empty() && (trimmed.front() == u'#' || trimmed.front() == u';')) return {};
  const TextView content = CutAtLast(CutAtLast(trimmed, u'#'), u';');
  const size_t equals = content.find(u'=');
  if (equals == TextView::npos) return {TrimWhitespace(content), Text()};
  return {TrimWhitespace(content.substr(0, equals)), TrimWhitespace(content.substr(equals + 1))};
}

}  // namespace setup
