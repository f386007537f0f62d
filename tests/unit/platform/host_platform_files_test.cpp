// The host stand-ins for parts of a file, private folders and unpacking, which the bundle's unit
// tests and the checker run on.

#include "setup/platform/host/host_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace setup {
namespace {

namespace fs = std::filesystem;
using setup::testing::TempDir;

std::string Hex(const std::optional<Sha256Digest>& digest) {
  if (!digest) return "none";
  std::string hex;
  for (const uint8_t byte : *digest) {
    hex += "0123456789abcdef"[byte >> 4];
    hex += "0123456789abcdef"[byte & 15];
  }
  return hex;
}

class NamesFilter : public CabinetEntryFilter {
 public:
  explicit NamesFilter(Text refused = Text()) : refused_(std::move(refused)) {}
  bool Accept(TextView name, uint64_t) override {
    asked.emplace_back(name);
    return name != refused_;
  }
  std::vector<Text> asked;

 private:
  Text refused_;
};

TEST(HostPlatform, ReadFileRangeGivesFewerBytesWhereTheFileEnds) {
  HostPlatform platform;
  TempDir dir;
  const std::string bytes("0123456\0" "89", 10);
  const Text file = dir.Write("range.bin", bytes);
  EXPECT_EQ(platform.FileSize(file), 10u);
  EXPECT_EQ(platform.FileSize(dir.PathOf("missing.bin")), std::nullopt);
  EXPECT_EQ(platform.FileSize(dir.folder()), std::nullopt);
  const struct {
    uint64_t offset;
    size_t size;
    std::string bytes;
  } cases[] = {
      {0, 10, bytes}, {0, 4, "0123"}, {7, 100, bytes.substr(7)}, {10, 1, ""}, {uint64_t{1} << 40, 5, ""},
      {3, 0, ""},
      {2, SIZE_MAX, bytes.substr(2)},   // sized by the file, not by the request
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform.ReadFileRange(file, c.offset, c.size), c.bytes) << c.offset << "+" << c.size;
  }
  EXPECT_EQ(platform.ReadFileRange(dir.PathOf("missing.bin"), 0, 4), "");
}

TEST(HostPlatform, HashFileRangeHashesExactlyTheRange) {
  HostPlatform platform;
  TempDir dir;
  const Text small = dir.Write("small.bin", "xyzabctail");
  // Longer than a read chunk, and at an offset within the file.
  const Text large = dir.Write("large.bin", "prefix" + std::string(1000000, 'a') + "suffix");
  const struct {
    Text path;
    uint64_t offset;
    uint64_t size;
    const char* digest;
  } cases[] = {
      {small, 3, 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {small, 5, 0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {small, 3, 8, "none"},   // the file ends one byte early
      {large, 6, 1000000, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {dir.PathOf("missing.bin"), 0, 0, "none"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(platform.HashFileRange(c.path, c.offset, c.size)), c.digest) << c.offset << "+" << c.size;
  }
}

// Names ignore case as on Windows; files, links and other prefixes are not listed.
TEST(HostPlatform, PrivateFoldersAreNewAndListedByTheirPrefix) {
  HostPlatform platform;
  TempDir dir;
  platform.tempDirectory = dir.folder();
  const std::optional<Text> made = platform.CreatePrivateFolder(u"setup-bundle-");
  ASSERT_TRUE(made);
  EXPECT_NE(platform.CreatePrivateFolder(u"setup-bundle-"), made);
  EXPECT_EQ(made->find_first_not_of(u"0123456789abcdef", dir.path().size() + 13), made->size() - 1);
  EXPECT_EQ(made->size(), dir.path().size() + 13 + 32 + 1);
  dir.Write("SETUP-BUNDLE-2\\file.txt", "x");
  dir.Write("setup-other-3\\file.txt", "x");
  dir.Write("setup-bundle-file", "not a folder");
  std::error_code error;
  fs::create_directory_symlink(HostFsPath(dir.PathOf("setup-other-3")), HostFsPath(dir.PathOf("setup-bundle-link")), error);

  const std::vector<Text> listed = platform.TemporaryFolders(u"setup-bundle-");
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0], dir.PathOf("SETUP-BUNDLE-2\\"));
  EXPECT_EQ(platform.TemporaryFolders(u""), std::vector<Text>{});
}

// Read-only parts are removed too; a link is removed, and what it points to is kept.
TEST(HostPlatform, RemoveFolderRemovesTheTreeButNotWhatALinkInItPointsTo) {
  HostPlatform platform;
  TempDir dir;
  const Text locked = dir.Write("tree\\sub\\deeper\\locked.txt", "2");
  fs::permissions(HostFsPath(locked), fs::perms::owner_read);
  fs::permissions(HostFsPath(dir.PathOf("tree\\sub\\deeper")), fs::perms::owner_read | fs::perms::owner_exec);
  const Text outside = dir.Write("outside\\keep.txt", "not the program's");
  std::error_code error;
  fs::create_directory_symlink(HostFsPath(dir.PathOf("outside")), HostFsPath(dir.PathOf("tree\\link")), error);

  EXPECT_TRUE(platform.RemoveFolder(dir.PathOf("tree\\")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(HostFsPath(dir.PathOf("tree")))));
  EXPECT_TRUE(platform.FileExists(outside));
  EXPECT_TRUE(platform.RemoveFolder(dir.PathOf("never-made\\")));
}

TEST(HostPlatform, ExtractCabinetWritesWhatTheFilterAcceptsUpToTheFirstFailure) {
  const std::vector<CabinetEntry> entries = {
      {u"Setup.ini", "[Startup]\r\n"}, {u"sub\\product.msi", "package"}, {u"last.txt", "end"}};
  const struct {
    const char* why;
    Text refused;
    Text replaced;               // an entry's name given to an entry that leaves the folder
    const char* existing;        // a file already in the folder
    size_t written;              // entries written, from the first
  } cases[] = {
      {"all accepted", u"", u"", nullptr, 3},
      {"the second refused", u"sub\\product.msi", u"", nullptr, 1},
      {"the second leaves the folder", u"", u"..\\product.msi", nullptr, 1},
      {"the second exists", u"", u"", "sub\\product.msi", 1},
  };
  for (const auto& c : cases) {
    HostPlatform platform;
    const TempDir dir;
    const Text program = dir.PathOf("setup.exe");
    platform.cabinets[program] = entries;
    if (!c.replaced.empty()) platform.cabinets[program][1].name = c.replaced;
    if (c.existing != nullptr) dir.Write(std::string("target\\") + c.existing, "kept");
    NamesFilter filter(c.refused);
    EXPECT_EQ(platform.ExtractCabinet(program, 1024, 300, dir.PathOf("target\\"), filter), c.written == 3) << c.why;
    for (size_t i = 0; i < entries.size(); ++i) {
      const std::string expected = i < c.written ? entries[i].bytes : c.existing != nullptr && i == 1 ? "kept" : "";
      EXPECT_EQ(platform.ReadWholeFile(dir.PathOf("target\\") + entries[i].name).bytes.View(), expected) << c.why << " " << i;
    }
    EXPECT_FALSE(platform.FileExists(dir.PathOf("product.msi"))) << c.why;
    EXPECT_EQ(filter.asked.size(), std::min<size_t>(c.written + 1, 3)) << c.why;
    ASSERT_EQ(platform.extractions.size(), 1u);
    EXPECT_EQ(platform.extractions[0].offset, 1024u);
  }
  HostPlatform platform;
  NamesFilter filter;
  EXPECT_FALSE(platform.ExtractCabinet(u"no-cabinet.exe", 0, 3, u"target\\", filter));
}

}  // namespace
}  // namespace setup
