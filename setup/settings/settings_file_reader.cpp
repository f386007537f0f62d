#include "setup/settings/settings_file_reader.h"

#include <algorithm>
#include <memory>

#include "setup/base/path.h"
#include "setup/base/line_ends.h"

namespace setup {
namespace {

using Encoding = SettingsEncoding;

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

// What an ANSI text stream delivers: CR LF as LF, and nothing from a Ctrl+Z on, made over the
// file's own bytes (it never grows); returns how many bytes it delivers.
size_t DeliverAnsiStream(char* bytes, size_t size) {
  const size_t cut = std::min(std::string_view(bytes, size).find(kCtrlZ), size);
  return CollapseCrLfInPlace(bytes, cut);
}

// Decoding in pieces needs each piece to end where no character can continue: after a line feed
// (no multi-byte encoding uses its byte inside a character), or at the end. A piece is at most
// about a quarter of the file (and of 64 KiB), so that its decoded copy costs little beside
// the text.
size_t PieceStart(std::string_view bytes, size_t end) {
  const size_t most = std::clamp<size_t>(bytes.size() / 4, 256, 65536);
  if (end <= most) return 0;
  const std::string_view before = bytes.substr(0, end - 1);
  size_t lineFeed = before.find('\n', end - most);
  if (lineFeed == std::string_view::npos) lineFeed = before.rfind('\n');
  return lineFeed == std::string_view::npos ? 0 : lineFeed + 1;
}

// Decodes bytes [begin, end) of the units' storage into units in the same storage, placed from
// `lead`; returns the units' end. The pieces are decoded from the last one back and their units
// stacked down from unit `end`: a piece's units never outnumber its bytes, so they land on bytes
// already decoded, never on the bytes still to come. A decoder giving more units than bytes
// has the excess of that piece dropped, as the whole text's excess once was.
template <typename Decode>
size_t DecodeInPlace(char16_t* units, size_t begin, size_t end, size_t lead, Decode decode) {
  const std::string_view bytes(reinterpret_cast<const char*>(units), end);
  size_t first = end;  // the lowest unit written so far
  for (size_t pieceEnd = end; pieceEnd > begin;) {
    const size_t pieceStart = std::max(begin, PieceStart(bytes, pieceEnd));
    const Text piece = decode(bytes.substr(pieceStart, pieceEnd - pieceStart));
    const size_t count = std::min(piece.size(), pieceEnd - pieceStart);
    first -= count;
    std::copy_n(piece.begin(), count, units + first);
    pieceEnd = pieceStart;
  }
  if (first != lead) std::copy(units + first, units + end, units + lead);
  return lead + (end - first);
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

SettingsFileReader::SettingsFileReader(const Text& path, Platform& platform) : platform_(platform) {
  FileContent file =
      path.empty() ? platform_.ReadWholeFile(DefaultSettingsPath(platform)) : platform_.ReadWholeFile(path);
  if (!file.opened) throw InputDataFileException(file.error);
  // A Unicode text stream refuses big-endian files when it opens them.
  if (StartsWith(file.bytes.View(), kUtf16BeMark)) throw InputDataFileException(u"Invalid argument");
  content_ = std::move(file.bytes);
}

// Each encoding is decoded in the file's own storage, which then holds the text and is handed
// out as it is: the file's bytes and its text are never held side by side. The storage has room
// for one unit per byte and the NUL, and no encoding gives more units than bytes.
void SettingsFileReader::ReadAll() {
  if (content_.Empty()) return;
  const size_t size = content_.Size();
  boost::shared_array<char16_t> text(content_.ReleaseUnits().release());
  char16_t* const units = text.get();
  char* const bytes = reinterpret_cast<char*>(units);
  size_t count = 0;
  encoding_ = DetectEncoding(std::string_view(bytes, size));
  switch (encoding_) {
    case Encoding::kAnsi:
      count = DecodeInPlace(units, 0, DeliverAnsiStream(bytes, size), 0,
                            [this](std::string_view ansi) { return platform_.DecodeAnsi(ansi); });
      break;
    case Encoding::kUtf8:
      // A Unicode text stream converts UTF-8 itself and hands over UTF-16, its mark as U+FEFF.
      count = DecodeInPlace(units, kUtf8Mark.size(), size, 1,
                            [this](std::string_view utf8) { return platform_.DecodeUtf8(utf8); });
      units[0] = u'\uFEFF';
      count = CollapseCrLfInPlace(units, count);
      break;
    case Encoding::kUtf16:
      count = CollapseCrLfInPlace(units, DecodeUtf16Le(std::string_view(bytes, size), units));
      break;
  }
  units[count] = u'\0';
  text_ = std::move(text);
}

}  // namespace setup
