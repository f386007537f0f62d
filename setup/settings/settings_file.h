#pragma once
// The parsed settings document: sections by name, first section of a name wins.

#include <vector>

#include "setup/base/text.h"
#include "setup/platform/platform.h"
#include "setup/settings/settings_file_reader.h"
#include "setup/settings/settings_section.h"

namespace setup {

// What the parser makes of a file, told as it goes, for a reader that reports on the file: the
// document keeps no line numbers, and a second parser beside this one would drift from it.
class SettingsObserver {
 public:
  virtual ~SettingsObserver() = default;
  virtual void SettingsUnreadable(const Text& /*path*/, const Text& /*reason*/) {}
  // The decoded text, CR LF collapsed; every place told below counts in it.
  virtual void SettingsRead(const Text& /*path*/, TextView /*text*/, SettingsEncoding /*encoding*/) {}
  // Where a "[" opens a chunk, wherever it stands on its line.
  virtual void ChunkOpened(size_t /*at*/) {}
  // A section's name where it stands; a later section of the same name is dropped.
  virtual void SectionParsed(size_t /*nameAt*/, TextView /*name*/) {}
  virtual void SectionDropped(size_t /*nameAt*/) {}
  // A line that gives its section a key; without "=", the whole line is the key.
  virtual void PairParsed(size_t /*keyAt*/, TextView /*key*/, TextView /*value*/, bool /*hasEquals*/) {}
  // After a section's pairs: the pair whose value the section keeps for its key.
  virtual void PairKept(size_t /*keyAt*/) {}
};

class SettingsFile {
 public:
  // The observer, when given, is told what the parser makes of every file loaded.
  explicit SettingsFile(Platform& platform = DefaultPlatform(), SettingsObserver* observer = nullptr)
      : platform_(&platform), observer_(observer) {}

  // Reads the file (an empty path means Setup.ini beside the program) and adds its sections to
  // those already held. False when the file cannot be opened or yields no text.
  bool Load(const Text& path);
  // Parses an already decoded text; the same rules as Load after reading.
  void LoadText(TextView text);

  // A copy of the section with exactly this name; an unnamed empty section when there is none.
  SettingsSection GetSection(TextView name) const;
  bool HasSection(TextView name) const { return FindSection(name, sections_.size()) != nullptr; }
  size_t GetSectionCount() const { return sections_.size(); }

 private:
  // Cuts the document's first length units, free of CR LF pairs, into sections that share it.
  void AddSections(const boost::shared_array<char16_t>& document, size_t length);
  // Adds an unparsed section for each name the document's headers give that it does not hold yet.
  void AddNamedSections(const boost::shared_array<char16_t>& document, size_t length);
  // The section of exactly this name among the first `count` sections; null when there is none.
  const SettingsSection* FindSection(TextView name, size_t count) const;
  void CompactIfMostlyUnused(size_t held, size_t length);

  Platform* platform_;
  SettingsObserver* observer_;
  // Sorted by name, one section a name: a vector of sections is far smaller than a tree of them.
  std::vector<SettingsSection> sections_;
};

}  // namespace setup
