#pragma once
// The parsed settings document: sections by name, first section of a name wins.

#include <vector>

#include "setup/base/text.h"
#include "setup/platform/platform.h"
#include "setup/settings/settings_section.h"

namespace setup {

class SettingsFile {
 public:
  explicit SettingsFile(Platform& platform = DefaultPlatform()) : platform_(&platform) {}

  // Reads the file (an empty path means Setup.ini beside the program) and adds its sections to
  // those already held. False when the file cannot be opened or yields no text.
  bool Load(const Text& path);
  // Parses an already decoded text; the same rules as Load after reading.
  void LoadText(TextView text);

  // A copy of the section with exactly this name; an unnamed empty section when there is none.
  SettingsSection GetSection(TextView name) const;
  size_t GetSectionCount() const { return sections_.size(); }

 private:
  // Cuts the document's first length units into sections that share it.
  void AddSections(const boost::shared_array<char16_t>& document, size_t length, bool hasCrLf);

  // Adds the sections parsed at the end of sections_ to those before them: first of a name wins.
  void KeepFirstOfEachName(size_t held);
  void CompactIfMostlyUnused(size_t held, size_t length);

  Platform* platform_;
  // Sorted by name, one section a name: a vector of sections is far smaller than a tree of them.
  std::vector<SettingsSection> sections_;
};

}  // namespace setup
