#include "tools/setup-check/bundle/bundle_writer.h"

#include <libgcab.h>
#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <memory>

namespace setup::check {
namespace fs = std::filesystem;
namespace {

struct Unref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename Type>
using Object = std::unique_ptr<Type, Unref>;

std::string Taken(GError*& error) {
  std::string text = error != nullptr ? error->message : "unknown error";
  g_clear_error(&error);
  return text;
}

bool WriteCabinet(const std::vector<CabinetFile>& files, const fs::path& path, std::string& why) {
  GError* error = nullptr;
  const Object<GCabFolder> folder(gcab_folder_new(GCAB_COMPRESSION_MSZIP));
  for (const CabinetFile& file : files) {
    const Object<GFile> source(g_file_new_for_path(file.source.c_str()));
    const Object<GCabFile> entry(gcab_file_new_with_file(file.name.c_str(), source.get()));
    if (gcab_folder_add_file(folder.get(), entry.get(), FALSE, nullptr, &error) == FALSE) {
      why = "cannot add " + file.source.string() + " to the cabinet: " + Taken(error);
      return false;
    }
  }
  const Object<GCabCabinet> cabinet(gcab_cabinet_new());
  if (gcab_cabinet_add_folder(cabinet.get(), folder.get(), &error) == FALSE) {
    why = "cannot make the cabinet: " + Taken(error);
    return false;
  }
  const Object<GFile> target(g_file_new_for_path(path.c_str()));
  const Object<GFileOutputStream> out(
      g_file_replace(target.get(), nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, &error));
  // The files are read here, as the cabinet is written.
  GOutputStream* const stream = out ? G_OUTPUT_STREAM(out.get()) : nullptr;
  if (stream == nullptr || gcab_cabinet_write_simple(cabinet.get(), stream, nullptr, nullptr, nullptr, &error) == FALSE ||
      g_output_stream_close(stream, nullptr, &error) == FALSE) {
    why = "cannot write " + path.string() + ": " + Taken(error);
    return false;
  }
  return true;
}

// Copies from onto the end of out, hashing what it copies when digest is given; the bytes copied.
std::optional<uint64_t> Append(std::ofstream& out, const fs::path& from, EVP_MD_CTX* digest) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return std::nullopt;
  std::array<char, 1 << 16> buffer;
  uint64_t copied = 0;
  while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
    const auto size = static_cast<size_t>(in.gcount());
    if (digest != nullptr && EVP_DigestUpdate(digest, buffer.data(), size) != 1) return std::nullopt;
    out.write(buffer.data(), static_cast<std::streamsize>(size));
    copied += size;
  }
  if (in.bad() || !out) return std::nullopt;
  return copied;
}

}  // namespace

std::optional<WrittenBundle> WriteBundleFile(const fs::path& program, const std::vector<CabinetFile>& files,
                                             const fs::path& cabinet, const fs::path& bundle, std::string& why) {
  if (!WriteCabinet(files, cabinet, why)) return std::nullopt;
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> digest(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
    why = "OpenSSL has no SHA-256";
    return std::nullopt;
  }
  std::ofstream out(bundle, std::ios::binary | std::ios::trunc);
  WrittenBundle written;
  const std::optional<uint64_t> programSize = out ? Append(out, program, nullptr) : std::nullopt;
  const std::optional<uint64_t> cabinetSize = programSize ? Append(out, cabinet, digest.get()) : std::nullopt;
  unsigned int digestSize = 0;
  if (!cabinetSize || EVP_DigestFinal_ex(digest.get(), written.trailer.sha256.data(), &digestSize) != 1) {
    why = "cannot write " + bundle.string();
    return std::nullopt;
  }
  written.trailer.payloadOffset = *programSize;
  written.trailer.payloadSize = *cabinetSize;
  // Padded so that the trailer, whose size keeps the alignment, ends at a multiple of 8 too.
  static_assert(kBundleTrailerSize % kBundleAlignment == 0);
  const uint64_t end = *programSize + *cabinetSize;
  const std::string padding((kBundleAlignment - end % kBundleAlignment) % kBundleAlignment, '\0');
  const std::string trailer = EncodeBundleTrailer(written.trailer);
  out << padding << trailer;
  out.close();
  if (!out) {
    why = "cannot write " + bundle.string();
    return std::nullopt;
  }
  written.size = end + padding.size() + trailer.size();
  return written;
}

}  // namespace setup::check
