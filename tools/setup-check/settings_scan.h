#pragma once
// Where things stand in a settings file: the program's document keeps no line numbers, so the
// check walks the same decoded text by the same rules and notes the line of every section
// header and key.

#include <optional>
#include <vector>

#include "setup/base/text.h"
#include "setup/platform/platform.h"

namespace setup::check {

struct ScannedKey {
  Text key;
  Text value;
  size_t line = 0;
  bool hasEquals = true;  // false: the whole line became the key, with an empty value
};

struct ScannedSection {
  Text name;
  size_t line = 0;               // the line of its "["
  bool ignored = false;          // an earlier section has the same name, so this one is dropped
  std::vector<ScannedKey> keys;  // in file order, repeats included
};

// A "[" that is not the first thing on its line: it starts a section all the same.
struct StrayBracket {
  size_t line = 0;
  Text lineText;
};

struct SettingsScan {
  bool opened = false;
  Text openError;                // the C library's message when the file could not be opened
  bool utf8WithoutMark = false;  // read in the ANSI code page although it is UTF-8 text
  bool ansiBeyondAscii = false;  // ANSI text with bytes above 0x7F: its letters depend on the code page
  std::vector<ScannedSection> sections;
  std::vector<StrayBracket> strayBrackets;

  // The section of this name that the program reads: the first one.
  const ScannedSection* Find(TextView name) const;
  // The line of the key's last occurrence in that section (the value the program takes).
  std::optional<size_t> LineOf(TextView section, TextView key) const;
};

// Decodes the file as the program does (every encoding it reads) and scans it.
SettingsScan ScanSettingsFile(const Text& path, Platform& platform);
SettingsScan ScanSettingsText(TextView text);

}  // namespace setup::check
