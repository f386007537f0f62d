// What running a bundle asks of the Win32 platform: parts of a file, a folder of its own, and a
// cabinet read in place from inside a larger file by Wine's own cabinet.dll.

#include "setup/platform/win32/win32_platform.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"

namespace setup {
namespace {

using setup::testing::TempDir;

const wchar_t* Native(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};

std::string Hex(const std::optional<Sha256Digest>& digest) {
  if (!digest) return "none";
  std::string hex;
  for (const uint8_t byte : *digest) {
    hex += "0123456789abcdef"[byte >> 4];
    hex += "0123456789abcdef"[byte & 15];
  }
  return hex;
}

// The folder make_cabinet.py filled: ctest hands over its Unix path, which Wine's Z: drive reaches.
Text CabinetFolder() {
  wchar_t buffer[4096];
  const DWORD length = GetEnvironmentVariableW(L"SETUP_INTEGRATION_CABINET", buffer, 4096);
  if (length == 0 || length >= 4096) return Text();
  Text folder(reinterpret_cast<const char16_t*>(buffer), length);
  std::ranges::replace(folder, u'/', u'\\');
  if (folder.front() == u'\\') folder = u"Z:" + folder;
  if (folder.back() != u'\\') folder += u'\\';
  return folder;
}

struct Carrier {
  Text path;
  Text files;        // the files as they went into the cabinet
  uint64_t offset = 0;
  uint64_t size = 0;
  std::string sha256;
};

std::optional<Carrier> BuiltCarrier(Win32Platform& platform) {
  const Text folder = CabinetFolder();
  if (folder.empty()) return std::nullopt;
  const FileContent layout = platform.ReadWholeFile(folder + u"carrier.layout");
  if (!layout.opened) return std::nullopt;
  Carrier carrier{folder + u"carrier.bin", folder + u"files\\", 0, 0, {}};
  std::istringstream(std::string(layout.bytes.View())) >> carrier.offset >> carrier.size >> carrier.sha256;
  return carrier;
}

// The cabinet's entries, in its order (make_cabinet.py).
const char16_t* const kEntries[] = {u"Setup.ini", u"sub\\deeper\\data.bin", u"sub\\empty.txt",
                                    u"donn\u00e9es.txt", u"text\\big.txt"};

class RecordingFilter : public CabinetEntryFilter {
 public:
  explicit RecordingFilter(Text refused = Text()) : refused_(std::move(refused)) {}
  bool Accept(TextView name, uint64_t size) override {
    asked.emplace_back(Text(name), size);
    return name != refused_;
  }
  std::vector<std::pair<Text, uint64_t>> asked;

 private:
  Text refused_;
};

std::string Sddl(const Text& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(Native(path), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return "unreadable";
  }
  const std::unique_ptr<void, LocalFreer> owned(descriptor);
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                            DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return "unconvertible";
  }
  const std::unique_ptr<void, LocalFreer> ownedText(text);
  return ToUtf8(Text(reinterpret_cast<const char16_t*>(text)));
}

std::string UserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  alignas(8) unsigned char buffer[256];
  DWORD size = 0;
  const bool got = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  CloseHandle(token);
  wchar_t* text = nullptr;
  if (!got || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return "";
  const std::unique_ptr<void, LocalFreer> owned(text);
  return ToUtf8(Text(reinterpret_cast<const char16_t*>(text)));
}

// The trustees of a DACL in SDDL, each with its flags and rights ("OICI;FA;;;SY").
std::vector<std::string> AcesOf(const std::string& sddl) {
  std::vector<std::string> aces;
  for (size_t open = sddl.find("(A;"); open != std::string::npos; open = sddl.find("(A;", open + 1)) {
    aces.push_back(sddl.substr(open + 3, sddl.find(')', open) - open - 3));
  }
  return aces;
}

// Wine keeps no security descriptor for a file: it answers from the Unix mode bits, so that only
// who may reach the folder can be read back, not the entries exactly as they were set.
bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

Text TemporaryPath() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  return Text(reinterpret_cast<const char16_t*>(buffer), length);
}

bool IsFolder(const Text& path) {
  const DWORD attributes = GetFileAttributesW(Native(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Win32BundleFiles, ReadFileRangeGivesFewerBytesWhereTheFileEnds) {
  Win32Platform platform;
  TempDir dir;
  const std::string bytes = std::string("0123456\0" "89", 10);
  const Text file = dir.Write("range.bin", bytes);
  EXPECT_EQ(platform.FileSize(file), 10u);
  EXPECT_EQ(platform.FileSize(dir.Write("empty.bin", "")), 0u);
  EXPECT_EQ(platform.FileSize(dir.PathOf("missing.bin")), std::nullopt);
  EXPECT_EQ(platform.FileSize(dir.folder()), std::nullopt);
  const struct {
    uint64_t offset;
    size_t size;
    std::string bytes;
  } cases[] = {
      {0, 10, bytes},
      {0, 4, "0123"},
      {7, 100, std::string("\0" "89", 3)},
      {10, 1, ""},
      {uint64_t{1} << 40, 5, ""},
      {3, 0, ""},
      {2, SIZE_MAX, bytes.substr(2)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform.ReadFileRange(file, c.offset, c.size), c.bytes) << c.offset << "+" << c.size;
  }
  EXPECT_EQ(platform.ReadFileRange(dir.PathOf("missing.bin"), 0, 4), "");
}

TEST(Win32BundleFiles, HashFileRangeHashesExactlyTheRange) {
  Win32Platform platform;
  TempDir dir;
  const Text small = dir.Write("small.bin", "xyzabctail");
  const Text large = dir.Write("large.bin", "prefix" + std::string(1000000, 'a') + "suffix");
  const struct {
    Text path;
    uint64_t offset;
    uint64_t size;
    std::string digest;
  } cases[] = {
      {small, 3, 3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {small, 5, 0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {small, 3, 8, "none"},
      {large, 6, 1000000, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {dir.PathOf("missing.bin"), 0, 0, "none"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(platform.HashFileRange(c.path, c.offset, c.size)), c.digest)
        << ToUtf8(c.path) << " " << c.offset << "+" << c.size;
  }
  const std::optional<Carrier> carrier = BuiltCarrier(platform);
  ASSERT_TRUE(carrier) << "SETUP_INTEGRATION_CABINET names no cabinet";
  EXPECT_EQ(Hex(platform.HashFileRange(carrier->path, carrier->offset, carrier->size)), carrier->sha256);
}

TEST(Win32BundleFiles, CreatePrivateFolderMakesANewFolderOnlyTheUserSystemAndAdministratorsReach) {
  Win32Platform platform;
  const Text prefix = u"setup-platform-test-";
  const std::optional<Text> first = platform.CreatePrivateFolder(prefix);
  const std::optional<Text> second = platform.CreatePrivateFolder(prefix);
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  const Text temporary = TemporaryPath();
  const std::string expected = "D:P(A;OICI;FA;;;" + UserSid() + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  for (const Text& folder : {*first, *second}) {
    ASSERT_EQ(folder.size(), temporary.size() + prefix.size() + 33) << ToUtf8(folder);
    EXPECT_EQ(folder.substr(0, temporary.size() + prefix.size()), temporary + prefix);
    EXPECT_EQ(folder.find_first_not_of(u"0123456789abcdef", temporary.size() + prefix.size()),
              folder.size() - 1);
    EXPECT_TRUE(IsFolder(folder)) << ToUtf8(folder);
    const std::string sddl = Sddl(folder);
    if (!UnderWine()) {
      EXPECT_EQ(sddl, expected);
    }
    // Wine shows a folder others may read with an entry for Everyone (WD).
    const std::vector<std::string> aces = AcesOf(sddl);
    EXPECT_NE(std::ranges::find(aces, "OICI;FA;;;" + UserSid()), aces.end()) << sddl;
    for (const std::string& ace : aces) {
      EXPECT_TRUE(ace == "OICI;FA;;;" + UserSid() || ace == "OICI;FA;;;SY" || ace == "OICI;FA;;;BA") << sddl;
    }
  }
  // Folders a killed run of these tests left behind may be listed too.
  const std::vector<Text> listed = platform.TemporaryFolders(prefix);
  for (const Text& folder : {*first, *second}) {
    EXPECT_NE(std::ranges::find(listed, folder), listed.end()) << ToUtf8(folder);
    EXPECT_TRUE(platform.RemoveFolder(folder));
    EXPECT_FALSE(IsFolder(folder)) << ToUtf8(folder);
  }
  const std::vector<Text> left = platform.TemporaryFolders(prefix);
  EXPECT_EQ(std::ranges::find(left, *first), left.end());
  EXPECT_EQ(platform.TemporaryFolders(u""), std::vector<Text>{});
  EXPECT_FALSE(platform.RemoveFolder(u""));
}

TEST(Win32BundleFiles, RemoveFolderRemovesTheTreeReadOnlyFilesToo) {
  Win32Platform platform;
  TempDir dir;
  dir.Write("tree\\top.txt", "1");
  const Text locked = dir.Write("tree\\sub\\deeper\\locked.txt", "2");
  dir.Write("tree\\sub\\other.bin", "3");
  ASSERT_TRUE(SetFileAttributesW(Native(locked), FILE_ATTRIBUTE_READONLY));
  const Text kept = dir.Write("kept.txt", "beside the tree");

  EXPECT_TRUE(platform.RemoveFolder(dir.PathOf("tree\\")));
  EXPECT_FALSE(platform.FileExists(dir.PathOf("tree")));
  EXPECT_TRUE(platform.FileExists(kept));
  EXPECT_TRUE(platform.RemoveFolder(dir.PathOf("never-made")));
}

TEST(Win32BundleFiles, ExtractCabinetUnpacksTheCabinetInsideTheFile) {
  Win32Platform platform;
  const std::optional<Carrier> carrier = BuiltCarrier(platform);
  ASSERT_TRUE(carrier) << "SETUP_INTEGRATION_CABINET names no cabinet";
  TempDir target;
  RecordingFilter filter;
  ASSERT_TRUE(platform.ExtractCabinet(carrier->path, carrier->offset, carrier->size, target.path(), filter));
  ASSERT_EQ(filter.asked.size(), std::size(kEntries));
  for (size_t i = 0; i < std::size(kEntries); ++i) {
    const Text name = kEntries[i];
    const FileContent original = platform.ReadWholeFile(carrier->files + name);
    const FileContent unpacked = platform.ReadWholeFile(target.path() + name);
    ASSERT_TRUE(original.opened) << ToUtf8(name);
    EXPECT_TRUE(unpacked.opened) << ToUtf8(name);
    EXPECT_TRUE(unpacked.bytes.View() == original.bytes.View()) << ToUtf8(name);
    EXPECT_EQ(filter.asked[i], std::make_pair(name, uint64_t{original.bytes.Size()}));
  }
  EXPECT_TRUE(IsFolder(target.path() + u"sub\\deeper"));
}

// Each case breaks the extraction at a different point; no entry after the break is written.
TEST(Win32BundleFiles, ExtractCabinetFailsOnARefusedEntryAnExistingFileOrWrongBytes) {
  Win32Platform platform;
  const std::optional<Carrier> carrier = BuiltCarrier(platform);
  ASSERT_TRUE(carrier) << "SETUP_INTEGRATION_CABINET names no cabinet";
  const struct {
    const char* why;
    Text refused;
    const char* existing;        // a file already in the folder
    int64_t offsetShift;
    int64_t sizeShift;
    size_t asked;                // entries the filter was asked about
  } cases[] = {
      {"a refused entry", u"sub\\empty.txt", nullptr, 0, 0, 3},
      {"an existing file", u"", "sub\\deeper\\data.bin", 0, 0, 2},
      {"the bytes before the cabinet", u"", nullptr, -1, 0, 0},
      {"a cabinet cut short", u"", nullptr, 0, -100, 5},
  };
  for (const auto& c : cases) {
    TempDir target;
    if (c.existing != nullptr) target.Write(c.existing, "kept");
    RecordingFilter filter(c.refused);
    EXPECT_FALSE(platform.ExtractCabinet(carrier->path, carrier->offset + c.offsetShift,
                                         carrier->size + c.sizeShift, target.path(), filter))
        << c.why;
    EXPECT_EQ(filter.asked.size(), c.asked) << c.why;
    if (c.existing != nullptr) {
      EXPECT_EQ(platform.ReadWholeFile(target.PathOf(c.existing)).bytes.View(), "kept") << c.why;
    }
    if (c.asked < std::size(kEntries)) {
      EXPECT_FALSE(platform.FileExists(target.path() + kEntries[std::size(kEntries) - 1])) << c.why;
    }
  }
}

// Whatever a filter lets through, no name leaves the folder: the Win32 path rules would resolve
// "..", a drive and a root, and the platform writes no entry whose name holds one.
TEST(Win32BundleFiles, ExtractCabinetWritesNothingOutsideTheFolderWhateverTheFilterAccepts) {
  Win32Platform platform;
  const Text folder = CabinetFolder();
  ASSERT_FALSE(folder.empty()) << "SETUP_INTEGRATION_CABINET names no cabinet";
  for (const char16_t* cabinet : {u"escape-0.cab", u"escape-1.cab", u"escape-2.cab", u"escape-3.cab"}) {
    const Text path = folder + cabinet;
    const std::optional<uint64_t> size = platform.FileSize(path);
    ASSERT_TRUE(size) << ToUtf8(path);
    TempDir target;
    const Text inner = target.PathOf("a\\inner\\");
    ASSERT_TRUE(CreateDirectoryW(Native(target.PathOf("a")), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Native(inner), nullptr));
    RecordingFilter acceptAll;
    EXPECT_FALSE(platform.ExtractCabinet(path, 0, *size, inner, acceptAll)) << ToUtf8(cabinet);
    EXPECT_EQ(acceptAll.asked.size(), 1u) << ToUtf8(cabinet);
    for (const Text& written : {inner + u"escape.txt", target.PathOf("a\\escape.txt"), target.PathOf("escape.txt")}) {
      EXPECT_FALSE(platform.FileExists(written)) << ToUtf8(cabinet) << " wrote " << ToUtf8(written);
    }
    // The C library's removal would not end on a name Windows cannot hold, should one be made.
    EXPECT_TRUE(platform.RemoveFolder(target.path())) << ToUtf8(cabinet);
  }
}

}  // namespace
}  // namespace setup
