#include "setup/settings/settings_file.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "setup/base/line_ends.h"
#include "setup/settings/settings_file_reader.h"

namespace setup {
namespace {

// Null when the file cannot be opened or yields nothing; the reason is not kept, since the
// caller decides on its own what to tell the user. An observer hears it.
boost::shared_array<char16_t> ReadSettingsText(const Text& path, Platform& platform, SettingsObserver* observer,
                                               SettingsEncoding& encoding) {
  try {
    SettingsFileReader reader(path, platform);
    reader.ReadAll();
    encoding = reader.Encoding();
    return reader.GetText();
  } catch (const InputDataFileException& failure) {
    if (observer != nullptr) observer->SettingsUnreadable(path, failure.Message());
    return boost::shared_array<char16_t>();
  }
}

// The length of a NUL-terminated text up to its first NUL unit once each CR LF pair in it is
// collapsed to its LF, collapsed in place.
size_t TextLength(char16_t* text) {
  return CollapseCrLfInPlace(text, std::char_traits<char16_t>::length(text));
}

// Every "[" opens a chunk that ends one unit before the next "[" (that unit, normally the line
// end ahead of its header, belongs to neither chunk): the names of those whose header is closed,
// in text order. An observer hears where each chunk opens.
std::vector<TextView> HeaderNames(TextView text, SettingsObserver* observer) {
  std::vector<TextView> names;
  for (size_t open = text.find(u'['); open != TextView::npos;) {
    if (observer != nullptr) observer->ChunkOpened(open);
    const size_t next = text.find(u'[', open + 1);
    const size_t end = next == TextView::npos ? text.size() : next - 1;
    const std::optional<TextView> name = HeaderName(text.substr(open, end - open));
    if (name) names.push_back(*name);
    open = next;
  }
  return names;
}

}  // namespace

// The sections share the document's text; the rare text that still held a CR LF pair had them
// collapsed in its own buffer rather than in a copy.
void SettingsFile::AddSections(const boost::shared_array<char16_t>& document, size_t length) {
  const size_t held = sections_.size();
  AddNamedSections(document, length);
  for (auto section = sections_.begin() + static_cast<ptrdiff_t>(held); section != sections_.end(); ++section) {
    section->ParseBody(nullptr);
  }
  std::inplace_merge(sections_.begin(), sections_.begin() + static_cast<ptrdiff_t>(held), sections_.end(),
                     [](const SettingsSection& a, const SettingsSection& b) { return a.NameView() < b.NameView(); });
  CompactIfMostlyUnused(held, length);
}

// The headers are ordered by name before any section is made, so that only the first of each
// name becomes one and the sections are never sorted themselves. The sections are only named
// here: the list of names is gone before their pairs are made, and never adds to the peak of
// memory. An observer hears every chunk first, in text order, those dropped too.
void SettingsFile::AddNamedSections(const boost::shared_array<char16_t>& document, size_t length) {
  std::vector<TextView> names = HeaderNames(TextView(document.get(), length), observer_);
  for (size_t i = 0; observer_ != nullptr && i < names.size(); ++i) {
    SettingsSection observed;
    observed.Share(document, length, names[i]);
    observed.ParseBody(observer_);
  }
  // Equal names sort by where they stand: the first one first.
  std::sort(names.begin(), names.end(), [](TextView a, TextView b) {
    const int order = a.compare(b);
    return order != 0 ? order < 0 : a.data() < b.data();
  });
  const size_t held = sections_.size();
  sections_.reserve(held + names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0 && names[i - 1] == names[i]) {
      if (observer_ != nullptr) observer_->SectionDropped(static_cast<size_t>(names[i].data() - document.get()));
    } else if (FindSection(names[i], held) == nullptr) {
      sections_.emplace_back().Share(document, length, names[i]);
    }
  }
  // Repeated names and sections already held made room for sections that never came.
  if (sections_.capacity() - sections_.size() > sections_.size() / 4) sections_.shrink_to_fit();
}

const SettingsSection* SettingsFile::FindSection(TextView name, size_t count) const {
  const auto end = sections_.begin() + static_cast<ptrdiff_t>(count);
  const auto nameLess = [](const SettingsSection& section, TextView sought) { return section.NameView() < sought; };
  const auto found = std::lower_bound(sections_.begin(), end, name, nameLess);
  return found != end && found->NameView() == name ? &*found : nullptr;
}

// A text mostly made of comments (or of sections dropped as repeats) would stay held whole for
// the few texts the sections use: they then move into a text of just those, and the document
// is released. Ordinary settings files use most of their text and keep it.
void SettingsFile::CompactIfMostlyUnused(size_t held, size_t length) {
  const auto newSections = sections_.begin() + static_cast<ptrdiff_t>(held);
  size_t used = 0;
  for (auto section = newSections; section != sections_.end(); ++section) {
    used += section->UnitsInUse();
  }
  if (used >= length / 2) return;
  boost::shared_array<char16_t> compact(new char16_t[used + 1]);
  compact.get()[used] = u'\0';
  size_t at = 0;
  for (auto section = newSections; section != sections_.end(); ++section) {
    at = section->MoveTo(compact, used, at);
  }
}

bool SettingsFile::Load(const Text& path) {
  SettingsEncoding encoding = SettingsEncoding::kAnsi;
  const boost::shared_array<char16_t> text = ReadSettingsText(path, *platform_, observer_, encoding);
  if (!text) return false;
  // The reader's text always ends with a NUL unit.
  const size_t length = TextLength(text.get());
  if (observer_ != nullptr) observer_->SettingsRead(path, TextView(text.get(), length), encoding);
  AddSections(text, length);
  return true;
}

void SettingsFile::LoadText(TextView text) {
  // The caller keeps its text; the sections need one of their own.
  boost::shared_array<char16_t> copy(new char16_t[text.size() + 1]);
  std::copy(text.begin(), text.end(), copy.get());
  copy.get()[text.size()] = u'\0';
  AddSections(copy, TextLength(copy.get()));
}

SettingsSection SettingsFile::GetSection(TextView name) const {
  const SettingsSection* const found = FindSection(name, sections_.size());
  return found != nullptr ? *found : SettingsSection();
}

}  // namespace setup
