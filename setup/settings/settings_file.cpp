#include "setup/settings/settings_file.h"

#include "setup/settings/line_ends.h"
#include "setup/settings/settings_file_reader.h"

namespace setup {
namespace {

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

}  // namespace

bool SettingsFile::Load(const Text& path) {
  const boost::shared_array<char16_t> text = ReadSettingsText(path, *platform_);
  if (!text) return false;
  LoadText(TextView(text.get()));
  return true;
}

void SettingsFile::LoadText(TextView text) {
  const TextView whole = text.substr(0, text.find(u'\0'));
  // A text from the reader has had its CR LF pairs collapsed once already, so this second
  // pass rarely finds one; the whole text is copied only when it does.
  Text collapsed;
  if (whole.find(u"\r\n") != TextView::npos) collapsed = CollapseCrLf(whole);
  const TextView view = collapsed.empty() ? whole : TextView(collapsed);
  size_t start = view.find(u'[');
  while (start != TextView::npos) {
    const size_t next = view.find(u'[', start + 1);
    // The character just before the next "[" (normally the line end ahead of its header)
    // belongs to neither section.
    const size_t length = next == TextView::npos ? TextView::npos : next - 1 - start;
    const TextView chunk = view.substr(start, length);
    SettingsSection section;
    section.Parse(chunk);
    Text name = section.GetName();
    sections_.try_emplace(std::move(name), std::move(section));
    start = next;
  }
}

SettingsSection SettingsFile::GetSection(TextView name) const {
  const auto found = sections_.find(name);
  return found == sections_.end() ? SettingsSection() : found->second;
}

}  // namespace setup
