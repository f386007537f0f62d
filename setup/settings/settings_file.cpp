#include "setup/settings/settings_file.h"

#include <limits>

#include "setup/settings/line_ends.h"
#include "setup/settings/settings_file_reader.h"

namespace setup {
namespace {

using Sections = std::map<Text, SettingsSection, std::less<>>;

// Null when the file cannot be opened or yields nothing; the reason is not kept, since the
// caller decides on its own what to tell the user.
boost::shared_array<char16_t> ReadSettingsText(const Text& path, Platform& platform) {
  try {
    SettingsFileReader reader(path, platform);
    reader.ReadAll();
    return reader.GetText();
  } catch (const InputDataFileException&) {
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

void AddSections(const TextExtent& extent, Sections& sections) {
  // A text from the reader has had its CR LF pairs collapsed once already, so this second
  // pass rarely finds one; the whole text is copied only when it does.
  const Text collapsed = extent.hasCrLf ? CollapseCrLf(extent.text) : Text();
  const TextView view = extent.hasCrLf ? TextView(collapsed) : extent.text;
  size_t start = view.find(u'[');
  while (start != TextView::npos) {
    const size_t next = view.find(u'[', start + 1);
    // The character just before the next "[" (normally the line end ahead of its header)
    // belongs to neither section.
    const size_t length = next == TextView::npos ? TextView::npos : next - 1 - start;
    SettingsSection section;
    section.Parse(view.substr(start, length));
    Text name = section.GetName();
    sections.try_emplace(std::move(name), std::move(section));
    start = next;
  }
}

}  // namespace

bool SettingsFile::Load(const Text& path) {
  const boost::shared_array<char16_t> text = ReadSettingsText(path, *platform_);
  if (!text) return false;
  // The reader's text always ends with a NUL unit.
  AddSections(MeasureText(text.get(), std::numeric_limits<size_t>::max()), sections_);
  return true;
}

void SettingsFile::LoadText(TextView text) {
  AddSections(MeasureText(text.data(), text.size()), sections_);
}

SettingsSection SettingsFile::GetSection(TextView name) const {
  const auto found = sections_.find(name);
  return found == sections_.end() ? SettingsSection() : found->second;
}

}  // namespace setup
