#pragma once
// One section of a settings file: its name and its key/value pairs in ordinal key order.

#include <utility>
#include <vector>

#include "setup/base/text.h"

namespace setup {

class SettingsSection {
 public:
  SettingsSection() = default;
  explicit SettingsSection(Text name) : name_(std::move(name)) {}
  virtual ~SettingsSection() = default;
  SettingsSection(const SettingsSection&) = default;
  SettingsSection& operator=(const SettingsSection&) = default;
  SettingsSection(SettingsSection&&) = default;
  SettingsSection& operator=(SettingsSection&&) = default;

  // Fills the section from one chunk of text that starts with '['.
  void Parse(TextView chunk);

  Text GetName() const { return name_; }
  // Empty when the key is absent; an absent key and an empty value look alike.
  Text GetValue(TextView key) const;
  size_t GetKeyCount() const { return pairs_.size(); }
  // The key at this position in key order; empty when index is not below GetKeyCount.
  Text GetKeyAt(size_t index) const;

  // Stores a value under a key, replacing an earlier one.
  void SetValue(Text key, Text value);

 private:
  Text name_;
  // Sorted by key (ordinal: code unit by code unit), so that GetKeyAt is an index, not a walk.
  std::vector<std::pair<Text, Text>> pairs_;
};

// Ordinal order: code unit by code unit as unsigned 16-bit numbers; a prefix comes first.
inline bool OrdinalLess(TextView a, TextView b) { return a < b; }

// The pieces SettingsSection::Parse is made of.
std::vector<Text> SplitLines(TextView body);
std::pair<Text, Text> ParseLine(TextView line);

}  // namespace setup
