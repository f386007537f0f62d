#include "setup/settings/settings_file_reader.h"

#include <algorithm>
#include <memory>

#include "setup/base/path.h"
#include "setup/base/line_ends.h"

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

// What an ANSI text stream delivers: CR LF as LF, and nothing from a Ctrl+Z on, made in the
// file's own buffer (it never grows); returns how many bytes it delivers.
size_t DeliverAnsiStream(std::string& file) {
  const size_t cut = std::min(file.find(kCtrlZ), file.size());
  return CollapseCrLfInPlace(file.data(), cut);
}

// The buffer's bytes as room for units: at least `units` units and the NUL after them. The
// buffer's block is aligned for any type (and a short string's own buffer for a pointer), and
// is only ever read as units once they are written.
char16_t* UnitRoom(std::string& buffer, size_t units) {
  const size_t bytes = 2 * (units + 1);
  if (bytes > buffer.capacity()) {
    // A growing string at least doubles its block; for a large file that could be more than a
    // 32-bit process can find in one piece, so the block is taken at just the size needed.
    std::string exact;
    exact.reserve(bytes);
    exact.assign(buffer);
    buffer.swap(exact);
  }
  buffer.resize(std::max(buffer.size(), bytes));
  return reinterpret_cast<char16_t*>(buffer.data());
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

// Decodes bytes [begin, end) of the buffer into units in the same buffer, placed from `lead`;
// returns the units' end. The pieces are decoded from the last one back and their units stacked
// down from unit `end`: a piece's units never outnumber its bytes, so they land on bytes
// already decoded, never on the bytes still to come. A decoder giving more units than bytes
// has the excess of that piece dropped, as the whole text's excess once was.
template <typename Decode>
size_t DecodeInPlace(std::string& buffer, size_t begin, size_t end, size_t lead, Decode decode) {
  char16_t* const units = UnitRoom(buffer, end);
  const std::string_view bytes(buffer.data(), end);
  size_t first = end;  // the lowest unit written so far
  for (size_t pieceEnd = end; pieceEnd > begin;) {
    const size_t pieceStart = std::max(begin, PieceStart(bytes, pieceEnd));
    const Text piece = decode(bytes.substr(pieceStart, pieceEnd - pieceStart));
    const size_t count = std::min(piece.size(), pieceEnd - pieceStart);
    first -= count;
    std::copy(piece.begin(), piece.begin() + count, units + first);
    pieceEnd = pieceStart;
  }
  if (first != lead) std::copy(units + first, units + end, units + lead);
  return lead + (end - first);
}

// Hands the decoded text out as the shared, NUL-terminated array without copying it: the array
// points into the buffer and its deleter frees the buffer. A copy would double the memory of
// reading a large file for a moment.
boost::shared_array<char16_t> ShareUnits(std::unique_ptr<std::string> buffer, size_t count) {
  char16_t* const units = UnitRoom(*buffer, count);
  units[count] = u'\0';
  std::string* const owner = buffer.release();
  return boost::shared_array<char16_t>(units, [owner](char16_t*) { delete owner; });
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

// Each encoding is decoded in the file's own buffer, which then holds the text: the file's
// bytes and its text are never held side by side.
void SettingsFileReader::ReadAll() {
  if (content_.empty()) return;
  auto buffer = std::make_unique<std::string>(std::move(content_));
  content_.clear();
  size_t units = 0;
  switch (DetectEncoding(*buffer)) {
    case Encoding::kAnsi:
      units = DecodeInPlace(*buffer, 0, DeliverAnsiStream(*buffer), 0,
                            [this](std::string_view bytes) { return platform_.DecodeAnsi(bytes); });
      break;
    case Encoding::kUtf8: {
      // A Unicode text stream converts UTF-8 itself and hands over UTF-16, its mark as U+FEFF.
      units = DecodeInPlace(*buffer, kUtf8Mark.size(), buffer->size(), 1,
                            [this](std::string_view bytes) { return platform_.DecodeUtf8(bytes); });
      char16_t* const text = UnitRoom(*buffer, units);
      text[0] = u'\uFEFF';
      units = CollapseCrLfInPlace(text, units);
      break;
    }
    case Encoding::kUtf16: {
      const size_t length = buffer->size();
      char16_t* const text = UnitRoom(*buffer, length / 2);
      units = CollapseCrLfInPlace(text, DecodeUtf16Le(std::string_view(buffer->data(), length), text));
      break;
    }
  }
  text_ = ShareUnits(std::move(buffer), units);
}

}  // namespace setup
