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
  boost::shared_array<char> bytes;   // zero-filled beyond count
  size_t count = 0;
};

// What an ANSI text stream delivers: CR LF as LF, and nothing from a Ctrl+Z on.
DeliveredBytes ReadAnsiStream(std::string_view file) {
  DeliveredBytes delivered{boost::shared_array<char>(new char[file.size() + 1]()), 0};
  for (size_t i = 0; i < file.size() && file[i] != kCtrlZ; ++i) {
    if (file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n') ++i;
    delivered.bytes[delivered.count++] = file[i];
  }
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

boost::shared_array<char16_t> NulTerminatedCopy(TextView units) {
  boost::shared_array<char16_t> copy(new char16_t[units.size() + 1]());
  std::copy(units.begin(), units.end(), copy.get());
  return copy;
}

// A decoding that produces nothing leaves an empty text, not a missing one.
boost::shared_array<char16_t> DecodeAnsiText(Platform& platform, std::string_view bytes) {
  const Text decoded = platform.DecodeAnsi(bytes);
  // The decoder's room is one unit per byte; anything beyond it is not taken.
  return NulTerminatedCopy(TextView(decoded).substr(0, bytes.size()));
}

// A Unicode text stream converts UTF-8 itself and hands over UTF-16, its mark as U+FEFF.
Text ConvertUtf8Stream(Platform& platform, std::string_view file) {
  return CollapseCrLf(Text(1, u'\uFEFF') + platform.DecodeUtf8(file.substr(kUtf8Mark.size())));
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
      const DeliveredBytes delivered = ReadAnsiStream(content_);
      bytes_ = delivered.bytes;
      text_ = DecodeAnsiText(platform_, std::string_view(bytes_.get(), delivered.count));
      break;
    }
    case Encoding::kUtf8:
      text_ = NulTerminatedCopy(ConvertUtf8Stream(platform_, content_));
      break;
    case Encoding::kUtf16:
      text_ = NulTerminatedCopy(CollapseCrLf(Utf16LeUnits(content_)));
      break;
  }
}

}  // namespace setup
