// What running a bundle asks of the Win32 platform: parts of a file, a folder of its own, and a
// cabinet read in place from inside a larger file by Wine's own cabinet.dll.

#include "setup/platform/win32/win32_platform.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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
using LocalText = std::unique_ptr<wchar_t, LocalFreer>;

std::string Hex(const std::optional<Sha256Digest>& digest) {
  if (!digest) return "none";
  std::string hex;
  for (const uint8_t byte : *digest) {
    hex += "0123456789abcdef"[byte >> 4];
    hex += "0123456789abcdef"[byte & 15];
  }
  return hex;
}

// What make_cabinet.py made: ctest hands over its Unix folder, which Wine's Z: drive reaches.
struct Cabinets {
  Cabinets() {
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(L"SETUP_INTEGRATION_CABINET", buffer, 4096);
    if (length == 0 || length >= 4096) return;
    folder = u"Z:" + Text(reinterpret_cast<const char16_t*>(buffer), length) + u"\\";
    std::ranges::replace(folder, u'/', u'\\');
    carrier = folder + u"carrier.bin";
    Win32Platform platform;
    std::istringstream(std::string(platform.ReadWholeFile(folder + u"carrier.layout").bytes.View()))
        >> offset >> size >> sha256;
  }
  Text folder;
  Text carrier;          // the cabinet, with bytes before and after it
  uint64_t offset = 0;
  uint64_t size = 0;
  std::string sha256;
};

// The cabinet's entries, in its order.
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

// The DACL's entries in SDDL, each as "flags;rights;;;trustee".
std::vector<std::string> AcesOf(const Text& path, bool* isProtected) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  wchar_t* text = nullptr;
  if (GetNamedSecurityInfoW(Native(path), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  const std::unique_ptr<void, LocalFreer> owned(descriptor);
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                            DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return {};
  }
  const LocalText ownedText(text);
  const std::string sddl = ToUtf8(reinterpret_cast<const char16_t*>(text));
  *isProtected = sddl.starts_with("D:P");
  std::vector<std::string> aces;
  for (size_t open = sddl.find("(A;"); open != std::string::npos; open = sddl.find("(A;", open + 1)) {
    aces.push_back(sddl.substr(open + 3, sddl.find(')', open) - open - 3));
  }
  return aces;
}

std::string UserSid() {
  HANDLE token = nullptr;
  alignas(8) unsigned char user[256];
  DWORD size = 0;
  wchar_t* text = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  const bool got = GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
                   ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text);
  CloseHandle(token);
  const LocalText owned(text);
  return got ? ToUtf8(reinterpret_cast<const char16_t*>(text)) : "";
}

// Wine keeps no security descriptor for a file: it answers from the Unix mode bits, with an
// entry for Everyone (WD) when others may read. Only who may reach the folder can be read back.
bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

bool IsFolder(const Text& path) {
  const DWORD attributes = GetFileAttributesW(Native(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Win32BundleFiles, ReadFileRangeGivesFewerBytesWhereTheFileEnds) {
  Win32Platform platform;
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
      {3, 0, ""}, {2, SIZE_MAX, bytes.substr(2)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform.ReadFileRange(file, c.offset, c.size), c.bytes) << c.offset << "+" << c.size;
  }
  EXPECT_EQ(platform.ReadFileRange(dir.PathOf("missing.bin"), 0, 4), "");
}

TEST(Win32BundleFiles, HashFileRangeHashesExactlyTheRange) {
  Win32Platform platform;
  TempDir dir;
  const Cabinets cabinets;
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
      {cabinets.carrier, cabinets.offset, cabinets.size, cabinets.sha256},   // as Python's hashlib has it
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(platform.HashFileRange(c.path, c.offset, c.size)), c.digest) << ToUtf8(c.path);
  }
}

TEST(Win32BundleFiles, PrivateFoldersAreNewAndOnlyTheUserSystemAndAdministratorsReachThem) {
  Win32Platform platform;
  const Text prefix = u"setup-platform-test-";
  const std::optional<Text> first = platform.CreatePrivateFolder(prefix);
  const std::optional<Text> second = platform.CreatePrivateFolder(prefix);
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  wchar_t temporary[MAX_PATH + 1];
  ASSERT_GT(GetTempPathW(MAX_PATH + 1, temporary), 0u);
  const Text stem = reinterpret_cast<const char16_t*>(temporary) + prefix;
  const std::string user = "OICI;FA;;;" + UserSid();
  // Folders a killed run of these tests left behind may be listed too.
  const std::vector<Text> listed = platform.TemporaryFolders(prefix);
  for (const Text& folder : {*first, *second}) {
    EXPECT_EQ(folder.substr(0, stem.size()), stem);
    EXPECT_EQ(folder.find_first_not_of(u"0123456789abcdef", stem.size()), stem.size() + 32) << ToUtf8(folder);
    EXPECT_EQ(folder.substr(stem.size() + 32), u"\\");
    EXPECT_NE(std::ranges::find(listed, folder), listed.end()) << ToUtf8(folder);
    bool isProtected = false;
    const std::vector<std::string> aces = AcesOf(folder, &isProtected);
    if (!UnderWine()) {
      EXPECT_TRUE(isProtected);
      EXPECT_EQ(aces, (std::vector<std::string>{user, "OICI;FA;;;SY", "OICI;FA;;;BA"}));
    }
    EXPECT_NE(std::ranges::find(aces, user), aces.end());
    for (const std::string& ace : aces) EXPECT_TRUE(ace == user || ace == "OICI;FA;;;SY" || ace == "OICI;FA;;;BA") << ace;

    EXPECT_TRUE(platform.RemoveFolder(folder));
    EXPECT_FALSE(IsFolder(folder)) << ToUtf8(folder);
  }
  EXPECT_EQ(platform.TemporaryFolders(u""), std::vector<Text>{});
  EXPECT_FALSE(platform.RemoveFolder(u""));   // not the current drive's root
}

TEST(Win32BundleFiles, RemoveFolderRemovesTheTreeReadOnlyFilesToo) {
  Win32Platform platform;
  TempDir dir;
  dir.Write("tree\\top.txt", "1");
  const Text locked = dir.Write("tree\\sub\\deeper\\locked.txt", "2");
  ASSERT_TRUE(SetFileAttributesW(Native(locked), FILE_ATTRIBUTE_READONLY));
  const Text kept = dir.Write("kept.txt", "beside the tree");
  EXPECT_TRUE(platform.RemoveFolder(dir.PathOf("tree\\")));
  EXPECT_FALSE(platform.FileExists(dir.PathOf("tree")));
  EXPECT_TRUE(platform.FileExists(kept));
  EXPECT_TRUE(platform.RemoveFolder(dir.PathOf("never-made")));
}

TEST(Win32BundleFiles, ExtractCabinetUnpacksTheCabinetInsideTheFile) {
  Win32Platform platform;
  const Cabinets cabinets;
  ASSERT_FALSE(cabinets.folder.empty()) << "SETUP_INTEGRATION_CABINET names no cabinet";
  TempDir target;
  RecordingFilter filter;
  ASSERT_TRUE(platform.ExtractCabinet(cabinets.carrier, cabinets.offset, cabinets.size, target.path(), filter));
  ASSERT_EQ(filter.asked.size(), std::size(kEntries));
  for (size_t i = 0; i < std::size(kEntries); ++i) {
    const Text name = kEntries[i];
    const FileContent original = platform.ReadWholeFile(cabinets.folder + u"files\\" + name);
    const FileContent unpacked = platform.ReadWholeFile(target.path() + name);
    ASSERT_TRUE(original.opened && unpacked.opened) << ToUtf8(name);
    EXPECT_TRUE(unpacked.bytes.View() == original.bytes.View()) << ToUtf8(name);
    EXPECT_EQ(filter.asked[i], std::make_pair(name, uint64_t{original.bytes.Size()}));
  }
}

// Each case breaks the extraction at a different point; no entry after the break is written. The
// escape cabinets hold one entry whose name would leave the folder, which the filter accepts.
TEST(Win32BundleFiles, ExtractCabinetFailsWithoutWritingOutsideTheFolder) {
  Win32Platform platform;
  const Cabinets cabinets;
  ASSERT_FALSE(cabinets.folder.empty()) << "SETUP_INTEGRATION_CABINET names no cabinet";
  const struct {
    const char* why;
    const char16_t* cabinet;     // another one than the carrier
    Text refused;
    const char* existing;        // a file already in the folder
    int64_t offsetShift;
    int64_t sizeShift;
    size_t asked;                // entries the filter was asked about
  } cases[] = {
      {"a refused entry", nullptr, u"sub\\empty.txt", nullptr, 0, 0, 3},
      {"an existing file", nullptr, u"", "sub\\deeper\\data.bin", 0, 0, 2},
      {"the bytes before the cabinet", nullptr, u"", nullptr, -1, 0, 0},
      {"a cabinet cut short", nullptr, u"", nullptr, 0, -100, 5},
      {"a parent", u"escape-0.cab", u"", nullptr, 0, 0, 1},
      {"a drive", u"escape-1.cab", u"", nullptr, 0, 0, 1},
      {"a parent's parent", u"escape-2.cab", u"", nullptr, 0, 0, 1},
      {"a root", u"escape-3.cab", u"", nullptr, 0, 0, 1},
  };
  for (const auto& c : cases) {
    const Text path = c.cabinet == nullptr ? cabinets.carrier : cabinets.folder + c.cabinet;
    const uint64_t offset = c.cabinet == nullptr ? cabinets.offset : 0;
    const uint64_t size = c.cabinet == nullptr ? cabinets.size : platform.FileSize(path).value_or(0);
    TempDir dir;
    const Text target = dir.PathOf("a\\inner\\");
    dir.Write(std::string("a\\inner\\") + (c.existing != nullptr ? c.existing : "placeholder"), "kept");
    RecordingFilter filter(c.refused);
    EXPECT_FALSE(platform.ExtractCabinet(path, offset + c.offsetShift, size + c.sizeShift, target, filter)) << c.why;
    EXPECT_EQ(filter.asked.size(), c.asked) << c.why;
    if (c.existing != nullptr) {
      EXPECT_EQ(platform.ReadWholeFile(target + FromUtf8(c.existing)).bytes.View(), "kept") << c.why;
    }
    if (c.asked < std::size(kEntries)) {
      EXPECT_FALSE(platform.FileExists(target + kEntries[std::size(kEntries) - 1])) << c.why;
    }
    for (const Text& outside : {target + u"escape.txt", dir.PathOf("a\\escape.txt"), dir.PathOf("escape.txt")}) {
      EXPECT_FALSE(platform.FileExists(outside)) << c.why << " wrote " << ToUtf8(outside);
    }
    // The C library's removal would not end on a name Windows cannot hold, should one be made.
    EXPECT_TRUE(platform.RemoveFolder(dir.path())) << c.why;
  }
}

}  // namespace
}  // namespace setup
