#include "tools/setup-check/deploy/deploy_intunewin.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <zip.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "setup/base/text.h"
#include "setup/decisions/settings_names.h"

namespace setup::check {
namespace fs = std::filesystem;
namespace {

constexpr char kContentEntry[] = "IntuneWinPackage/Contents/IntunePackage.intunewin";
constexpr char kDetectionEntry[] = "IntuneWinPackage/Metadata/Detection.xml";

template <auto Free>
struct Freer {
  template <typename T>
  void operator()(T* handle) const {
    Free(handle);
  }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, Freer<EVP_CIPHER_CTX_free>>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX_free>>;
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;
// Closed only by zip_close on success: discarded, nothing is written.
using Archive = std::unique_ptr<zip_t, Freer<zip_discard>>;
using Source = std::unique_ptr<zip_source_t, Freer<zip_source_free>>;

using Bytes32 = std::array<unsigned char, 32>;

// What Detection.xml tells Intune, which decrypts the content with it.
struct Encryption {
  Bytes32 key{}, macKey{}, mac{}, digest{};
  std::array<unsigned char, 16> iv{};
  std::uintmax_t contentSize = 0;
};

// A file of this run's own, removed however the run ends.
class TemporaryFile {
 public:
  explicit TemporaryFile(fs::path path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Encrypts block by block, taking the content's SHA-256 and the HMAC of the IV and ciphertext as
// the bytes pass, so that content of any size goes through without being held whole.
class Sealer {
 public:
  bool Start(const Encryption& e, std::ostream& out) {
    macKey_.reset(EVP_PKEY_new_raw_private_key(EVP_PKEY_HMAC, nullptr, e.macKey.data(), e.macKey.size()));
    if (!cipher_ || !digest_ || !mac_ || !macKey_ ||
        EVP_EncryptInit_ex(cipher_.get(), EVP_aes_256_cbc(), nullptr, e.key.data(), e.iv.data()) != 1 ||
        EVP_DigestInit_ex(digest_.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestSignInit(mac_.get(), nullptr, EVP_sha256(), nullptr, macKey_.get()) != 1) {
      return false;
    }
    // The MAC's place, filled once the MAC is known.
    const Bytes32 none{};
    out.write(reinterpret_cast<const char*>(none.data()), none.size());
    return Emit(e.iv.data(), e.iv.size(), out);
  }

  bool Add(const unsigned char* plain, size_t size, std::ostream& out) {
    sealed_.resize(size + EVP_MAX_BLOCK_LENGTH);
    int sealedSize = 0;
    return EVP_DigestUpdate(digest_.get(), plain, size) == 1 &&
           EVP_EncryptUpdate(cipher_.get(), sealed_.data(), &sealedSize, plain, static_cast<int>(size)) == 1 &&
           Emit(sealed_.data(), static_cast<size_t>(sealedSize), out);
  }

  // Ends the ciphertext with its PKCS#7 padding and writes the MAC in its place.
  bool Finish(Encryption& e, std::ostream& out) {
    std::array<unsigned char, EVP_MAX_BLOCK_LENGTH> last{};
    int lastSize = 0;
    size_t macSize = e.mac.size();
    if (EVP_EncryptFinal_ex(cipher_.get(), last.data(), &lastSize) != 1 ||
        !Emit(last.data(), static_cast<size_t>(lastSize), out) ||
        EVP_DigestFinal_ex(digest_.get(), e.digest.data(), nullptr) != 1 ||
        EVP_DigestSignFinal(mac_.get(), e.mac.data(), &macSize) != 1) {
      return false;
    }
    out.seekp(0);
    out.write(reinterpret_cast<const char*>(e.mac.data()), static_cast<std::streamsize>(macSize));
    return static_cast<bool>(out);
  }

 private:
  bool Emit(const unsigned char* bytes, size_t size, std::ostream& out) {
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    return out && EVP_DigestSignUpdate(mac_.get(), bytes, size) == 1;
  }

  CipherContext cipher_{EVP_CIPHER_CTX_new()};
  DigestContext digest_{EVP_MD_CTX_new()};
  DigestContext mac_{EVP_MD_CTX_new()};
  Key macKey_;
  std::vector<unsigned char> sealed_;
};

template <size_t N>
bool Randomize(std::array<unsigned char, N>& bytes) {
  return RAND_bytes(bytes.data(), static_cast<int>(N)) == 1;
}

bool Encrypt(const fs::path& content, const fs::path& encrypted, Encryption& e, std::string& error) {
  if (!Randomize(e.key) || !Randomize(e.macKey) || !Randomize(e.iv)) {
    error = "OpenSSL gives no random bytes for the keys of the .intunewin";
    return false;
  }
  std::ifstream in(content, std::ios::binary);
  std::ofstream out(encrypted, std::ios::binary | std::ios::trunc);
  Sealer sealer;
  bool sealed = in && sealer.Start(e, out);
  std::vector<char> block(1 << 16);
  while (sealed && (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0)) {
    const auto size = static_cast<size_t>(in.gcount());
    e.contentSize += size;
    sealed = sealer.Add(reinterpret_cast<const unsigned char*>(block.data()), size, out);
  }
  sealed = sealed && !in.bad() && sealer.Finish(e, out);
  out.close();
  if (!sealed || !out) error = "cannot encrypt " + content.string() + " into " + encrypted.string();
  return error.empty();
}

template <size_t N>
std::string Base64(const std::array<unsigned char, N>& bytes) {
  std::string text(4 * ((N + 2) / 3) + 1, '\0');  // EVP_EncodeBlock ends it with a NUL
  EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(), static_cast<int>(N));
  text.pop_back();
  return text;
}

// Text as XML character data. Tab, line feed and carriage return go as references, which a reader
// keeps as they are instead of folding them into blanks and line ends; the other control
// characters XML 1.0 cannot hold at all, so they are left out.
std::string XmlText(const std::string& text) {
  std::string xml;
  for (const char c : text) {
    if (c == '&') {
      xml += "&amp;";
    } else if (c == '<') {
      xml += "&lt;";
    } else if (c == '>') {
      xml += "&gt;";
    } else if (c == '\t' || c == '\n' || c == '\r') {
      xml += "&#" + std::to_string(static_cast<int>(c)) + ";";
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      xml += c;
    }
  }
  return xml;
}

std::string Element(const char* indent, const char* tag, const std::string& value) {
  return std::string(indent) + "<" + tag + ">" + value + "</" + tag + ">\n";
}

// The ApplicationInfo that Microsoft's Graph samples read from Detection.xml, with the values of
// Graph's fileEncryptionInfo in base64.
std::string DetectionXml(const std::string& name, const Encryption& e) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ApplicationInfo>\n" + Element("  ", "Name", XmlText(name)) +
         Element("  ", "UnencryptedContentSize", std::to_string(e.contentSize)) +
         Element("  ", "FileName", "IntunePackage.intunewin") + Element("  ", "SetupFile", ToUtf8(kProgramFileName)) +
         "  <EncryptionInfo>\n" + Element("    ", "EncryptionKey", Base64(e.key)) +
         Element("    ", "MacKey", Base64(e.macKey)) + Element("    ", "InitializationVector", Base64(e.iv)) +
         Element("    ", "Mac", Base64(e.mac)) + Element("    ", "ProfileIdentifier", "ProfileVersion1") +
         Element("    ", "FileDigest", Base64(e.digest)) + Element("    ", "FileDigestAlgorithm", "SHA256") +
         "  </EncryptionInfo>\n</ApplicationInfo>\n";
}

// The archive holds the source from here on; its index, or -1.
zip_int64_t Add(zip_t* archive, const char* name, Source source) {
  const zip_int64_t index = source ? zip_file_add(archive, name, source.get(), ZIP_FL_ENC_UTF_8) : -1;
  if (index >= 0) (void)source.release();
  return index;
}

bool ZipPackage(const fs::path& encrypted, const std::string& detection, const fs::path& package,
                std::string& error) {
  int code = 0;
  Archive archive(zip_open(package.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
  if (!archive) {
    error = "cannot write " + package.string();
    return false;
  }
  zip_t* zip = archive.get();
  const zip_int64_t content = Add(zip, kContentEntry, Source(zip_source_file(zip, encrypted.c_str(), 0, 0)));
  // Read at zip_close, while detection still lives.
  Source xml(zip_source_buffer(zip, detection.data(), detection.size(), 0));
  // Ciphertext does not compress: stored, it is not deflated for nothing.
  const bool added = content >= 0 && zip_set_file_compression(zip, content, ZIP_CM_STORE, 0) == 0 &&
                     Add(zip, kDetectionEntry, std::move(xml)) >= 0;
  if (!added || zip_close(zip) != 0) {
    error = "cannot write " + package.string() + ": " + zip_strerror(zip);
    return false;
  }
  (void)archive.release();  // zip_close has freed it
  return true;
}

}  // namespace

bool WriteIntuneWin(const fs::path& content, const fs::path& package, const std::string& name, std::string& error) {
  const TemporaryFile encrypted(fs::path(package) += ".content");
  Encryption encryption;
  return Encrypt(content, encrypted.path(), encryption, error) &&
         ZipPackage(encrypted.path(), DetectionXml(name, encryption), package, error);
}

}  // namespace setup::check
