// setup-check --bundle over the check's folder and fake msi.dll: the file laid out as setup.exe
// reads it, its cabinet read back with libgcab, and the bad input that leaves nothing behind.

#include "tools/setup-check/bundle/bundle.h"

#include <gtest/gtest.h>
#include <libgcab.h>
#include <openssl/evp.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "setup/bundle/bundle_format.h"
#include "tests/unit/check/check_folder.h"

namespace setup::check::testing {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
  std::ostringstream bytes;
  bytes << std::ifstream(file, std::ios::binary).rdbuf();
  return bytes.str();
}

void Put(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

// Every file below folder with its bytes; a large file by its size alone.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().lexically_relative(folder).string();
    files[name] = !entry.is_regular_file()      ? "folder"
                  : entry.file_size() > 1 << 20 ? std::to_string(entry.file_size())
                                                : Read(entry.path());
  }
  return files;
}

// The folder libgcab unpacks the cabinet into, which must be MSZIP-compressed.
fs::path Unpacked(const std::string& cabinet, const fs::path& into) {
  EXPECT_EQ(cabinet.substr(42, 2), std::string("\1\0", 2));  // the first folder's compression
  GInputStream* in = g_memory_input_stream_new_from_data(cabinet.data(), static_cast<gssize>(cabinet.size()), nullptr);
  GCabCabinet* loaded = gcab_cabinet_new();
  GFile* folder = g_file_new_for_path(into.c_str());
  EXPECT_TRUE(gcab_cabinet_load(loaded, in, nullptr, nullptr) &&
              gcab_cabinet_extract_simple(loaded, folder, nullptr, nullptr, nullptr, nullptr));
  for (const gpointer object : {gpointer(folder), gpointer(loaded), gpointer(in)}) g_object_unref(object);
  return into;
}

const std::string kLongName = "long/" + std::string(250, 'n');  // 255 bytes, the most a cabinet holds

struct BundleFolder {
  BundleFolder() {
    dist = HostPathOf(folder.dir.folder());
    Put(dist / "setup.exe", "MZ");
    Put(dist / "sub/deeper/notes.txt", "notes");
    Put(dist / "sub/Übersicht.txt", "Ü");
    Put(dist / "empty.txt", "");
    Put(dist / kLongName, "long");
    options.distribution = FromUtf8(dist.string());
    options.output = FromUtf8((OutDir() / "product.exe").string());
  }
  fs::path OutDir() const { return HostPathOf(out.folder()); }
  void Sized(const std::string& name, uintmax_t size) const {  // sparse: no disk is spent on it
    Put(dist / name, "");
    fs::resize_file(dist / name, size);
  }
  int Bundle() { return WriteBundle(options, folder.msi.Module(), report); }

  CheckFolder folder;
  setup::testing::TempDir out;
  fs::path dist;
  BundleOptions options;
  std::string report;
};

TEST(Bundle, IsSetupExeThenTheOtherFilesAsACabinetThenTheTrailerThatFindsIt) {
  for (const std::string& program : {std::string("MZ"), std::string("MZ012345"), std::string(4093, 'p')}) {
    SCOPED_TRACE(program.size());
    BundleFolder bundle;
    Put(bundle.dist / "setup.exe", program);
    ASSERT_EQ(bundle.Bundle(), 0) << bundle.report;
    const std::string bytes = Read(bundle.OutDir() / "product.exe");
    ASSERT_GE(bytes.size(), program.size() + kBundleTrailerSize);
    EXPECT_EQ(bytes.substr(0, program.size()), program);
    EXPECT_EQ(bytes.size() % kBundleAlignment, 0u);
    const std::optional<BundleTrailer> trailer = DecodeBundleTrailer(bytes.substr(bytes.size() - kBundleTrailerSize));
    ASSERT_TRUE(trailer);
    EXPECT_EQ(trailer->payloadOffset, program.size());
    const size_t end = trailer->payloadOffset + trailer->payloadSize;
    ASSERT_LE(end, bytes.size() - kBundleTrailerSize);
    EXPECT_EQ(bytes.substr(end, bytes.size() - kBundleTrailerSize - end),
              std::string((kBundleAlignment - end % kBundleAlignment) % kBundleAlignment, '\0'));
    const std::string cabinet = bytes.substr(trailer->payloadOffset, trailer->payloadSize);
    Sha256Digest digest;
    ASSERT_EQ(EVP_Digest(cabinet.data(), cabinet.size(), digest.data(), nullptr, EVP_sha256(), nullptr), 1);
    EXPECT_EQ(trailer->sha256, digest);
    std::string hex;
    for (const uint8_t byte : digest) hex += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 0xF]};
    EXPECT_NE(bundle.report.find("at " + std::to_string(program.size()) + ", " + std::to_string(cabinet.size()) +
                                 " bytes, SHA-256 " + hex),
              std::string::npos)
        << bundle.report;
    auto expected = Snapshot(bundle.dist);
    expected.erase("setup.exe");
    EXPECT_EQ(Snapshot(Unpacked(cabinet, bundle.OutDir() / "unpacked")), expected);
  }
}

TEST(Bundle, ReplacesTheFileWindowsWouldOpenOnlyWithForce) {
  for (const char* existing : {"product.exe", "PRODUCT.EXE"}) {
    BundleFolder bundle;
    Put(bundle.OutDir() / existing, "old");
    bundle.options.force = true;
    ASSERT_EQ(bundle.Bundle(), 0) << bundle.report;
    EXPECT_EQ(Snapshot(bundle.OutDir()).size(), 1u) << existing;
    EXPECT_TRUE(Read(bundle.OutDir() / existing).starts_with("MZ")) << existing;
  }
}

TEST(Bundle, IsRefusedWithoutLeavingAnythingBehind) {
  const struct {
    const char* what;
    std::function<void(BundleFolder&)> arrange;
    int exitCode;
    const char* message;
  } cases[] = {
      {"a folder with errors", [](BundleFolder& b) { b.folder.EditSettings("ProductCode={1111", "ProductCode={9111"); },
       2, "the folder has errors"},
      {"DIST_DIR a file", [](BundleFolder& b) { b.options.distribution += u"/Setup.ini"; }, 3, "not a folder"},
      {"no setup.exe", [](BundleFolder& b) { fs::remove(b.dist / "setup.exe"); }, 3, "the folder has no setup.exe"},
      {"OUT.exe that exists", [](BundleFolder& b) { Put(b.OutDir() / "product.exe", "old"); }, 3, "exists (--force"},
      {"OUT.exe that exists in other case", [](BundleFolder& b) { Put(b.OutDir() / "Product.EXE", "old"); }, 3,
       "Product.EXE exists (--force"},
      {"OUT.exe in DIST_DIR", [](BundleFolder& b) { b.options.output = FromUtf8((b.dist / "sub/p.exe").string()); }, 3,
       "lies in DIST_DIR"},
      {"OUT.exe in no folder", [](BundleFolder& b) { b.options.output = FromUtf8((b.OutDir() / "no/p.exe").string()); },
       3, "its folder does not exist"},
      {"a colon", [](BundleFolder& b) { Put(b.dist / "sub/a:b.txt", ""); }, 3, "sub/a:b.txt holds a character"},
      {"a backslash", [](BundleFolder& b) { Put(b.dist / "a\\b.txt", ""); }, 3, "a\\b.txt holds a character"},
      {"a control character", [](BundleFolder& b) { Put(b.dist / "a\tb", ""); }, 3, "holds a character"},
      {"a final dot", [](BundleFolder& b) { Put(b.dist / "sub./x.txt", ""); }, 3, "ends in a dot or a blank"},
      {"a device", [](BundleFolder& b) { Put(b.dist / "sub/Com1.txt", ""); }, 3, "Com1.txt is a device's"},
      {"not UTF-8", [](BundleFolder& b) { Put(b.dist / "bad\xFF.txt", ""); }, 3, "is not UTF-8"},
      {"a name of 256 bytes", [](BundleFolder& b) { Put(b.dist / ("sub/" + std::string(252, 'n')), ""); }, 3,
       "is 256 bytes in UTF-8"},
      {"names one in other case", [](BundleFolder& b) { Put(b.dist / "sub/DEEPER/Notes.txt", ""); }, 3,
       "sub/DEEPER/Notes.txt and sub/deeper/notes.txt are one file"},
      {"a file too large", [](BundleFolder& b) { b.Sized("big", 0x7FFF8001); }, 3,
       "big is 2147450881 bytes; a cabinet holds 2147450880 bytes at most"},
      {"files too large together", [](BundleFolder& b) { b.Sized("half1", 1u << 30); b.Sized("half2", 1u << 30); },
       3, "the folder's files come to"},
      // The bundle is written, and then cannot take the folder's place.
      {"OUT.exe a folder, with --force",
       [](BundleFolder& b) {
         fs::create_directories(b.OutDir() / "product.exe");
         b.options.force = true;
       },
       3, "cannot write"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BundleFolder fresh;
    c.arrange(fresh);
    const auto out = Snapshot(fresh.OutDir());
    const auto dist = Snapshot(fresh.dist);
    EXPECT_EQ(fresh.Bundle(), c.exitCode);
    EXPECT_NE(fresh.report.find(c.message), std::string::npos) << fresh.report;
    EXPECT_TRUE(fresh.report.ends_with("; nothing was written\n")) << fresh.report;
    EXPECT_EQ(Snapshot(fresh.OutDir()), out);
    EXPECT_EQ(Snapshot(fresh.dist), dist);
  }
}

}  // namespace
}  // namespace setup::check::testing
