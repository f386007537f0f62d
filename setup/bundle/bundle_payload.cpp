#include "setup/bundle/bundle_payload.h"

#include <algorithm>
#include <array>

#include "setup/base/chars.h"

namespace setup {
namespace {

constexpr size_t kHeadersRead = 4096;       // DOS stub, PE headers and data directories
constexpr size_t kSecurityDirectory = 4;    // IMAGE_DIRECTORY_ENTRY_SECURITY
constexpr uint64_t kCabinetBlock = 32768;   // the most a cabinet's data block unpacks to

// The security directory's file offset and size; zeros where the headers name none.
std::pair<uint64_t, uint64_t> SecurityDirectory(std::string_view headers) {
  if (headers.size() < 0x40 || !headers.starts_with("MZ")) return {0, 0};
  const uint64_t pe = LittleEndianAt(headers, 0x3C, 4);
  const uint64_t optional = pe + 24;
  if (optional + 2 > headers.size() || headers.substr(pe, 4) != std::string_view("PE\0\0", 4)) return {0, 0};
  const uint64_t magic = LittleEndianAt(headers, optional, 2);
  if (magic != 0x10B && magic != 0x20B) return {0, 0};
  const uint64_t counted = optional + (magic == 0x10B ? 92 : 108);
  const uint64_t entry = optional + (magic == 0x10B ? 96 : 112) + 8 * kSecurityDirectory;
  if (entry + 8 > headers.size() || LittleEndianAt(headers, counted, 4) <= kSecurityDirectory) return {0, 0};
  return {LittleEndianAt(headers, entry, 4), LittleEndianAt(headers, entry + 4, 4)};
}

bool IsDeviceName(TextView component) {
  TextView base = component.substr(0, component.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  for (const TextView device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"}) {
    if (EqualsIgnoringAsciiCase(base, device)) return true;
  }
  return base.size() == 4 && (EqualsIgnoringAsciiCase(base.substr(0, 3), u"COM") ||
                              EqualsIgnoringAsciiCase(base.substr(0, 3), u"LPT")) &&
         base[3] >= u'1' && base[3] <= u'9';
}

bool IsSafeComponent(TextView component) {
  if (component.empty() || component == u"." || component == u".." || IsDeviceName(component)) return false;
  if (component.back() == u' ' || component.back() == u'.') return false;
  return std::ranges::all_of(component, [](char16_t c) { return c >= 0x20 && TextView(u"<>:\"|?*").find(c) == TextView::npos; });
}

}  // namespace

uint64_t TrailerEnd(std::string_view headers, uint64_t fileSize) {
  const auto [offset, size] = SecurityDirectory(headers);
  return offset != 0 && size != 0 && offset <= fileSize ? offset : fileSize;
}

PayloadLocation LocatePayload(Platform& platform, const Text& programPath) {
  const std::optional<uint64_t> fileSize = platform.FileSize(programPath);
  if (!fileSize) return {};
  const uint64_t end = TrailerEnd(platform.ReadFileRange(programPath, 0, kHeadersRead), *fileSize);
  // A signing tool that found the file unaligned may have padded it before its table.
  const uint64_t tailSize = std::min<uint64_t>(end, kBundleTrailerSize + kBundleAlignment - 1);
  const std::string tail = platform.ReadFileRange(programPath, end - tailSize, static_cast<size_t>(tailSize));
  for (size_t padding = 0; padding < kBundleAlignment && padding + kBundleTrailerSize <= tail.size(); ++padding) {
    const size_t at = tail.size() - padding - kBundleTrailerSize;
    if (tail.find_first_not_of('\0', at + kBundleTrailerSize) != std::string::npos) break;
    const std::optional<BundleTrailer> trailer = DecodeBundleTrailer(std::string_view(tail).substr(at, kBundleTrailerSize));
    if (!trailer) continue;
    const uint64_t trailerStart = end - padding - kBundleTrailerSize;
    const uint64_t payloadEnd = trailer->payloadOffset + trailer->payloadSize;
    const bool inside = trailer->payloadOffset > 0 && payloadEnd >= trailer->payloadOffset &&
                        payloadEnd <= trailerStart && trailerStart - payloadEnd < kBundleAlignment;
    if (!inside) return {PayloadStatus::kCorrupt, *trailer};
    const std::optional<Sha256Digest> digest =
        platform.HashFileRange(programPath, trailer->payloadOffset, trailer->payloadSize);
    return {digest == trailer->sha256 ? PayloadStatus::kFound : PayloadStatus::kCorrupt, *trailer};
  }
  return {};
}

std::optional<uint64_t> CabinetCapacity(std::string_view header) {
  constexpr uint64_t kPrevious = 0x1;
  constexpr uint64_t kNext = 0x2;
  constexpr uint64_t kReserve = 0x4;
  if (header.size() < 36 || !header.starts_with("MSCF")) return std::nullopt;
  const uint64_t folders = LittleEndianAt(header, 26, 2);
  const uint64_t flags = LittleEndianAt(header, 30, 2);
  // One cabinet carries the whole folder; a set spanning several is nothing this program made.
  if ((flags & (kPrevious | kNext)) != 0) return std::nullopt;
  uint64_t at = 36;
  uint64_t folderReserve = 0;
  if ((flags & kReserve) != 0) {
    if (header.size() < 40) return std::nullopt;
    folderReserve = LittleEndianAt(header, 38, 1);
    at = 40 + LittleEndianAt(header, 36, 2);
  }
  uint64_t capacity = 0;
  for (uint64_t i = 0; i < folders; ++i, at += 8 + folderReserve) {
    if (at + 8 > header.size()) return std::nullopt;
    capacity += LittleEndianAt(header, at + 4, 2) * kCabinetBlock;
  }
  return capacity;
}

bool IsSafeEntryName(TextView name) {
  if (name.empty()) return false;
  for (size_t start = 0; start <= name.size();) {
    const size_t end = std::min(name.find_first_of(u"\\/", start), name.size());
    if (!IsSafeComponent(name.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

bool PayloadEntryFilter::Accept(TextView name, uint64_t size) {
  if (!IsSafeEntryName(name) || size > remaining_) return false;
  remaining_ -= size;
  return true;
}

}  // namespace setup
