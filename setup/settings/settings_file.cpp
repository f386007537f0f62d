#include "setup/settings/settings_file.h"

#include <algorithm>
#include <limits>

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

// The text up to its first NUL unit (or its limit), and whether a CR LF pair stands in it.
// Both are found in one pass: on a large file every pass over the text counts.
struct TextExtent {
  TextView text;
  bool hasCrLf = false;
};

TextExtent MeasureText(const char16_t* text, size_t limit) {
  TextExtent extent;
  size_t length = 0;
  for (; length < limit && text[length] != u'\0'; ++length) {
    if (text[length] == u'\r' && length + 1 < limit && text[length + 1] == u'\n') {
      extent.hasCrLf = true;
    }
  }
  extent.text = TextView(text, length);
  return extent;
}

// The length of the text once a CR LF pair is collapsed to its LF, collapsed in place.
size_t TextLength(char16_t* text, size_t limit) {
  const TextExtent extent = MeasureText(text, limit);
  return extent.hasCrLf ? CollapseCrLfInPlace(text, extent.text.size()) : extent.text.size();
}

}  // namespace

// The sections share the document's text; the rare text that still held a CR LF pair had them
// collapsed in its own buffer rather than in a copy.
void SettingsFile::AddSections(const boost::shared_array<char16_t>& document, size_t length) {
  const TextView view(document.get(), length);
  const size_t held = sections_.size();
  // Every "[" opens a section: counting them first gives the sections one block.
  sections_.reserve(held + std::count(view.begin(), view.end(), u'['));
  size_t start = view.find(u'[');
  while (start != TextView::npos) {
    const size_t next = view.find(u'[', start + 1);
    // The character just before the next "[" (normally the line end ahead of its header)
    // belongs to neither section.
    const size_t chunkLength = next == TextView::npos ? length - start : next - 1 - start;
    if (!sections_.emplace_back().ParseShared(document, length, start, chunkLength, observer_)) sections_.pop_back();
    start = next;
  }
  KeepFirstOfEachName(held);
  CompactIfMostlyUnused(held, length);
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

// Sorting once and dropping repeats keeps a file of many sections linear in its sections, where
// a search and insertion per section would not be.
void SettingsFile::KeepFirstOfEachName(size_t held) {
  const auto newStart = sections_.begin() + static_cast<ptrdiff_t>(held);
  // Within one document, names at equal text sort by where they stand: the first one first.
  std::sort(newStart, sections_.end(), [](const SettingsSection& a, const SettingsSection& b) {
    const int order = a.NameView().compare(b.NameView());
    return order != 0 ? order < 0 : a.nameAt_ < b.nameAt_;
  });
  const auto sameName = [](const SettingsSection& a, const SettingsSection& b) {
    return a.NameView() == b.NameView();
  };
  for (auto later = newStart; observer_ != nullptr && later != sections_.end(); ++later) {
    if (later != newStart && sameName(later[-1], *later)) observer_->SectionDropped(later->nameAt_);
  }
  auto kept = std::unique(newStart, sections_.end(), sameName);
  const auto nameLess = [](const SettingsSection& section, TextView name) {
    return section.NameView() < name;
  };
  if (held > 0) {
    kept = std::remove_if(newStart, kept, [this, held, nameLess](const SettingsSection& section) {
      const auto heldEnd = sections_.begin() + static_cast<ptrdiff_t>(held);
      const auto found = std::lower_bound(sections_.begin(), heldEnd, section.NameView(), nameLess);
      return found != heldEnd && found->NameView() == section.NameView();
    });
  }
  sections_.erase(kept, sections_.end());
  if (held > 0) std::sort(sections_.begin(), sections_.end(), [](const auto& a, const auto& b) {
    return a.NameView() < b.NameView();
  });
  // Brackets inside values made room for sections that never came.
  if (sections_.capacity() - sections_.size() > sections_.size() / 4) sections_.shrink_to_fit();
}

bool SettingsFile::Load(const Text& path) {
  SettingsEncoding encoding = SettingsEncoding::kAnsi;
  const boost::shared_array<char16_t> text = ReadSettingsText(path, *platform_, observer_, encoding);
  if (!text) return false;
  // The reader's text always ends with a NUL unit.
  const size_t length = TextLength(text.get(), std::numeric_limits<size_t>::max());
  if (observer_ != nullptr) observer_->SettingsRead(path, TextView(text.get(), length), encoding);
  AddSections(text, length);
  return true;
}

void SettingsFile::LoadText(TextView text) {
  // The caller keeps its text; the sections need one of their own.
  boost::shared_array<char16_t> copy(new char16_t[text.size() + 1]);
  std::copy(text.begin(), text.end(), copy.get());
  copy.get()[text.size()] = u'\0';
  AddSections(copy, TextLength(copy.get(), text.size()));
}

SettingsSection SettingsFile::GetSection(TextView name) const {
  const auto found = std::lower_bound(
      sections_.begin(), sections_.end(), name,
      [](const SettingsSection& section, TextView sought) { return section.NameView() < sought; });
  return found != sections_.end() && found->NameView() == name ? *found : SettingsSection();
}

}  // namespace setup
