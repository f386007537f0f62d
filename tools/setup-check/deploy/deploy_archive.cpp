#include "tools/setup-check/deploy/deploy_archive.h"

#include <openssl/evp.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <vector>

#include "setup/decisions/settings_names.h"
#include "setup/driver/run.h"

namespace setup::check {
namespace fs = std::filesystem;
namespace {

// An archive that is closed only by zip_close on success; on every other path nothing is written.
struct Discard {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, Discard>;

struct Close {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using Entry = std::unique_ptr<zip_file_t, Close>;

std::string OpenError(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

// Every file below folder, in the order of their paths.
bool FilesBelow(const fs::path& folder, std::vector<fs::path>& files, std::string& error) {
  std::error_code failed;
  for (auto it = fs::recursive_directory_iterator(folder, failed); !failed && it != fs::end(it); it.increment(failed)) {
    if (it->is_regular_file(failed)) files.push_back(it->path());
  }
  if (failed) error = "cannot read " + folder.string() + ": " + failed.message();
  std::sort(files.begin(), files.end());
  return !failed;
}

// A path as Windows compares file names: each character folded on its own, as its table of
// upper-case letters does, so that "SETUP.INI" is "Setup.ini" but "STRASSE" is not "Straße".
std::string Folded(const std::string& path) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(path);
  icu::UnicodeString folded;
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    folded.append(u_foldCase(text.char32At(i), U_FOLD_CASE_DEFAULT));
  }
  std::string bytes;
  return folded.toUTF8String(bytes);
}

// Whether setup.exe or an engine could take the file for the distribution's own: a program, its
// settings or a package.
bool IsDistributionFile(const std::string& foldedPath) {
  const std::string name = foldedPath.substr(foldedPath.find_last_of("/\\") + 1);
  return name == Folded(ToUtf8(kProgramFileName)) || name == Folded(ToUtf8(kSettingsFileName)) ||
         name.ends_with(".msi");
}

// Reads as much as data holds, less only at the entry's end; -1 on an error (a CRC that differs).
zip_int64_t Fill(zip_file_t* entry, std::span<char> data) {
  size_t done = 0;
  while (done < data.size()) {
    const zip_int64_t read = zip_fread(entry, data.data() + done, data.size() - done);
    if (read < 0) return -1;
    if (read == 0) break;
    done += static_cast<size_t>(read);
  }
  return static_cast<zip_int64_t>(done);
}

bool SameBytes(zip_t* archive, zip_uint64_t index, const fs::path& file) {
  const Entry entry(zip_fopen_index(archive, index, 0));
  std::ifstream in(file, std::ios::binary);
  if (!entry || !in) return false;
  std::array<char, 1 << 16> ours;
  std::array<char, ours.size() + 1> theirs;
  do {
    in.read(ours.data(), ours.size());
    const auto size = static_cast<size_t>(in.gcount());
    // At the file's end one byte more is asked: an entry that goes on differs, and only reading to
    // its end makes libzip compare its CRC.
    const size_t wanted = in ? size : size + 1;
    if (Fill(entry.get(), std::span(theirs).first(wanted)) != static_cast<zip_int64_t>(size) ||
        !std::equal(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(size), theirs.begin())) {
      return false;
    }
  } while (in);
  return !in.bad();
}

}  // namespace

std::string ZipDifference(const fs::path& folder, const fs::path& zip) {
  std::vector<fs::path> files;
  std::string error;
  if (!FilesBelow(folder, files, error)) return error;
  int code = 0;
  const Archive archive(zip_open(zip.c_str(), ZIP_RDONLY, &code));
  if (!archive) return "cannot read it: " + OpenError(code);
  std::set<zip_int64_t> ours;
  std::map<std::string, std::string> names;  // the folder's, by Folded
  for (const fs::path& file : files) {
    const std::string name = file.lexically_relative(folder).generic_string();
    const zip_int64_t index = zip_name_locate(archive.get(), name.c_str(), 0);
    if (index < 0) return "the folder's " + name + " is not in it";
    if (!SameBytes(archive.get(), static_cast<zip_uint64_t>(index), file)) {
      return "its " + name + " differs from the folder's";
    }
    ours.insert(index);
    names.emplace(Folded(name), name);
  }
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t index = 0; index < count; ++index) {
    const char* given = zip_get_name(archive.get(), static_cast<zip_uint64_t>(index), 0);
    if (given == nullptr) return std::string("cannot read it: ") + zip_strerror(archive.get());
    const std::string name = given;
    if (ours.contains(index) || name.ends_with('/')) continue;
    const std::string folded = Folded(name);
    // Unpacked on Windows, whichever comes last takes the name.
    if (const auto same = names.find(folded); same != names.end()) {
      return "its " + name + " is another file of the folder's " + same->second + " (Windows ignores case)";
    }
    if (IsDistributionFile(folded)) return "it holds " + name + ", which the folder does not";
  }
  return {};
}

bool ZipFolder(const fs::path& folder, const fs::path& zip, std::string& error) {
  std::vector<fs::path> files;
  if (!FilesBelow(folder, files, error)) return false;
  int code = 0;
  Archive archive(zip_open(zip.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
  if (!archive) {
    error = "cannot write " + zip.string() + ": " + OpenError(code);
    return false;
  }
  for (const fs::path& file : files) {
    zip_source_t* source = zip_source_file(archive.get(), file.c_str(), 0, 0);
    const std::string name = file.lexically_relative(folder).generic_string();
    if (source == nullptr || zip_file_add(archive.get(), name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
      zip_source_free(source);
      error = "cannot add " + file.string() + " to the zip: " + zip_strerror(archive.get());
      return false;
    }
  }
  // The files are read here, as the archive is written.
  if (zip_close(archive.get()) != 0) {
    error = "cannot write " + zip.string() + ": " + zip_strerror(archive.get());
    return false;
  }
  (void)archive.release();  // zip_close has freed it
  return true;
}

std::string Sha256Of(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!in || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
  std::array<char, 1 << 16> buffer;
  while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
    if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(in.gcount())) != 1) return {};
  }
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest;
  unsigned int size = 0;
  if (in.bad() || EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1) return {};
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += "0123456789ABCDEF"[digest[i] >> 4];
    hex += "0123456789ABCDEF"[digest[i] & 0xF];
  }
  return hex;
}

}  // namespace setup::check
