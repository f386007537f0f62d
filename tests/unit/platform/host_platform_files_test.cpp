// The host stand-ins for reading parts of a file, private folders and unpacking, which the
// bundle's unit tests and the checker run on.

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

bool IsFolder(const Text& path) { return fs::is_directory(HostFsPath(path)); }

class NamesFilter : public CabinetEntryFilter {
 public:
  explicit NamesFilter(Text refused = Text()) : refused_(std::move(refused)) {}
  bool Accept(TextView name, uint64_t size) override {
    asked.emplace_back(Text(name), size);
    return name != refused_;
  }
  std::vector<std::pair<Text, uint64_t>> asked;

 private:
  Text refused_;
};

TEST(HostPlatform, FileSizeOfFilesOnly) {
  HostPlatform platform;
  TempDir dir;
  const struct {
    Text path;
    std::optional<uint64_t> size;
  } cases[] = {
      {dir.Write("five.bin", "12345"), 5},
      {dir.Write("empty.bin", ""), 0},
      {dir.PathOf("missing.bin"), std::nullopt},
      {dir.folder(), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(platform.FileSize(c.path), c.size) << ToUtf8(c.path);
}

TEST(HostPlatform, ReadFileRangeGivesFewerBytesWhereTheFileEnds) {
  HostPlatform platform;
  TempDir dir;
  const Text file = dir.Write("range.bin", std::string("0123456\0" "89", 10));
  const struct {
    uint64_t offset;
    size_t size;
    std::string bytes;
  } cases[] = {
      {0, 10, std::string("0123456\0" "89", 10)},
      {0, 4, "0123"},
      {7, 100, std::string("\0" "89", 3)},
      {9, 1, "9"},
      {10, 1, ""},
      {11, 5, ""},
      {uint64_t{1} << 40, 5, ""},
      {3, 0, ""},
      {2, SIZE_MAX, std::string("23456\0" "89", 8)},   // sized by the file, not by the request
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform.ReadFileRange(file, c.offset, c.size), c.bytes) << c.offset << "+" << c.size;
  }
  EXPECT_EQ(platform.ReadFileRange(dir.PathOf("missing.bin"), 0, 4), "");
  EXPECT_EQ(platform.ReadFileRange(dir.folder(), 0, 4), "");
}

TEST(HostPlatform, HashFileRangeHashesExactlyTheRange) {
  HostPlatform platform;
  TempDir dir;
  const Text small = dir.Write("small.bin", "xyzabctail");
  // Longer than a read chunk, and starting at an odd offset within the file.
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
      {small, 11, 1, "none"},
      {large, 6, 1000000, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {dir.PathOf("missing.bin"), 0, 0, "none"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(platform.HashFileRange(c.path, c.offset, c.size)), c.digest)
        << ToUtf8(c.path) << " " << c.offset << "+" << c.size;
  }
}

TEST(HostPlatform, CreatePrivateFolderMakesANewFolderEachTime) {
  HostPlatform platform;
  TempDir dir;
  platform.tempDirectory = dir.folder();
  const Text prefix = u"setup-bundle-";
  const std::optional<Text> first = platform.CreatePrivateFolder(prefix);
  const std::optional<Text> second = platform.CreatePrivateFolder(prefix);
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  for (const Text& folder : {*first, *second}) {
    ASSERT_EQ(folder.size(), dir.path().size() + prefix.size() + 33) << ToUtf8(folder);
    EXPECT_EQ(folder.substr(0, dir.path().size() + prefix.size()), dir.path() + prefix);
    EXPECT_EQ(folder.find_first_not_of(u"0123456789abcdef", dir.path().size() + prefix.size()),
              folder.size() - 1)
        << ToUtf8(folder);
    EXPECT_EQ(folder.back(), u'\\');
    EXPECT_TRUE(IsFolder(folder)) << ToUtf8(folder);
  }
}

TEST(HostPlatform, TemporaryFoldersAreTheFoldersWhoseNamesBeginWithThePrefix) {
  HostPlatform platform;
  TempDir dir;
  platform.tempDirectory = dir.path();
  dir.Write("setup-bundle-1\\file.txt", "x");
  dir.Write("SETUP-BUNDLE-2\\file.txt", "x");      // Windows names ignore case
  dir.Write("setup-other-3\\file.txt", "x");
  dir.Write("a-setup-bundle-4\\file.txt", "x");
  dir.Write("setup-bundle-file", "not a folder");
  EXPECT_EQ(platform.TemporaryFolders(u"setup-bundle-"),
            (std::vector<Text>{dir.PathOf("SETUP-BUNDLE-2\\"), dir.PathOf("setup-bundle-1\\")}));
  EXPECT_EQ(platform.TemporaryFolders(u"nothing-"), std::vector<Text>{});
  EXPECT_EQ(platform.TemporaryFolders(u""), std::vector<Text>{});
}

// Everything under a link to a folder belongs to the folder linked to.
TEST(HostPlatform, TemporaryFoldersLeavesOutLinks) {
  HostPlatform platform;
  TempDir dir;
  platform.tempDirectory = dir.path();
  dir.Write("elsewhere\\file.txt", "x");
  std::error_code error;
  fs::create_directory_symlink(HostFsPath(dir.PathOf("elsewhere")), HostFsPath(dir.PathOf("setup-bundle-link")), error);
  if (error) GTEST_SKIP() << "no folder links here: " << error.message();
  EXPECT_EQ(platform.TemporaryFolders(u"setup-bundle-"), std::vector<Text>{});
}

TEST(HostPlatform, RemoveFolderRemovesTheTreeReadOnlyPartsToo) {
  HostPlatform platform;
  TempDir dir;
  const Text tree = dir.PathOf("tree\\");
  dir.Write("tree\\top.txt", "1");
  const Text locked = dir.Write("tree\\sub\\deeper\\locked.txt", "2");
  dir.Write("tree\\sub\\other.bin", "3");
  fs::permissions(HostFsPath(locked), fs::perms::owner_read);
  fs::permissions(HostFsPath(dir.PathOf("tree\\sub\\deeper")), fs::perms::owner_read | fs::perms::owner_exec);
  const Text kept = dir.Write("kept.txt", "beside the tree");

  EXPECT_TRUE(platform.RemoveFolder(tree));
  EXPECT_FALSE(fs::exists(HostFsPath(dir.PathOf("tree"))));
  EXPECT_TRUE(fs::exists(HostFsPath(kept)));
  EXPECT_TRUE(platform.RemoveFolder(dir.PathOf("never-made\\")));  // nothing is left of it
}

TEST(HostPlatform, RemoveFolderRemovesALinkButNotWhatItPointsTo) {
  HostPlatform platform;
  TempDir dir;
  const Text outside = dir.Write("outside\\keep.txt", "not the program's");
  dir.Write("tree\\file.txt", "1");
  std::error_code error;
  fs::create_directory_symlink(HostFsPath(dir.PathOf("outside")), HostFsPath(dir.PathOf("tree\\link")), error);
  if (error) GTEST_SKIP() << "no folder links here: " << error.message();

  EXPECT_TRUE(platform.RemoveFolder(dir.PathOf("tree\\")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(HostFsPath(dir.PathOf("tree")))));
  EXPECT_TRUE(fs::exists(HostFsPath(outside)));
}

TEST(HostPlatform, ExtractCabinetWritesTheEntriesTheFilterAccepts) {
  TempDir dir;
  const Text program = dir.PathOf("setup.exe");
  const std::vector<CabinetEntry> entries = {
      {u"Setup.ini", "[Startup]\r\n"}, {u"sub\\product.msi", "package"}, {u"last.txt", "end"}};
  const struct {
    Text refused;
    bool extracted;
    std::vector<std::string> written;   // files made, in the entries' order
  } cases[] = {
      {u"", true, {"Setup.ini", "sub\\product.msi", "last.txt"}},
      {u"sub\\product.msi", false, {"Setup.ini"}},   // the first refusal ends it
  };
  for (const auto& c : cases) {
    HostPlatform platform;
    platform.cabinets[program] = entries;
    const TempDir target;
    NamesFilter filter(c.refused);
    EXPECT_EQ(platform.ExtractCabinet(program, 1024, 300, target.path(), filter), c.extracted);
    for (const CabinetEntry& entry : entries) {
      const bool wanted = std::ranges::find(c.written, ToUtf8(entry.name)) != c.written.end();
      EXPECT_EQ(platform.ReadWholeFile(target.path() + entry.name).bytes.View(), wanted ? entry.bytes : "")
          << ToUtf8(entry.name);
    }
    ASSERT_EQ(filter.asked.size(), c.written.size() + (c.extracted ? 0 : 1));
    EXPECT_EQ(filter.asked[1], (std::pair<Text, uint64_t>{u"sub\\product.msi", 7}));
    ASSERT_EQ(platform.extractions.size(), 1u);
    EXPECT_EQ(platform.extractions[0].offset, 1024u);
    EXPECT_EQ(platform.extractions[0].size, 300u);
  }
}

TEST(HostPlatform, ExtractCabinetWritesNothingOutsideTheFolderWhateverTheFilterAccepts) {
  HostPlatform platform;
  TempDir dir;
  const Text program = dir.PathOf("setup.exe");
  platform.cabinets[program] = {{u"..\\escape.txt", "outside"}};
  NamesFilter acceptAll;
  EXPECT_FALSE(platform.ExtractCabinet(program, 0, 7, dir.PathOf("target\\"), acceptAll));
  EXPECT_FALSE(platform.FileExists(dir.PathOf("escape.txt")));
}

TEST(HostPlatform, ExtractCabinetNeverWritesOverAFile) {
  HostPlatform platform;
  TempDir dir;
  const Text program = dir.PathOf("setup.exe");
  platform.cabinets[program] = {{u"Setup.ini", "new"}};
  const Text existing = dir.Write("target\\Setup.ini", "old");
  NamesFilter filter;
  EXPECT_FALSE(platform.ExtractCabinet(program, 0, 3, dir.PathOf("target\\"), filter));
  EXPECT_EQ(platform.ReadWholeFile(existing).bytes.View(), "old");
  EXPECT_FALSE(platform.ExtractCabinet(dir.PathOf("other.exe"), 0, 3, dir.PathOf("target\\"), filter));
}

}  // namespace
}  // namespace setup
