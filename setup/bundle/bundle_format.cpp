#include "setup/bundle/bundle_format.h"

namespace setup {
std::optional<BundleTrailer> DecodeBundleTrailer(std::string_view bytes) {
  if (bytes.size() != kBundleTrailerSize || !bytes.starts_with(kBundleMagic)) return std::nullopt;
  BundleTrailer trailer;
  trailer.payloadOffset = LittleEndianAt(bytes, 8, 8);
  trailer.payloadSize = LittleEndianAt(bytes, 16, 8);
  for (size_t i = 0; i < trailer.sha256.size(); ++i) trailer.sha256[i] = static_cast<uint8_t>(bytes[24 + i]);
  return trailer;
}

}  // namespace setup
