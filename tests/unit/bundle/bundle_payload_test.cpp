#include "setup/bundle/bundle_payload.h"

#include <gtest/gtest.h>

#include <functional>

#include "setup/platform/host/host_platform.h"
#include "tests/support/temp_dir.h"

namespace setup::testing {
namespace {

void Put(std::string& bytes, size_t at, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Headers of a program whose security directory names a certificate table at offset; magic
// 0x10B is PE32, 0x20B PE32+.
std::string ProgramHeaders(uint16_t magic, uint32_t offset, uint32_t size) {
  std::string bytes(0x200, '\0');
  bytes.replace(0, 2, "MZ");
  Put(bytes, 0x3C, 0x80, 4);
  bytes.replace(0x80, 4, std::string("PE\0\0", 4));
  const size_t optional = 0x80 + 24;
  Put(bytes, optional, magic, 2);
  Put(bytes, optional + (magic == 0x10B ? 92 : 108), 16, 4);
  const size_t security = optional + (magic == 0x10B ? 96 : 112) + 4 * 8;
  Put(bytes, security, offset, 4);
  Put(bytes, security + 4, size, 4);
  return bytes;
}

TEST(TrailerEnd, IsTheCertificateTableWhereTheHeadersNameOne) {
  const struct {
    const char* name;
    std::string headers;
    uint64_t expected;
  } cases[] = {
      {"PE32 signed", ProgramHeaders(0x10B, 5000, 900), 5000},
      {"PE32+ signed", ProgramHeaders(0x20B, 6000, 900), 6000},
      {"unsigned", ProgramHeaders(0x10B, 0, 0), 9000},
      {"table past the end", ProgramHeaders(0x10B, 9999, 10), 9000},
      {"no program", std::string(0x200, 'x'), 9000},
  };
  for (const auto& c : cases) EXPECT_EQ(TrailerEnd(c.headers, 9000), c.expected) << c.name;
}

TEST(IsSafeEntryName, TakesPlainRelativeNamesOnly) {
  const struct {
    std::u16string_view name;
    bool safe;
  } cases[] = {
      {u"Setup.ini", true},       {u"sub\\ledgr.msi", true},  {u"sub/1049.mst", true},
      {u"..\\evil.dll", false},   {u"sub\\..\\..\\x", false}, {u"\\Windows\\x", false},
      {u"/etc/x", false},         {u"C:x", false},            {u"C:\\x", false},
      {u"Setup.ini:zone", false}, {u"CON", false},            {u"nul.txt", false},
      {u"sub\\Com1", false},      {u"LPT9.ini", false},       {u"COM10", true},
      {u"x.", false},             {u"x ", false},             {u"a\\\\b", false},
      {u"a?b", false},            {u"", false},               {u"sub\\", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << ToUtf8(c.name);
}

TEST(PayloadEntryFilter, RefusesWhatTakesTheTotalPastTheCabinet) {
  PayloadEntryFilter filter(100);
  EXPECT_TRUE(filter.Accept(u"a", 60));
  EXPECT_FALSE(filter.Accept(u"b", 41));
  EXPECT_TRUE(filter.Accept(u"b", 40));
  EXPECT_FALSE(filter.Accept(u"..\\c", 0));
}

// A cabinet header with folders of these data block counts, and the flags given.
std::string CabinetHeader(std::initializer_list<uint16_t> blocks, uint16_t flags = 0, uint8_t folderReserve = 0) {
  std::string bytes(36, '\0');
  bytes.replace(0, 4, "MSCF");
  Put(bytes, 26, blocks.size(), 2);
  Put(bytes, 30, flags, 2);
  if ((flags & 4) != 0) {
    bytes += std::string(4, '\0');
    Put(bytes, 36, 3, 2);  // three bytes of header reserve
    bytes[38] = static_cast<char>(folderReserve);
    bytes += "rsv";
  }
  for (const uint16_t count : blocks) {
    std::string folder(8 + folderReserve, '\0');
    Put(folder, 4, count, 2);
    bytes += folder;
  }
  return bytes;
}

TEST(CabinetCapacity, CountsEachDataBlockOfEveryFolder) {
  EXPECT_EQ(CabinetCapacity(CabinetHeader({3})), 3u * 32768);
  EXPECT_EQ(CabinetCapacity(CabinetHeader({1, 2}, 4, 2)), 3u * 32768);
  EXPECT_EQ(CabinetCapacity(CabinetHeader({1}, 2)), std::nullopt) << "a set of cabinets";
  EXPECT_EQ(CabinetCapacity("MSCF"), std::nullopt);
  EXPECT_EQ(CabinetCapacity(CabinetHeader({1}).replace(0, 4, "MSCX")), std::nullopt);
}

// A program file of a header and a payload with its trailer, then what a test does to it.
struct BundleFile {
  TempDir dir;
  HostPlatform platform;
  std::string program = ProgramHeaders(0x10B, 0, 0);
  std::string payload = CabinetHeader({1}) + "files";

  Text Write(const std::function<void(std::string&, BundleTrailer&)>& change) {
    const Text path = dir.Write("setup.exe", program + payload);
    BundleTrailer trailer{program.size(), payload.size(), *platform.HashFileRange(path, program.size(), payload.size())};
    std::string bytes = program + payload + std::string((8 - (program + payload).size() % 8) % 8, '\0');
    change(bytes, trailer);
    return dir.Write("setup.exe", bytes + EncodeBundleTrailer(trailer));
  }
};

TEST(LocatePayload, FindsAPayloadOnlyWhereItsTrailerAndHashAgree) {
  const struct {
    const char* name;
    std::function<void(std::string&, BundleTrailer&)> change;
    PayloadStatus expected;
  } cases[] = {
      {"as made", [](std::string&, BundleTrailer&) {}, PayloadStatus::kFound},
      {"a payload byte changed", [](std::string& b, BundleTrailer&) { b[0x205] ^= 1; }, PayloadStatus::kCorrupt},
      {"past the file", [](std::string&, BundleTrailer& t) { t.payloadSize = 1u << 30; }, PayloadStatus::kCorrupt},
      {"offset wraps", [](std::string&, BundleTrailer& t) { t.payloadOffset = ~uint64_t{0}; }, PayloadStatus::kCorrupt},
      {"gap before the trailer", [](std::string& b, BundleTrailer&) { b += std::string(8, '\0'); },
       PayloadStatus::kCorrupt},
  };
  for (const auto& c : cases) {
    BundleFile file;
    EXPECT_EQ(LocatePayload(file.platform, file.Write(c.change)).status, c.expected) << c.name;
  }
  BundleFile plain;
  EXPECT_EQ(LocatePayload(plain.platform, plain.dir.Write("setup.exe", plain.program)).status, PayloadStatus::kNone);
}

// A signature's table follows the trailer; the security directory says where it starts.
TEST(LocatePayload, FindsThePayloadOfASignedBundle) {
  BundleFile file;
  const Text path = file.Write([](std::string&, BundleTrailer&) {});
  const std::string unsignedBytes = file.platform.ReadFileRange(path, 0, 1 << 20);
  const std::string headers = ProgramHeaders(0x10B, static_cast<uint32_t>(unsignedBytes.size()), 16);
  const std::string signedBytes = headers + unsignedBytes.substr(headers.size()) + std::string(16, 's');
  EXPECT_EQ(LocatePayload(file.platform, file.dir.Write("setup.exe", signedBytes)).status, PayloadStatus::kFound);
}

}  // namespace
}  // namespace setup::testing
