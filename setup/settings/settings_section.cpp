#include "setup/settings/settings_section.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>

#include "setup/base/chars.h"
#include "setup/settings/settings_file.h"

namespace setup {
namespace {

// A body line's key and value as slices of the section's text, so that a line costs no copy
// until its pair is known to be kept.
struct PairView {
  TextView key;
  TextView value;
  bool hasEquals = false;
};

// Where a line ends and where its comment marks and first "=" stand, found in one pass over the
// line; positions count from the line's start, npos when absent.
struct LineMarks {
  size_t end;
  size_t lastHash = TextView::npos;
  size_t lastSemicolon = TextView::npos;
  size_t semicolonBeforeLastHash = TextView::npos;
  size_t firstEquals = TextView::npos;
};

// The line from start to the next "\n" or to the end of the text.
LineMarks ScanLine(TextView text, size_t start) {
  const TextView line = text.substr(start);
  LineMarks marks{line.size()};
  for (const auto* unit = line.begin(); unit != line.end(); ++unit) {
    // Letters and most other text lie above every character looked for: one test passes them.
    if (*unit > u'=') continue;
    const auto at = static_cast<size_t>(unit - line.begin());
    switch (*unit) {
      case u'\n':
        marks.end = at;
        return marks;
      case u'#':
        marks.lastHash = at;
        marks.semicolonBeforeLastHash = marks.lastSemicolon;
        break;
      case u';':
        marks.lastSemicolon = at;
        break;
      case u'=':
        if (marks.firstEquals == TextView::npos) marks.firstEquals = at;
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
  return {TrimmedView(content.substr(0, marks.firstEquals)), TrimmedView(content.substr(marks.firstEquals + 1)),
          true};
}

// Visits the pair of each line after the header line, in order; the body has an implied line
// end after it.
template <typename Visit>
void ForEachBodyPair(TextView body, Visit visit) {
  const size_t headerEnd = body.find(u'\n');
  if (headerEnd == TextView::npos) return;
  for (size_t start = headerEnd + 1; start <= body.size();) {
    const LineMarks marks = ScanLine(body, start);
    visit(PairOfLine(body.substr(start, marks.end), marks));
    start += marks.end + 1;
  }
}

// Places in a section's texts are 32-bit, which keeps a pair at 16 bytes; a longer text is
// refused as memory the program cannot have.
constexpr size_t kMostPlaces = UINT32_MAX;

uint32_t PlaceOf(size_t place) {
  if (place > kMostPlaces) throw std::bad_alloc();
  return static_cast<uint32_t>(place);
}

// An empty slice may point nowhere; any place serves it.
uint32_t PlaceIn(TextView slice, const char16_t* base) {
  return slice.empty() ? 0 : PlaceOf(slice.data() - base);
}

}  // namespace

SettingsSection::SettingsSection(TextView name) {
  nameAt_ = Own(name);
  nameLength_ = static_cast<uint32_t>(name.size());
}

TextView SettingsSection::Slice(uint32_t at, uint32_t length) const {
  if (at < documentLength_) return TextView(document_.get() + at, length);
  return ownText_.View().substr(at - documentLength_, length);
}

TextView SettingsSection::KeyOf(const Pair& pair) const {
  return Slice(pair.keyAt, pair.keyLength);
}

TextView SettingsSection::ValueOf(const Pair& pair) const {
  return Slice(pair.valueAt, pair.valueLength);
}

std::optional<TextView> HeaderName(TextView chunk) {
  const size_t open = chunk.find(u'[');
  const size_t close = open == TextView::npos ? TextView::npos : chunk.find(u']', open + 1);
  // A header never closed within its chunk ("[A" at the end of the text, or a "]" lost as the
  // character before the next "[") makes no section: a stray "[Startup" above the real
  // "[Startup]" would otherwise take its name, and the first section of a name wins.
  if (close == TextView::npos) return std::nullopt;
  return chunk.substr(open + 1, close - open - 1);
}

bool SettingsSection::Parse(TextView chunk) {
  *this = SettingsSection();
  boost::shared_array<char16_t> copy(new char16_t[chunk.size() + 1]);
  std::copy(chunk.begin(), chunk.end(), copy.get());
  copy.get()[chunk.size()] = u'\0';
  const std::optional<TextView> name = HeaderName(TextView(copy.get(), chunk.size()));
  if (!name) return false;
  Share(copy, chunk.size(), *name);
  ParseBody(nullptr);
  return true;
}

void SettingsSection::Share(boost::shared_array<const char16_t> document, size_t documentLength, TextView name) {
  documentLength_ = PlaceOf(documentLength);
  SetName(name.data() - document.get(), name.size());
  document_ = std::move(document);
}

void SettingsSection::ParseBody(SettingsObserver* observer) {
  if (observer != nullptr) observer->SectionParsed(nameAt_, NameView());
  const TextView text(document_.get(), documentLength_);
  const size_t close = nameAt_ + nameLength_;
  const size_t next = text.find(u'[', close);
  const TextView body = text.substr(close, (next == TextView::npos ? text.size() : next - 1) - close);
  const char16_t* const base = text.data();
  // Every line after the header line may hold a pair, and there are as many as line feeds in
  // the body: one block of that size instead of growing through copies.
  pairs_.reserve(static_cast<size_t>(std::count(body.begin(), body.end(), u'\n')));
  ForEachBodyPair(body, [&](const PairView& pair) {
    if (pair.key.empty()) return;
    if (observer != nullptr) observer->PairParsed(PlaceIn(pair.key, base), pair.key, pair.value, pair.hasEquals);
    pairs_.push_back(Pair{PlaceIn(pair.key, base), PlaceOf(pair.key.size()), PlaceIn(pair.value, base),
                          PlaceOf(pair.value.size())});
  });
  // Sorting once and keeping the last pair of each key keeps a large section linear in its
  // lines, where an ordered insertion per line would not be. The order is PairLess's, over keys
  // that all lie in the document: equal keys in line order, so that a unique from the back
  // keeps the last line of each, packed at the end.
  const auto keyOf = [base](const Pair& pair) { return TextView(base + pair.keyAt, pair.keyLength); };
  std::sort(pairs_.begin(), pairs_.end(), [keyOf](const Pair& a, const Pair& b) {
    const int order = keyOf(a).compare(keyOf(b));
    return order != 0 ? order < 0 : a.keyAt < b.keyAt;
  });
  const auto sameKey = [keyOf](const Pair& a, const Pair& b) { return keyOf(a) == keyOf(b); };
  pairs_.erase(pairs_.begin(), std::unique(pairs_.rbegin(), pairs_.rend(), sameKey).base());
  for (size_t i = 0; observer != nullptr && i < pairs_.size(); ++i) observer->PairKept(pairs_[i].keyAt);
  // Blank and comment lines took room too, and repeated keys: a section mostly made of them
  // gives it back.
  if (pairs_.capacity() - pairs_.size() > pairs_.size() / 4) pairs_.shrink_to_fit();
}

size_t SettingsSection::UnitsInUse() const {
  size_t units = nameLength_;
  for (const Pair& pair : pairs_) units += pair.keyLength + pair.valueLength;
  return units;
}

size_t SettingsSection::MoveTo(const boost::shared_array<char16_t>& document,
                               size_t documentLength, size_t at) {
  const auto copy = [&](uint32_t& place, uint32_t length) {
    const TextView text = Slice(place, length);
    std::copy(text.begin(), text.end(), document.get() + at);
    place = PlaceOf(at);
    at += length;
  };
  copy(nameAt_, nameLength_);
  for (Pair& pair : pairs_) {
    copy(pair.keyAt, pair.keyLength);
    copy(pair.valueAt, pair.valueLength);
  }
  document_ = document;
  documentLength_ = PlaceOf(documentLength);
  return at;
}

void SettingsSection::SetName(size_t at, size_t length) {
  nameAt_ = PlaceOf(at);
  nameLength_ = PlaceOf(length);
}

// Ordinal key order; equal keys in line order (their places rise line by line), so that the
// last line of a key sorts last without the cost of a stable sort.
bool SettingsSection::PairLess(const Pair& a, const Pair& b) const {
  const int order = KeyOf(a).compare(KeyOf(b));
  return order != 0 ? order < 0 : a.keyAt < b.keyAt;
}

std::vector<SettingsSection::Pair>::const_iterator SettingsSection::FindKey(TextView key) const {
  const auto found = std::lower_bound(
      pairs_.begin(), pairs_.end(), key,
      [this](const Pair& pair, TextView sought) { return KeyOf(pair) < sought; });
  return found != pairs_.end() && KeyOf(*found) == key
             ? found
             : pairs_.end();
}

Text SettingsSection::GetValue(TextView key) const {
  const auto found = FindKey(key);
  return found != pairs_.end() ? Text(ValueOf(*found)) : Text();
}

Text SettingsSection::GetKeyAt(size_t index) const {
  return index < pairs_.size() ? Text(KeyOf(pairs_[index])) : Text();
}

uint32_t SettingsSection::Own(TextView text) {
  Text& own = ownText_.Get();
  const uint32_t at = PlaceOf(documentLength_ + own.size());
  PlaceOf(documentLength_ + own.size() + text.size());
  own.append(text);
  return at;
}

// Rare (values the program sets itself), so a replaced value's units simply stay behind.
void SettingsSection::SetValue(TextView key, TextView value) {
  const auto found = FindKey(key);
  const uint32_t valueAt = Own(value);
  if (found != pairs_.end()) {
    Pair& pair = pairs_[found - pairs_.begin()];
    pair.valueAt = valueAt;
    pair.valueLength = static_cast<uint32_t>(value.size());
    return;
  }
  const Pair pair{Own(key), static_cast<uint32_t>(key.size()), valueAt,
                  static_cast<uint32_t>(value.size())};
  const auto place = std::upper_bound(pairs_.begin(), pairs_.end(), pair,
                                      [this](const Pair& a, const Pair& b) { return PairLess(a, b); });
  pairs_.insert(place, pair);
}

}  // namespace setup
