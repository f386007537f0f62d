#include "setup/bundle/bundle_format.h"

namespace setup {
namespace {

uint64_t GetLittleEndian(std::string_view bytes) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[static_cast<size_t>(i)]);
  return value;
}

}  // namespace

std::optional<BundleTrailer> DecodeBundleTrailer(std::string_view bytes) {
  if (bytes.size() != kBundleTrailerSize || !bytes.starts_with(kBundleMagic)) return std::nullopt;
  BundleTrailer trailer;
  trailer.payloadOffset = GetLittleEndian(bytes.substr(8, 8));
  trailer.payloadSize = GetLittleEndian(bytes.substr(16, 8));
  for (size_t i = 0; i < trailer.sha256.size(); ++i) trailer.sha256[i] = static_cast<uint8_t>(bytes[24 + i]);
  return trailer;
}

}  // namespace setup
