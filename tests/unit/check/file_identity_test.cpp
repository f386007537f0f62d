#include "tools/setup-check/identity/file_identity.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "tests/unit/check/check_folder.h"

namespace setup::check {
namespace {

void Put32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

struct Entry {
  std::u16string name;
  uint8_t type;  // 1 storage, 2 stream, 5 root
  uint32_t left = ~0U, right = ~0U, child = ~0U;
};

// A compound file of 512-byte sectors: the FAT in sector 0, the directory in sector 1, whose
// chain the FAT continues at directoryNext.
std::string CompoundFile(const std::vector<Entry>& entries, uint32_t directoryNext = 0xFFFFFFFE) {
  std::string bytes(512 * 3, '\0');
  Put32(bytes, 0, 0xE011CFD0);
  Put32(bytes, 4, 0xE11AB1A1);
  bytes[0x1E] = 9;
  Put32(bytes, 0x2C, 1);     // one FAT sector...
  Put32(bytes, 0x30, 1);     // ...the directory's first sector
  Put32(bytes, 0x44, ~1U);   // no DIFAT sectors
  Put32(bytes, 0x4C, 0);     // the FAT's sector
  for (size_t i = 1; i < 109; ++i) Put32(bytes, 0x4C + 4 * i, ~0U);
  Put32(bytes, 512, 0xFFFFFFFD);  // sector 0 belongs to the FAT
  Put32(bytes, 516, directoryNext);
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = 1024 + 128 * i;
    for (size_t c = 0; c < entries[i].name.size(); ++c) bytes[at + 2 * c] = static_cast<char>(entries[i].name[c]);
    bytes[at + 0x40] = static_cast<char>(2 * (entries[i].name.size() + 1));
    bytes[at + 0x42] = static_cast<char>(entries[i].type);
    Put32(bytes, at + 0x44, entries[i].left);
    Put32(bytes, at + 0x48, entries[i].right);
    Put32(bytes, at + 0x4C, entries[i].child);
  }
  return bytes;
}

const std::u16string kSignature = u"\x05" u"DigitalSignature";

// Only a stream at the root is the package's signature; a file that loops back on itself, in its
// sector chain or its tree, is still read to an end.
TEST(PackageSignature, IsTheRootsStreamOnly) {
  const struct {
    const char* what;
    std::string file;
    bool holds;
  } cases[] = {
      {"among the root's streams",
       CompoundFile({{u"Root Entry", 5, ~0U, ~0U, 1}, {u"ledgr.cab", 2, ~0U, 2}, {kSignature, 2}}), true},
      {"in a storage below the root",
       CompoundFile({{u"Root Entry", 5, ~0U, ~0U, 1}, {u"Second.mst", 1, ~0U, ~0U, 2}, {kSignature, 2}}), false},
      {"a storage of that name", CompoundFile({{u"Root Entry", 5, ~0U, ~0U, 1}, {kSignature, 1}}), false},
      {"a tree that loops", CompoundFile({{u"Root Entry", 5, ~0U, ~0U, 1}, {u"ledgr.cab", 2, 1, 1}}), false},
      {"a directory chain that loops", CompoundFile({{u"Root Entry", 5, ~0U, ~0U, 1}, {kSignature, 2}}, 1), true},
      {"no compound file", std::string(2048, 'x'), false},
      {"a header alone", CompoundFile({}).substr(0, 512), false},
  };
  for (const auto& c : cases) {
    std::istringstream file(c.file);
    EXPECT_EQ(HoldsPackageSignature(file), c.holds) << c.what;
  }
}

// The machine names the Windows a program starts on, if its optional header is of the machine's
// width; a file that is no program, or ends inside its header, has no architecture.
TEST(ProgramIdentity, ArchitectureIsTheHeadersMachine) {
  const std::string x64 = testing::ProgramHeader(0x8664, 0x20B);
  std::string notPe = x64;
  notPe[0x41] = 'X';
  const struct {
    const char* what;
    std::string file;
    std::optional<std::u16string> architecture;
  } cases[] = {
      {"PE32 i386", testing::ProgramHeader(0x14C, 0x10B), u"x86"},
      {"PE32+ AMD64", x64, u"x64"},
      {"PE32+ ARM64", testing::ProgramHeader(0xAA64, 0x20B), u"arm64"},
      {"PE32 ARMNT", testing::ProgramHeader(0x1C4, 0x10B), u"unknown (machine 0x01c4)"},
      {"AMD64 with a PE32 header", testing::ProgramHeader(0x8664, 0x10B),
       u"unknown (machine 0x8664, optional header 0x010b)"},
      {"i386 with a PE32+ header", testing::ProgramHeader(0x14C, 0x20B),
       u"unknown (machine 0x014c, optional header 0x020b)"},
      {"no PE signature", notPe, std::nullopt},
      {"no program at all", std::string(2048, 'x'), std::nullopt},
      {"ends before the magic", x64.substr(0, x64.size() - 1), std::nullopt},
      {"ends inside the machine", x64.substr(0, 0x45), std::nullopt},
  };
  for (const auto& c : cases) {
    std::istringstream file(c.file);
    EXPECT_EQ(ArchitectureOf(file), c.architecture) << c.what;
  }
}

TEST(ProgramIdentity, CutShortOrMisplacedPartsReadAsNone) {
  std::string pointsPastTheEnd(64, '\0');
  pointsPastTheEnd.replace(0, 2, "MZ");
  Put32(pointsPastTheEnd, 0x3C, 0xFFFFFFF0);
  for (const std::string& bytes : {std::string(), std::string("MZ"), pointsPastTheEnd}) {
    std::istringstream file(bytes);
    EXPECT_FALSE(VersionResourceOf(file));
    EXPECT_FALSE(HoldsProgramSignature(file));
  }
}

}  // namespace
}  // namespace setup::check
