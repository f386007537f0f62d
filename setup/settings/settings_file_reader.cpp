#include "setup/settings/settings_file_reader.h"

#include <algorithm>

#include "setup/base/path.h"
#include "setup/settings/line_ends.h"

namespace setup {
namespace {

enum class Encoding { kAnsi, kUtf8, kUtf16 };

bool StartsWith(std::string_view bytes, std::string_view mark) {
  return bytes.substr(0, mark.size()) == mark;
}

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr char kCtrlZ = '\x1A';

// A UTF-16LE mark decides whatever the third byte is.
Encoding DetectEncoding(std::string_view bytes) {
  if (StartsWith(bytes, kUtf16LeMark)) return Encoding::kUtf16;
  if (StartsWith(bytes, kUtf8Mark)) return Encoding::kUtf8;
  return Encoding::kAnsi;
}

struct DeliveredBytes {
  boost::shared_array<char> bytes;  // NUL after count
  size_t count = 0;
};

// What an ANSI text stream delivers: CR LF as LF, and nothing from a Ctrl+Z on. The delivered
// bytes never outgrow the file's, so they are made in place in the file's own buffer, which
// the shared array then owns: a second buffer would hold the file twice while it is decoded.
DeliveredBytes ReadAnsiStream(std::string file) {
  auto* owner = new std::string(std::move(file));
  DeliveredBytes delivered{
      boost::shared_array<char>(owner->data(), [owner](char*) { delete owner; }), 0};
  const std::string_view data = std::string_view(*owner).substr(0, owner->find(kCtrlZ));
  char* const out = owner->data();
  // Runs between CRs move whole: a byte-by-byte copy was the slowest step of reading a large file.
  for (size_t from = 0; from < data.size();) {
    const size_t cr = std::min(data.find('\r', from), data.size());
    std::copy(data.begin() + from, data.begin() + cr, out + delivered.count);
    delivered.count += cr - from;
    if (cr == data.size()) break;
    const bool beforeLineFeed = cr + 1 < data.size() && data[cr + 1] == '\n';
    if (!beforeLineFeed) out[delivered.count++] = '\r';
    from = cr + 1;
  }
  owner->resize(delivered.count);
  return delivered;
}

// The file's UTF-16LE units, mark included; a lone trailing byte is not a unit.
Text Utf16LeUnits(std::string_view bytes) {
  Text units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return units;
}

// Hands the decoded text out as the shared, NUL-terminated array without copying it: the array
// points into the text (which always ends in a NUL unit) and its deleter frees the text. A copy
// would double the memory of reading a large file for a moment.
boost::shared_array<char16_t> ShareText(Text text) {
  auto* owner = new Text(std::move(text));
  return boost::shared_array<char16_t>(owner->data(), [owner](char16_t*) { delete owner; });
}

// A decoding that produces nothing leaves an empty text, not a missing one.
boost::shared_array<char16_t> DecodeAnsiText(Platform& platform, std::string_view bytes) {
  Text decoded = platform.DecodeAnsi(bytes);
  // The decoder's room is one unit per byte; anything beyond it is not taken.
  if (decoded.size() > bytes.size()) decoded.resize(bytes.size());
  return ShareText(std::move(decoded));
}

// A Unicode text stream converts UTF-8 itself and hands over UTF-16, its mark as U+FEFF.
Text ConvertUtf8Stream(Platform& platform, std::string_view file) {
  Text converted(1, u'\uFEFF');
  converted += platform.DecodeUtf8(file.substr(kUtf8Mark.size()));
  return CollapseCrLf(converted);
}

}  // namespace

Text DefaultSettingsPath(Platform& platform) {
  const Text module = platform.ModuleFileName().value_or(Text());
  const PathParts parts = SplitPath(module);
  Text directory = parts.drive + parts.directory;
  if (!directory.empty() && (directory.back() == u'\\' || directory.back() == u'/')) {
    directory.pop_back();
  }
  // A forward slash whatever the directory uses: Windows file functions take either, so
  // there is no need to guess which one the directory prefers.
  return directory + u"/Setup.ini";
}

SettingsFileReader::SettingsFileReader(const Text& path, Platform& platform)
    : platform_(platform), path_(path.empty() ? DefaultSettingsPath(platform) : path) {
  FileContent file = platform_.ReadWholeFile(path_);
  if (!file.opened) throw InputDataFileException(file.error);
  // A Unicode text stream refuses big-endian files when it opens them.
  if (StartsWith(file.bytes, kUtf16BeMark)) throw InputDataFileException(u"Invalid argument");
  content_ = std::move(file.bytes);
}

void SettingsFileReader::ReadAll() {
  if (content_.empty()) return;
  switch (DetectEncoding(content_)) {
    case Encoding::kAnsi: {
      const DeliveredBytes delivered = ReadAnsiStream(std::move(content_));
      content_.clear();
      bytes_ = delivered.bytes;
      text_ = DecodeAnsiText(platform_, std::string_view(bytes_.get(), delivered.count));
      break;
    }
    case Encoding::kUtf8:
      text_ = ShareText(ConvertUtf8Stream(platform_, content_));
      break;
    case Encoding::kUtf16:
      text_ = ShareText(CollapseCrLf(Utf16LeUnits(content_)));
      break;
  }
}

}  // namespace setup
