#pragma once
// A bundle is setup.exe with its distribution folder carried inside: the program's own bytes, then
// the folder's files as one cabinet, zero bytes up to a multiple of 8, and a trailer that locates
// the cabinet and holds its SHA-256. A signature added afterwards puts its certificate table after
// the trailer, so the trailer ends where the security directory's table begins, or at the end of
// the file when there is none. The 8-byte alignment leaves a signing tool nothing to pad.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "setup/platform/platform.h"

namespace setup {

inline constexpr std::string_view kBundleMagic = "SETUPCB1";  // the format's name and version
inline constexpr size_t kBundleTrailerSize = 56;               // magic, offset, size, SHA-256
inline constexpr uint64_t kBundleAlignment = 8;

struct BundleTrailer {
  uint64_t payloadOffset = 0;  // of the cabinet, from the start of the file
  uint64_t payloadSize = 0;
  Sha256Digest sha256{};       // of the cabinet's bytes
};

// The trailer's 56 bytes: the magic, then offset and size as little-endian 64-bit numbers, then
// the digest. Only the tool that makes bundles writes one.
inline std::string EncodeBundleTrailer(const BundleTrailer& trailer) {
  std::string bytes(kBundleMagic);
  for (const uint64_t value : {trailer.payloadOffset, trailer.payloadSize}) {
    for (int i = 0; i < 8; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  bytes.append(trailer.sha256.begin(), trailer.sha256.end());
  return bytes;
}
// The little-endian number of width bytes at at.
inline uint64_t LittleEndianAt(std::string_view bytes, size_t at, size_t width) {
  uint64_t value = 0;
  for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// nullopt unless bytes are 56 and begin with the magic.
std::optional<BundleTrailer> DecodeBundleTrailer(std::string_view bytes);

}  // namespace setup
