#pragma once
// Where things stand in a settings file, as the program's own parser tells it while it parses:
// the line of every section header and key, and what the file's bytes say about its encoding.

#include <map>
#include <optional>
#include <vector>

#include "setup/base/text.h"
#include "setup/settings/settings_file.h"

namespace setup::check {

struct ScannedKey {
  Text key;
  Text value;
  size_t line = 0;
  bool hasEquals = true;  // false: the whole line became the key, with an empty value
  bool kept = false;      // the section keeps this line's value for its key
};

struct ScannedSection {
  Text name;
  size_t line = 0;
  bool ignored = false;          // an earlier section has the same name, so this one is dropped
  std::vector<ScannedKey> keys;  // in file order, repeats included

  // The line whose value the program keeps for the key; null when there is none.
  const ScannedKey* KeptKey(TextView key) const;
};

// A "[" that is not the first thing on its line: it starts a section all the same.
struct StrayBracket {
  size_t line = 0;
  Text lineText;
};

struct SettingsScan {
  bool opened = false;
  Text openError;  // the C library's message when the file could not be opened
  SettingsEncoding encoding = SettingsEncoding::kAnsi;
  bool utf8WithoutMark = false;  // read in the ANSI code page although it is UTF-8 text
  bool ansiBeyondAscii = false;  // ANSI text with bytes above 0x7F: its letters depend on the code page
  std::vector<ScannedSection> sections;
  std::vector<StrayBracket> strayBrackets;

  // The section of this name that the program reads: the first one.
  const ScannedSection* Find(TextView name) const;
  // The line of the key whose value the program keeps in that section.
  std::optional<size_t> LineOf(TextView section, TextView key) const;
  // What the bytes of a file read as ANSI say about how it reads elsewhere.
  void NoteBytes(std::string_view bytes);
};

// A scan of every settings file the parser reads, by the path it was read by.
class SettingsScanner : public SettingsObserver {
 public:
  std::map<Text, SettingsScan> scans;

  void SettingsUnreadable(const Text& path, const Text& reason) override { scans[path].openError = reason; }
  void SettingsRead(const Text& path, TextView text, SettingsEncoding encoding) override;
  void ChunkOpened(size_t at) override;
  void SectionParsed(size_t nameAt, TextView name) override;
  void SectionDropped(size_t nameAt) override;
  void PairParsed(size_t keyAt, TextView key, TextView value, bool hasEquals) override;
  void PairKept(size_t keyAt) override;

 private:
  size_t LineAt(size_t place) const;

  SettingsScan* current_ = nullptr;
  TextView text_;
  std::vector<size_t> keyPlaces_;  // of each scanned key of the section being parsed
  std::vector<size_t> lineStarts_;
  std::vector<size_t> sectionPlaces_;  // of each scanned section's name
};

// The file as the program reads it, scanned by the program's own settings reader and parser.
SettingsScan ScanSettingsFile(const Text& path, Platform& platform);

}  // namespace setup::check
