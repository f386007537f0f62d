#pragma once
// SHA-256 for the host stand-in of the platform, which has no CryptoAPI to ask. setup.exe never
// links it: the shipped program hashes through the system's provider.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "setup/bundle/bundle_format.h"

namespace setup {

class Sha256 {
 public:
  Sha256();
  void Update(std::string_view bytes);
  Sha256Digest Finish();  // once; the object is spent afterwards

 private:
  void Compress(const uint8_t* block);

  uint32_t state_[8];
  uint8_t block_[64];
  size_t used_ = 0;        // bytes waiting in block_
  uint64_t length_ = 0;    // bytes hashed in all
};

}  // namespace setup
