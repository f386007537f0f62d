#include "tools/setup-check/deploy_archive.h"

#include <openssl/evp.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <vector>

namespace setup::check {
namespace fs = std::filesystem;
namespace {

// An archive that is closed only by zip_close on success; on every other path nothing is written.
struct Discard {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, Discard>;

std::string OpenError(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

}  // namespace

bool ZipFolder(const fs::path& folder, const fs::path& zip, std::string& error) {
  std::error_code failed;
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(folder, failed); !failed && it != fs::end(it); it.increment(failed)) {
    if (it->is_regular_file(failed)) files.push_back(it->path());
  }
  if (failed) {
    error = "cannot read " + folder.string() + ": " + failed.message();
    return false;
  }
  std::sort(files.begin(), files.end());
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

bool ZipHoldsAtRoot(const fs::path& zip, const std::string& name) {
  int code = 0;
  const Archive archive(zip_open(zip.c_str(), ZIP_RDONLY, &code));
  return archive && zip_name_locate(archive.get(), name.c_str(), ZIP_FL_NOCASE) >= 0;
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
