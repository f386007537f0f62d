// Intune: the Win32 app body for each kind of package, and the .intunewin taken apart with the
// openssl program, as Intune decrypts it, rather than with the code that made it.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <vector>

#include "setup/platform/host/host_platform.h"
#include "tests/support/temp_dir.h"
#include "tools/setup-check/deploy/deploy_archive.h"
#include "tools/setup-check/deploy/deploy_descriptions.h"
#include "tools/setup-check/deploy/deploy_intunewin.h"

namespace setup::check::testing {
namespace {

namespace fs = std::filesystem;

TEST(IntuneApp, InstallsEachKindOfPackageAsItsAccountWithTheLogOnItsArchitectures) {
  const struct {
    InstallScope scope;
    const char* architecture;
    const char* runAs;
    const char* install;
    const char* allowed;
  } cases[] = {
      {InstallScope::kMachine, "x86", "system",
       R"(setup.exe /S /debuglog C:\Windows\Temp\Product-2.0.1-setup.log)", "x86,x64"},
      {InstallScope::kUser, "x64", "user", R"(setup.exe /S /debuglog %TEMP%\Product-2.0.1-setup.log)",
       "x64"},
      {InstallScope::kEither, "arm64", "system",
       R"(setup.exe /S /debuglog C:\Windows\Temp\Product-2.0.1-setup.log ALLUSERS=1)", "arm64"},
      {InstallScope::kMachine, "arm", "system",
       R"(setup.exe /S /debuglog C:\Windows\Temp\Product-2.0.1-setup.log)", "arm64"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.install + std::string(" ") + c.architecture);
    DeployFacts facts;
    facts.identifier = "Example.Product";
    facts.productVersion = "2.0.1";
    facts.scope = c.scope;
    facts.architecture = c.architecture;
    const nlohmann::json app = nlohmann::json::parse(IntuneApp(facts).bytes);
    EXPECT_EQ(app["installExperience"]["runAsAccount"], c.runAs);
    EXPECT_EQ(app["installCommandLine"], c.install);
    EXPECT_EQ(app["allowedArchitectures"], c.allowed);
    EXPECT_EQ(app["applicableArchitectures"], "none");
    EXPECT_EQ(app["fileName"], "setup.intunewin");
  }
}

// Every file of a zip by its name.
std::map<std::string, std::string> Unzip(const fs::path& zip) {
  const std::unique_ptr<zip_t, decltype(&zip_discard)> archive(zip_open(zip.c_str(), ZIP_RDONLY, nullptr),
                                                                 zip_discard);
  std::map<std::string, std::string> files;
  zip_stat_t stat;
  for (zip_int64_t i = 0; archive && zip_stat_index(archive.get(), i, 0, &stat) == 0; ++i) {
    const std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(zip_fopen_index(archive.get(), i, 0), zip_fclose);
    std::string& bytes = files[stat.name] = std::string(stat.size, '\0');
    zip_fread(file.get(), bytes.data(), bytes.size());
  }
  return files;
}

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (const unsigned char c : bytes) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return hex;
}

std::string ElementOf(const std::string& xml, const std::string& tag) {
  std::smatch found;
  return std::regex_search(xml, found, std::regex("<" + tag + ">([^<]*)</" + tag + ">")) ? found[1].str() : "";
}

// A base64 value of Detection.xml in hexadecimal, as the openssl program takes bytes.
std::string HexOf(const std::string& xml, const std::string& tag) {
  const std::string text = ElementOf(xml, tag);
  std::string bytes(text.size() / 4 * 3, '\0');
  const int size = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                   reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  bytes.resize(std::max<std::ptrdiff_t>(0, size - std::count(text.begin(), text.end(), '=')));
  return Hex(bytes);
}

// What the openssl program prints for the command run in folder, which must succeed.
std::string OpenSsl(const std::string& arguments, const fs::path& folder) {
  const std::string command = "cd '" + folder.string() + "' && openssl " + arguments + " > printed";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream printed(folder / "printed");
  return {std::istreambuf_iterator<char>(printed), {}};
}

TEST(IntuneWin, IsTheFolderEncryptedAsDetectionXmlTellsUnderFreshKeys) {
  const setup::testing::TempDir folder;
  const setup::testing::TempDir work;
  const fs::path dir = HostPathOf(work.folder());
  // More than one block of the encryption's, even zipped.
  std::string program = "MZ";
  for (std::minstd_rand noise; program.size() < 200000;) program += static_cast<char>(noise());
  const std::map<std::string, std::string> files = {{"setup.exe", program}, {"data/product.msi", "msi"}};
  for (const auto& [name, bytes] : files) folder.Write(name, bytes);
  std::string error;
  ASSERT_TRUE(ZipFolder(HostPathOf(folder.folder()), dir / "content.zip", error)) << error;
  std::set<std::string> keys;
  for (const char* package : {"first.intunewin", "second.intunewin"}) {
    ASSERT_TRUE(WriteIntuneWin(dir / "content.zip", dir / package, "Quill & <Notes>", error)) << error;
    std::map<std::string, std::string> entries = Unzip(dir / package);
    ASSERT_EQ(entries.size(), 2U);
    const std::string xml = entries["IntuneWinPackage/Metadata/Detection.xml"];
    const std::string sealed = entries["IntuneWinPackage/Contents/IntunePackage.intunewin"];
    for (const auto& [tag, value] : {std::pair{"Name", "Quill &amp; &lt;Notes&gt;"},
                                     {"FileName", "IntunePackage.intunewin"},
                                     {"SetupFile", "setup.exe"},
                                     {"ProfileIdentifier", "ProfileVersion1"},
                                     {"FileDigestAlgorithm", "SHA256"}}) {
      EXPECT_EQ(ElementOf(xml, tag), value);
    }
    const std::string key = HexOf(xml, "EncryptionKey"), macKey = HexOf(xml, "MacKey");
    const std::string iv = HexOf(xml, "InitializationVector"), mac = HexOf(xml, "Mac");
    ASSERT_EQ((std::vector{key.size(), macKey.size(), iv.size(), mac.size()}), (std::vector<size_t>{64, 64, 32, 64}));
    keys.insert({key, macKey, iv});

    // HMAC-SHA256 of IV and ciphertext, then the IV, then the ciphertext.
    ASSERT_GT(sealed.size(), 48U);
    EXPECT_EQ(Hex(sealed.substr(0, 48)), mac + iv);
    work.Write("signed", sealed.substr(32));
    work.Write("ciphertext", sealed.substr(48));
    EXPECT_EQ(OpenSsl("dgst -sha256 -mac HMAC -macopt hexkey:" + macKey + " -r signed", dir), mac + " *signed\n");
    OpenSsl("enc -d -aes-256-cbc -K " + key + " -iv " + iv + " -in ciphertext -out plain", dir);
    EXPECT_EQ(OpenSsl("dgst -sha256 -r plain", dir), HexOf(xml, "FileDigest") + " *plain\n");
    EXPECT_EQ(ElementOf(xml, "UnencryptedContentSize"), std::to_string(fs::file_size(dir / "plain")));
    EXPECT_EQ(Unzip(dir / "plain"), files);
  }
  EXPECT_EQ(keys.size(), 6U) << "a key, MAC key or IV came twice";
}

TEST(IntuneWin, LeavesNothingWhenTheContentCannotBeRead) {
  const setup::testing::TempDir work;
  const fs::path dir = HostPathOf(work.folder());
  std::string error;
  EXPECT_FALSE(WriteIntuneWin(dir / "none.zip", dir / "setup.intunewin", "Product", error));
  EXPECT_NE(error.find("none.zip"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_empty(dir));
}

}  // namespace
}  // namespace setup::check::testing
