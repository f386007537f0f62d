#include "setup/settings/settings_section.h"

#include <algorithm>
#include <cstdint>

#include "setup/base/chars.h"

namespace setup {
namespace {

using Pair = std::pair<Text, Text>;

// A body line's key and value as slices of the section's text, so that a line costs no copy
// until its pair is known to be kept.
struct PairView {
  TextView key;
  TextView value;
};

// A line's pair with the first units of its key packed into one number, most significant first,
// so that most comparisons of the sort decide without reaching into the text.
struct SortEntry {
  uint64_t keyPrefix;
  PairView pair;
};

constexpr size_t kPrefixUnits = 4;

uint64_t KeyPrefix(TextView key) {
  uint64_t prefix = 0;
  for (size_t i = 0; i < kPrefixUnits; ++i) prefix = prefix << 16 | (i < key.size() ? key[i] : 0);
  return prefix;
}

// Ordinal key order; equal keys in line order (the slices lie in line order within one text),
// so that the last line of a key sorts last without the cost of a stable sort. Keys never hold
// a NUL unit (the text ends at the first one), so the zero padding of a short prefix sorts it
// first, as ordinal order puts a prefix first.
bool EntryLess(const SortEntry& a, const SortEntry& b) {
  if (a.keyPrefix != b.keyPrefix) return a.keyPrefix < b.keyPrefix;
  const TextView aRest = a.pair.key.substr(std::min(kPrefixUnits, a.pair.key.size()));
  const TextView bRest = b.pair.key.substr(std::min(kPrefixUnits, b.pair.key.size()));
  const int order = aRest.compare(bRest);
  return order != 0 ? order < 0 : a.pair.key.data() < b.pair.key.data();
}

bool KeyLess(const Pair& pair, TextView key) { return OrdinalLess(pair.first, key); }

TextView TrimmedView(TextView text) {
  size_t first = 0;
  while (first < text.size() && IsSpace(text[first])) ++first;
  size_t last = text.size();
  while (last > first && IsSpace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// Where a trimmed line's content ends and where its first "=" stands, in one pass: the content is
// cut before the last "#", then before the last ";" of what remains.
struct LineMarks {
  size_t contentEnd;
  size_t equals;   // npos when the content holds none
};

LineMarks ScanLine(TextView line) {
  constexpr size_t kNone = TextView::npos;
  size_t lastHash = kNone;
  size_t lastSemicolon = kNone;
  size_t semicolonBeforeLastHash = kNone;
  size_t firstEquals = kNone;
  for (size_t i = 0; i < line.size(); ++i) {
    switch (line[i]) {
      case u'#':
        lastHash = i;
        semicolonBeforeLastHash = lastSemicolon;
        break;
      case u';':
        lastSemicolon = i;
        break;
      case u'=':
        if (firstEquals == kNone) firstEquals = i;
        break;
      default:
        break;
    }
  }
  const size_t semicolon = lastHash == kNone ? lastSemicolon : semicolonBeforeLastHash;
  const size_t contentEnd = semicolon != kNone ? semicolon : lastHash != kNone ? lastHash : line.size();
  return {contentEnd, firstEquals < contentEnd ? firstEquals : kNone};
}

// An empty key when the line adds nothing.
PairView ParseLineView(TextView line) {
  const TextView trimmed = TrimmedView(line);
  if (!trimmed.empty() && (trimmed.front() == u'#' || trimmed.front() == u';')) return {};
  const LineMarks marks = ScanLine(trimmed);
  const TextView content = trimmed.substr(0, marks.contentEnd);
  if (marks.equals == TextView::npos) return {TrimmedView(content), TextView()};
  return {TrimmedView(content.substr(0, marks.equals)), TrimmedView(content.substr(marks.equals + 1))};
}

// Visits the lines after the header line in order; the body has an implied line end after it.
template <typename Visit>
void ForEachBodyLine(TextView body, Visit visit) {
  const size_t headerEnd = body.find(u'\n');
  if (headerEnd == TextView::npos) return;
  size_t start = headerEnd + 1;
  while (start <= body.size()) {
    const size_t end = std::min(body.find(u'\n', start), body.size());
    visit(body.substr(start, end - start));
    start = end + 1;
  }
}

// Keeps one pair per key, the last one given for it, in key order. The slices are sorted rather
// than the texts, and each kept pair is copied once, straight into its place: an ordered
// insertion per line would make a large section quadratic.
std::vector<Pair> SortedLastWins(std::vector<SortEntry>& entries) {
  std::sort(entries.begin(), entries.end(), EntryLess);
  // Repeated keys are rare, so room for every line costs little and saves a counting pass.
  std::vector<Pair> pairs;
  pairs.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const bool lastOfItsKey = i + 1 == entries.size() || entries[i + 1].keyPrefix != entries[i].keyPrefix ||
                              entries[i + 1].pair.key != entries[i].pair.key;
    if (lastOfItsKey) pairs.emplace_back(Text(entries[i].pair.key), Text(entries[i].pair.value));
  }
  return pairs;
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
  std::vector<SortEntry> entries;
  ForEachBodyLine(chunk.substr(close), [&entries](TextView line) {
    const PairView pair = ParseLineView(line);
    if (!pair.key.empty()) entries.push_back({KeyPrefix(pair.key), pair});
  });
  pairs_ = SortedLastWins(entries);
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
  ForEachBodyLine(body, [&lines](TextView line) { lines.emplace_back(line); });
  return lines;
}

std::pair<Text, Text> ParseLine(TextView line) {
  const PairView pair = ParseLineView(line);
  return {Text(pair.key), Text(pair.value)};
}

}  // namespace setup
