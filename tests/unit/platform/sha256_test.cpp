#include "setup/platform/host/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

std::string Hex(const Sha256Digest& digest) {
  std::string hex;
  for (const uint8_t byte : digest) {
    hex += "0123456789abcdef"[byte >> 4];
    hex += "0123456789abcdef"[byte & 15];
  }
  return hex;
}

// The FIPS 180 examples, and the lengths around the 56 bytes past which the length no longer
// fits into the last block and padding takes one more.
const struct {
  std::string message;
  const char* digest;
} kVectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
    {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
    {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, KnownDigests) {
  for (const auto& v : kVectors) {
    Sha256 hash;
    hash.Update(v.message);
    EXPECT_EQ(Hex(hash.Finish()), v.digest) << v.message.size() << " bytes";
  }
}

// Chunks that end inside a block, on its end and past it give the digest of the whole.
TEST(Sha256, DigestDoesNotDependOnHowTheBytesArriveInChunks) {
  for (const auto& v : kVectors) {
    for (const size_t chunk : {1u, 63u, 64u, 65u, 4096u}) {
      Sha256 hash;
      for (size_t at = 0; at < v.message.size(); at += chunk) hash.Update(std::string_view(v.message).substr(at, chunk));
      EXPECT_EQ(Hex(hash.Finish()), v.digest) << v.message.size() << " bytes in chunks of " << chunk;
    }
  }
}

}  // namespace
}  // namespace setup
