#include "tools/setup-check/shared/settings_scan.h"

#include <algorithm>

#include "setup/base/chars.h"
#include "setup/settings/settings_file.h"

namespace setup::check {
namespace {

// Valid UTF-8 comes back whole from a round trip; anything else has gained U+FFFD.
bool IsUtf8(std::string_view bytes) { return ToUtf8(FromUtf8(bytes)) == bytes; }

}  // namespace

const ScannedSection* SettingsScan::Find(TextView name) const {
  const auto found = std::find_if(sections.begin(), sections.end(), [&](const ScannedSection& section) {
    return !section.ignored && section.name == name;
  });
  return found == sections.end() ? nullptr : &*found;
}

const ScannedKey* ScannedSection::KeptKey(TextView key) const {
  const auto found =
      std::find_if(keys.begin(), keys.end(), [&](const ScannedKey& scanned) { return scanned.kept && scanned.key == key; });
  return found == keys.end() ? nullptr : &*found;
}

std::optional<size_t> SettingsScan::LineOf(TextView section, TextView key) const {
  const ScannedSection* found = Find(section);
  const ScannedKey* last = found == nullptr ? nullptr : found->KeptKey(key);
  return last == nullptr ? std::nullopt : std::optional(last->line);
}

size_t SettingsScanner::LineAt(size_t place) const {
  return static_cast<size_t>(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), place) - lineStarts_.begin());
}

void SettingsScanner::SettingsRead(const Text& path, TextView text, SettingsEncoding encoding) {
  current_ = &scans[path];
  current_->opened = true;
  current_->encoding = encoding;
  lineStarts_ = {0};
  sectionPlaces_.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n') lineStarts_.push_back(i + 1);
  }
  text_ = text;
}

// A chunk opened after something else on its line cuts that line short there.
void SettingsScanner::ChunkOpened(size_t at) {
  const size_t line = LineAt(at);
  const size_t start = lineStarts_[line - 1];
  const TextView before = text_.substr(start, at - start);
  if (std::ranges::all_of(before, [](char16_t c) { return IsSpace(c) || c == u'\uFEFF'; })) return;
  const size_t end = std::min(text_.find(u'\n', at), text_.size());
  current_->strayBrackets.push_back({line, Text(text_.substr(start, end - start))});
}

void SettingsScanner::SectionParsed(size_t nameAt, TextView name) {
  current_->sections.push_back({Text(name), LineAt(nameAt), false, {}});
  sectionPlaces_.push_back(nameAt);
  keyPlaces_.clear();
}

void SettingsScanner::SectionDropped(size_t nameAt) {
  const auto found = std::find(sectionPlaces_.begin(), sectionPlaces_.end(), nameAt);
  if (found != sectionPlaces_.end()) current_->sections[found - sectionPlaces_.begin()].ignored = true;
}

void SettingsScanner::PairParsed(size_t keyAt, TextView key, TextView value, bool hasEquals) {
  if (current_->sections.empty()) return;
  current_->sections.back().keys.push_back({Text(key), Text(value), LineAt(keyAt), hasEquals});
  keyPlaces_.push_back(keyAt);
}

void SettingsScanner::PairKept(size_t keyAt) {
  const auto found = std::find(keyPlaces_.begin(), keyPlaces_.end(), keyAt);
  if (found != keyPlaces_.end()) current_->sections.back().keys[found - keyPlaces_.begin()].kept = true;
}

void SettingsScan::NoteBytes(std::string_view bytes) {
  if (encoding != SettingsEncoding::kAnsi) return;
  const bool beyondAscii = std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
  utf8WithoutMark = beyondAscii && IsUtf8(bytes);
  ansiBeyondAscii = beyondAscii && !utf8WithoutMark;
}

SettingsScan ScanSettingsFile(const Text& path, Platform& platform) {
  SettingsScanner scanner;
  SettingsFile(platform, &scanner).Load(path);
  return scanner.scans[path];
}

}  // namespace setup::check
