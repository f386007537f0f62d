#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "setup/platform/platform.h"

namespace setup {
namespace {

// A stream is read to its end whatever size was expected of it: a file that grew after its
// size was taken (or whose size was not known) is read on, one that shrank ends early. The
// storage handed over still holds the bytes and room for the NUL unit (ASan sees a short one).
TEST(FileBytes, ReadsTheStreamToItsEndWhateverSizeWasExpected) {
  std::string bytes(70000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  for (const size_t expected : {0u, 1u, 4095u, 69999u, 70000u, 140000u}) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    FileBytes read = FileBytes::ReadToEnd(file.get(), expected);
    EXPECT_EQ(read.View(), bytes) << expected;
    const std::unique_ptr<char16_t[]> units = read.ReleaseUnits();
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(units.get()), bytes.size()), bytes) << expected;
    units[bytes.size()] = u'\0';
    EXPECT_TRUE(read.Empty());
  }
}

}  // namespace
}  // namespace setup
