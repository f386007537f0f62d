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
  const Text document = CollapseCrLf(text.substr(0, text.find(u'\0')));
  const TextView view(document);
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
