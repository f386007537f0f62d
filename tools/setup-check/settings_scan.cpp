#include "tools/setup-check/settings_scan.h"

#include <algorithm>

#include "setup/base/chars.h"
#include "setup/base/line_ends.h"
#include "setup/settings/settings_file_reader.h"
#include "setup/settings/settings_section.h"

namespace setup::check {
namespace {

class LineCounter {
 public:
  explicit LineCounter(TextView text) : text_(text) {}
  // Lines counted from 1; positions must be asked for in increasing order.
  size_t LineAt(size_t position) {
    line_ += static_cast<size_t>(std::count(text_.begin() + static_cast<std::ptrdiff_t>(counted_),
                                            text_.begin() + static_cast<std::ptrdiff_t>(position), u'\n'));
    counted_ = position;
    return line_;
  }

 private:
  TextView text_;
  size_t counted_ = 0;
  size_t line_ = 1;
};

bool FirstOnItsLine(TextView text, size_t position) {
  const size_t lineStart = position == 0 ? 0 : text.rfind(u'\n', position - 1) + 1;  // npos + 1 is 0
  const TextView before = text.substr(lineStart, position - lineStart);
  return std::all_of(before.begin(), before.end(), [](char16_t c) { return IsSpace(c) || c == u'\uFEFF'; });
}

Text LineAround(TextView text, size_t position) {
  const size_t start = position == 0 ? 0 : text.rfind(u'\n', position - 1) + 1;
  const size_t end = std::min(text.find(u'\n', position), text.size());
  return Text(text.substr(start, end - start));
}

// The reader cuts a line at its last "#" and then at its last ";" before looking for "=".
bool HasEquals(TextView line) {
  line = line.substr(0, std::min(line.size(), line.rfind(u'#')));
  line = line.substr(0, std::min(line.size(), line.rfind(u';')));
  return line.find(u'=') != TextView::npos;
}

// The keys of one chunk, with the line each comes from: the body starts on the line after the
// one that holds the chunk's first "]", as the section's own parse has it.
std::vector<ScannedKey> KeysOf(TextView chunk, size_t chunkLine) {
  std::vector<ScannedKey> keys;
  const size_t close = chunk.find(u']');
  if (close == TextView::npos) return keys;
  const TextView body = chunk.substr(close);
  size_t line = chunkLine + static_cast<size_t>(
                                std::count(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(close), u'\n'));
  for (const Text& text : SplitLines(body)) {
    ++line;
    auto [key, value] = ParseLine(text);
    if (!key.empty()) keys.push_back({std::move(key), std::move(value), line, HasEquals(text)});
  }
  return keys;
}

// Text beyond ASCII that decodes as UTF-8 is UTF-8: ANSI text rarely forms valid sequences.
bool HasMark(std::string_view bytes) {
  return bytes.starts_with("\xEF\xBB\xBF") || bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

bool IsUtf8WithoutMark(std::string_view bytes) {
  if (HasMark(bytes)) return false;
  bool beyondAscii = false;
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const size_t length = lead < 0x80             ? 1
                          : (lead & 0xE0) == 0xC0 ? 2
                          : (lead & 0xF0) == 0xE0 ? 3
                          : (lead & 0xF8) == 0xF0 ? 4
                                                  : 0;
    if (length == 0 || (length == 2 && lead < 0xC2) || i + length > bytes.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    }
    beyondAscii = beyondAscii || length > 1;
    i += length;
  }
  return beyondAscii;
}

}  // namespace

const ScannedSection* SettingsScan::Find(TextView name) const {
  const auto found = std::find_if(sections.begin(), sections.end(), [&](const ScannedSection& section) {
    return !section.ignored && section.name == name;
  });
  return found == sections.end() ? nullptr : &*found;
}

std::optional<size_t> SettingsScan::LineOf(TextView section, TextView key) const {
  const ScannedSection* found = Find(section);
  if (found == nullptr) return std::nullopt;
  std::optional<size_t> line;
  for (const ScannedKey& scanned : found->keys) {
    if (scanned.key == key) line = scanned.line;
  }
  return line;
}

SettingsScan ScanSettingsText(TextView raw) {
  SettingsScan scan;
  scan.opened = true;
  const Text document = CollapseCrLf(raw.substr(0, raw.find(u'\0')));
  const TextView text(document);
  LineCounter lines(text);
  // The sections are cut exactly as the document cuts them: at every "[", the character just
  // before the next "[" belonging to neither.
  for (size_t start = text.find(u'['); start != TextView::npos;) {
    const size_t next = text.find(u'[', start + 1);
    const TextView chunk = text.substr(start, next == TextView::npos ? TextView::npos : next - 1 - start);
    const size_t line = lines.LineAt(start);
    if (!FirstOnItsLine(text, start)) scan.strayBrackets.push_back({line, LineAround(text, start)});
    SettingsSection section;
    // A header never closed within its chunk makes no section in the document either.
    if (!section.Parse(chunk)) {
      start = next;
      continue;
    }
    const bool repeated = scan.Find(section.GetName()) != nullptr;
    scan.sections.push_back({section.GetName(), line, repeated, KeysOf(chunk, line)});
    start = next;
  }
  return scan;
}

SettingsScan ScanSettingsFile(const Text& path, Platform& platform) {
  try {
    SettingsFileReader reader(path, platform);
    reader.ReadAll();
    const boost::shared_array<char16_t> text = reader.GetText();
    SettingsScan scan = ScanSettingsText(text ? TextView(text.get()) : TextView());
    const FileContent file = platform.ReadWholeFile(reader.Path());
    const std::string_view bytes = file.bytes.View();
    scan.utf8WithoutMark = IsUtf8WithoutMark(bytes);
    scan.ansiBeyondAscii = !scan.utf8WithoutMark && !HasMark(bytes) &&
                           std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
    return scan;
  } catch (const InputDataFileException& failure) {
    SettingsScan scan;
    scan.openError = failure.Message();
    return scan;
  }
}

}  // namespace setup::check
