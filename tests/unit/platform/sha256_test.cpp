#include "setup/platform/host/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

// The FIPS 180 examples, and the lengths around 56 bytes, past which the length no longer fits
// into the last block; each fed whole and in chunks that end inside a block, on its end and past it.
TEST(Sha256, KnownDigestsHoweverTheBytesArrive) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    for (const size_t chunk : {std::string::npos, size_t{1}, size_t{63}, size_t{64}, size_t{65}}) {
      Sha256 hash;
      for (size_t at = 0; at < c.message.size(); at += chunk) hash.Update(std::string_view(c.message).substr(at, chunk));
      std::string hex;
      for (const uint8_t byte : hash.Finish()) {
        hex += "0123456789abcdef"[byte >> 4];
        hex += "0123456789abcdef"[byte & 15];
      }
      EXPECT_EQ(hex, c.digest) << c.message.size() << " bytes in chunks of " << chunk;
    }
  }
}

}  // namespace
}  // namespace setup
