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

// A line's pair with the first units of its key packed into two numbers, most significant first,
// so that most comparisons of the sort decide without reaching into the text.
struct SortEntry {
  uint64_t keyPrefix[2];
  PairView pair;
};

constexpr size_t kUnitsPerWord = 4;
constexpr size_t kPrefixUnits = 2 * kUnitsPerWord;

uint64_t PackUnits(TextView key, size_t first) {
  uint64_t packed = 0;
  for (size_t i = first; i < first + kUnitsPerWord; ++i) {
    packed = packed << 16 | (i < key.size() ? key[i] : 0);
  }
  return packed;
}

SortEntry EntryOf(const PairView& pair) {
  return {{PackUnits(pair.key, 0), PackUnits(pair.key, kUnitsPerWord)}, pair};
}

bool SamePrefix(const SortEntry& a, const SortEntry& b) {
  return a.keyPrefix[0] == b.keyPrefix[0] && a.keyPrefix[1] == b.keyPrefix[1];
}

// Ordinal key order; equal keys in line order (the slices lie in line order within one text),
// so that the last line of a key sorts last without the cost of a stable sort. Keys never hold
// a NUL unit (the text ends at the first one), so the zero padding of a short prefix sorts it
// first, as ordinal order puts a prefix first.
bool EntryLess(const SortEntry& a, const SortEntry& b) {
  if (a.keyPrefix[0] != b.keyPrefix[0]) return a.keyPrefix[0] < b.keyPrefix[0];
  if (a.keyPrefix[1] != b.keyPrefix[1]) return a.keyPrefix[1] < b.keyPrefix[1];
  const TextView aRest = a.pair.key.substr(std::min(kPrefixUnits, a.pair.key.size()));
  const TextView bRest = b.pair.key.substr(std::min(kPrefixUnits, b.pair.key.size()));
  const int order = aRest.compare(bRest);
  return order != 0 ? order < 0 : a.pair.key.data() < b.pair.key.data();
}

bool KeyLess(const Pair& pair, TextView key) { return OrdinalLess(pair.first, key); }

// No white space lies above the blank, so most characters are told apart without the call.
bool IsSpaceUnit(char16_t c) { return c <= u' ' && IsSpace(c); }

TextView TrimmedView(TextView text) {
  size_t first = 0;
  while (first < text.size() && IsSpaceUnit(text[first])) ++first;
  size_t last = text.size();
  while (last > first && IsSpaceUnit(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// Where a line ends and where its comment marks and first "=" stand, found in one pass over the
// line; positions count from the line's start, npos when absent.
struct LineMarks {
  size_t end;
  size_t lastHash = TextView::npos;
  size_t lastSemicolon = TextView::npos;
  size_t semicolonBeforeLastHash = TextView::npos;
  size_t firstEquals = TextView::npos;
};

// The line from start to the next "\n" (when atLineFeed) or to the end of the text.
LineMarks ScanLine(TextView text, size_t start, bool atLineFeed) {
  LineMarks marks{text.size() - start};
  for (size_t i = start; i < text.size(); ++i) {
    // Letters and most other text lie above every character looked for: one test passes them.
    if (text[i] > u'=') continue;
    switch (text[i]) {
      case u'\n':
        if (atLineFeed) {
          marks.end = i - start;
          return marks;
        }
        break;
      case u'#':
        marks.lastHash = i - start;
        marks.semicolonBeforeLastHash = marks.lastSemicolon;
        break;
      case u';':
        marks.lastSemicolon = i - start;
        break;
      case u'=':
        if (marks.firstEquals == TextView::npos) marks.firstEquals = i - start;
        break;
      default:
        break;
    }
  }
  return marks;
}

// The line is cut before its last "#", then before the last ";" of what remains; the first "="
// of the rest splits it. The marks are never white space, so they stand where they stood in the
// trimmed line. An empty key when the line adds nothing.
PairView PairOfLine(TextView line, const LineMarks& marks) {
  constexpr size_t kNone = TextView::npos;
  const TextView trimmed = TrimmedView(line);
  if (!trimmed.empty() && (trimmed.front() == u'#' || trimmed.front() == u';')) return {};
  const size_t semicolon =
      marks.lastHash == kNone ? marks.lastSemicolon : marks.semicolonBeforeLastHash;
  const size_t contentEnd = semicolon != kNone ? semicolon : std::min(marks.lastHash, line.size());
  const TextView content = line.substr(0, contentEnd);
  if (marks.firstEquals >= contentEnd) return {TrimmedView(content), TextView()};
  return {TrimmedView(content.substr(0, marks.firstEquals)),
          TrimmedView(content.substr(marks.firstEquals + 1))};
}

// Visits the pair of each line after the header line, in order; the body has an implied line
// end after it.
template <typename Visit>
void ForEachBodyPair(TextView body, Visit visit) {
  const size_t headerEnd = body.find(u'\n');
  if (headerEnd == TextView::npos) return;
  for (size_t start = headerEnd + 1; start <= body.size();) {
    const LineMarks marks = ScanLine(body, start, true);
    visit(PairOfLine(body.substr(start, marks.end), marks));
    start += marks.end + 1;
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
    const bool lastOfItsKey = i + 1 == entries.size() || !SamePrefix(entries[i + 1], entries[i]) ||
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
  // Room for a typical section at once, rather than growing through several small blocks.
  entries.reserve(16);
  ForEachBodyPair(chunk.substr(close), [&entries](const PairView& pair) {
    if (!pair.key.empty()) entries.push_back(EntryOf(pair));
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
  const size_t headerEnd = body.find(u'\n');
  if (headerEnd == TextView::npos) return lines;
  for (size_t start = headerEnd + 1; start <= body.size();) {
    const size_t end = std::min(body.find(u'\n', start), body.size());
    lines.emplace_back(body.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::pair<Text, Text> ParseLine(TextView line) {
  const PairView pair = PairOfLine(line, ScanLine(line, 0, false));
  return {Text(pair.key), Text(pair.value)};
}

}  // namespace setup
