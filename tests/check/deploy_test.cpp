// setup-check --deploy over the check's folder and fake msi.dll: the winget fields against their
// schema, the facts each engine is told, and the bad input that leaves nothing behind.

#include "tools/setup-check/deploy/deploy.h"

#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "tests/check/deploy_folder.h"
#include "tests/unit/check/check_folder.h"
#include "tools/setup-check/deploy/deploy_archive.h"
#include "tools/setup-check/deploy/deploy_command.h"
#include "tools/setup-check/deploy/deploy_descriptions.h"

namespace setup::check::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kId[] = "ExampleMakers.Product";

// The fields winget's 1.10.0 schemas constrain, as they constrain them; each must be present.
// "*" stands for every element of a list.
constexpr char kInstallerTypes[] = "^(msix|msi|appx|exe|zip|inno|nullsoft|wix|burn|pwa|portable)$";
const struct {
  const char* manifest;
  const char* path;
  const char* pattern;
} kWingetFields[] = {
    {"", "PackageIdentifier", R"(^[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}){1,7}$)"},
    {"", "PackageVersion", R"(^[^\\/:\*\?"<>\|\x01-\x1f]+$)"},
    {"", "DefaultLocale", "^en-US$"},
    {"", "ManifestType", "^version$"},
    {"", "ManifestVersion", R"(^1\.10\.0$)"},
    {".installer", "PackageVersion", R"(^[^\\/:\*\?"<>\|\x01-\x1f]+$)"},
    {".installer", "MinimumOSVersion", R"(^(0|[1-9][0-9]{0,4})(\.(0|[1-9][0-9]{0,4})){0,3}$)"},
    {".installer", "InstallerType", kInstallerTypes},
    {".installer", "NestedInstallerType", "^(msix|msi|appx|exe|inno|nullsoft|wix|burn|portable)$"},
    {".installer", "NestedInstallerFiles/*/RelativeFilePath", "^setup\\.exe$"},
    {".installer", "Scope", "^(user|machine)$"},
    {".installer", "InstallModes/*", "^(interactive|silent|silentWithProgress)$"},
    {".installer", "InstallerSwitches/Silent", "^/S$"},
    {".installer", "InstallerSwitches/SilentWithProgress", "^/S$"},
    {".installer", "ExpectedReturnCodes/*/InstallerReturnCode", "^[1-9][0-9]*$"},
    {".installer", "ExpectedReturnCodes/*/ReturnResponse",
     "^(packageInUse|packageInUseByApplication|installInProgress|fileInUse|missingDependency|diskFull|"
     "insufficientMemory|invalidParameter|noNetwork|contactSupport|rebootRequiredToFinish|rebootRequiredForInstall|"
     "rebootInitiated|cancelledByUser|alreadyInstalled|downgrade|blockedByPolicy|systemNotSupported|custom)$"},
    {".installer", "UpgradeBehavior", "^(install|uninstallPrevious|deny)$"},
    {".installer", "ProductCode", "^.{1,255}$"},
    {".installer", "ElevationRequirement", "^(elevationRequired|elevationProhibited|elevatesSelf)$"},
    {".installer", "AppsAndFeaturesEntries/*/DisplayName", "^.{1,256}$"},
    {".installer", "AppsAndFeaturesEntries/*/UpgradeCode", "^.{1,255}$"},
    {".installer", "AppsAndFeaturesEntries/*/InstallerType", kInstallerTypes},
    {".installer", "Installers/*/Architecture", "^(x86|x64|arm|arm64|neutral)$"},
    {".installer", "Installers/*/InstallerUrl", "^([Hh][Tt][Tt][Pp][Ss]?)://.+$"},
    {".installer", "Installers/*/InstallerSha256", "^[A-Fa-f0-9]{64}$"},
    {".installer", "ManifestType", "^installer$"},
    {".locale.en-US", "PackageLocale", "^en-US$"},
    {".locale.en-US", "Publisher", "^.{2,256}$"},
    {".locale.en-US", "PackageName", "^.{2,256}$"},
    {".locale.en-US", "License", "^.{3,512}$"},
    {".locale.en-US", "ShortDescription", "^.{3,256}$"},
    {".locale.en-US", "ManifestType", "^defaultLocale$"},
};

// The scalars a path names; none when a step is missing.
void Collect(const YAML::Node& node, std::string_view path, std::vector<YAML::Node>& found) {
  if (path.empty()) return found.push_back(node);
  const size_t slash = path.find('/');
  const std::string step(path.substr(0, slash));
  const std::string_view rest = slash == std::string_view::npos ? "" : path.substr(slash + 1);
  if (step == "*") {
    for (const YAML::Node& element : node) Collect(element, rest, found);
  } else if (node.IsMap() && node[step]) {
    Collect(node[step], rest, found);
  }
}

Text HostForm(const Text& windowsPath) { return FromUtf8(HostPathOf(windowsPath)); }

// The shared folder, with what these tests read back of the engines' files.
struct DeployedFolder : DeployFolder {
  YAML::Node Manifest(const std::string& suffix) const {
    return YAML::LoadFile(Out("winget/" + std::string(kId) + suffix + ".yaml").string());
  }
  nlohmann::json Intune() const { return nlohmann::json::parse(std::ifstream(Out("intune/win32LobApp.json"))); }
  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(Out(""))) {
      names.push_back(entry.path().lexically_relative(Out("")).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

class Deploying : public ::testing::Test, public DeployedFolder {};

TEST_F(Deploying, WritesEveryWingetFieldAsTheSchemaConstrainsIt) {
  ASSERT_EQ(Deploy(), 0) << report;
  EXPECT_EQ(Written(), (std::vector<std::string>{
                           "Product-2.0.1.zip", "configmgr", "configmgr/New-Application.ps1", "intune",
                           "intune/setup.intunewin", "intune/win32LobApp.json", "winget", "winget/ExampleMakers.Product.installer.yaml",
                           "winget/ExampleMakers.Product.locale.en-US.yaml", "winget/ExampleMakers.Product.yaml"}));
  for (const auto& field : kWingetFields) {
    std::vector<YAML::Node> found;
    Collect(Manifest(field.manifest), field.path, found);
    ASSERT_FALSE(found.empty()) << field.manifest << " " << field.path;
    for (const YAML::Node& node : found) {
      EXPECT_TRUE(std::regex_match(node.Scalar(), std::regex(field.pattern)))
          << field.manifest << " " << field.path << ": " << node.Scalar();
    }
  }
  const YAML::Node installer = Manifest(".installer");
  EXPECT_EQ(installer["MinimumOSVersion"].Scalar(), "5.1.2600");
  EXPECT_EQ(installer["ExpectedReturnCodes"].size(), 20u);
  EXPECT_EQ(installer["ExpectedReturnCodes"][19]["InstallerReturnCode"].as<int>(), 1);
  // Every mode a switch is given for; no DisplayVersion equal to the PackageVersion (winget-pkgs).
  EXPECT_EQ(installer["InstallModes"].as<std::vector<std::string>>(),
            (std::vector<std::string>{"interactive", "silent", "silentWithProgress"}));
  EXPECT_FALSE(installer["AppsAndFeaturesEntries"][0]["DisplayVersion"]);
}

TEST_F(Deploying, TellsEachEngineWhoThePackageInstallsForAndOnWhichPlatform) {
  const std::string none = "MZ", x86 = ProgramHeader(0x14C, 0x10B), x64 = ProgramHeader(0x8664, 0x20B);
  // winget elevates setup.exe itself only for elevationRequired; /S cannot ask for consent.
  const char* const kRequired = "elevationRequired";
  const struct {
    const char16_t* allUsers;  // none: the package has no ALLUSERS
    const char* cmdLine;
    const char16_t* templateText;
    std::string setupExe;
    const char* scope;      // none: winget's Scope is left out
    const char* elevation;  // none: winget's ElevationRequirement is left out
    const char* architecture;
    const char* intuneArchitectures;
    const char* packageType;
  } cases[] = {
      {u"1", "", u"Intel;1033", none, "machine", kRequired, "x86", "x86,x64", "perMachine"},
      {nullptr, "", u"x64;1033", none, "user", nullptr, "x64", "x64", "perUser"},
      {u"", "", u";1033", none, "user", nullptr, "x86", "x86,x64", "perUser"},
      {u"2", "", u"Arm64;1033", none, nullptr, nullptr, "arm64", "arm64", "dualPurpose"},
      {nullptr, "CmdLine=REBOOT=ReallySuppress ALLUSERS=1", u"Intel;1033", none, "machine", kRequired, "x86", "x86,x64",
       "perMachine"},
      {u"2", "CmdLine=ALLUSERS=\"\"", u"Intel;1033", none, "user", nullptr, "x86", "x86,x64", "perUser"},
      // The engines start setup.exe: a 64-bit one keeps an x86 package off 32-bit Windows.
      {u"1", "", u"Intel;1033", x86, "machine", kRequired, "x86", "x86,x64", "perMachine"},
      {u"1", "", u"Intel;1033", x64, "machine", kRequired, "x64", "x64", "perMachine"},
      {u"1", "", u"x64;1033", x86, "machine", kRequired, "x64", "x64", "perMachine"},
  };
  options.force = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.cmdLine) + " " + ToUtf8(c.templateText) + (c.setupExe == none ? "" : c.setupExe == x86 ? " x86" : " x64"));
    folder.dir.Write("setup.exe", c.setupExe);
    auto& package = folder.Package();
    package.properties.erase(u"ALLUSERS");
    if (c.allUsers != nullptr) package.properties[u"ALLUSERS"] = c.allUsers;
    package.summary[7].text = c.templateText;
    folder.EditSettings("CmdLine=A=1", c.cmdLine);
    ASSERT_EQ(Deploy(), 0) << report;
    const YAML::Node installer = Manifest(".installer");
    EXPECT_EQ(installer["Scope"] ? installer["Scope"].Scalar() : "none", c.scope ? c.scope : "none");
    EXPECT_EQ(installer["ElevationRequirement"] ? installer["ElevationRequirement"].Scalar() : "none",
              c.elevation ? c.elevation : "none");
    EXPECT_EQ(installer["Installers"][0]["Architecture"].Scalar(), c.architecture);
    const nlohmann::json intune = Intune();
    EXPECT_EQ(intune["allowedArchitectures"], c.intuneArchitectures);
    EXPECT_EQ(intune["msiInformation"]["packageType"], c.packageType);
  }
}

// Plain, these texts would read back as a number, a boolean, null, a mapping or a list.
TEST(WingetManifests, QuotesEveryTextSoThatItReadsBackAsText) {
  const DeployFacts facts{.identifier = "Example.Product",
                          .productName = "Quill: Notes",
                          .manufacturer = "{Quill} Works",
                          .productCode = "[A]",
                          .upgradeCode = "null",
                          .productVersion = "3.2",
                          .description = "true",
                          .architecture = "x86",
                          .minimumWindows = "10.0",
                          .url = "https://x.example/a #b",
                          .sha256 = std::string(64, '7')};
  const std::set<std::string> texts = {
      facts.identifier,     facts.productName, facts.manufacturer,   facts.productCode, facts.upgradeCode,
      facts.productVersion, facts.description, facts.minimumWindows, facts.url,         facts.sha256};
  std::set<std::string> found;
  const std::function<void(const YAML::Node&)> visit = [&](const YAML::Node& node) {
    if (node.IsScalar() && texts.contains(node.Scalar())) {
      found.insert(node.Scalar());
      EXPECT_EQ(node.Tag(), "!") << node.Scalar() << " is not quoted";
    }
    for (auto it = node.begin(); it != node.end(); ++it) visit(node.IsMap() ? it->second : *it);
  };
  for (const DescriptionFile& file : WingetManifests(facts)) visit(YAML::Load(file.bytes));
  EXPECT_EQ(found, texts);
}

TEST(DeployInput, IsRefusedWithoutLeavingAnythingBehind) {
  const struct {
    const char* what;
    std::function<void(DeployedFolder&)> arrange;
    int exitCode;
    const char* message;
  } cases[] = {
      {"a folder with errors", [](DeployedFolder& d) { d.folder.EditSettings("ProductCode={1111", "ProductCode={9111"); },
       2, "the folder has errors"},
      // The check's own error: the program stops reading a package at the missing property.
      {"a package without ProductVersion",
       [](DeployedFolder& d) {
         d.folder.Package().properties.erase(u"ProductVersion");
         d.folder.EditSettings("ProductVersion=2.0.1\r\n", "");
       },
       2, "[package-unreadable]"},
      {"a package without ProductCode", [](DeployedFolder& d) { d.folder.Package().properties.erase(u"ProductCode"); }, 2,
       "[package-unreadable]"},
      {"a package without Manufacturer", [](DeployedFolder& d) { d.folder.Package().properties.erase(u"Manufacturer"); },
       3, "Manufacturer"},
      {"a platform winget does not know", [](DeployedFolder& d) { d.folder.Package().summary[7].text = u"Intel64;1033"; },
       3, "Intel64"},
      {"a URL winget refuses", [](DeployedFolder& d) { d.options.url = u"http://downloads.example/p.zip"; }, 3,
       "--url http://downloads.example/p.zip is not one winget takes: https:// only"},
      {"an identifier winget refuses", [](DeployedFolder& d) { d.options.id = u"Example Makers.Product"; }, 3, "--id"},
      {"a maker named in symbols only",
       [](DeployedFolder& d) { d.folder.Package().properties[u"Manufacturer"] = u"★ ☆"; }, 3,
       "give --id PUBLISHER.PRODUCT"},
      {"a --zip that does not exist", [](DeployedFolder& d) { d.options.zip = HostForm(d.out.PathOf("none.zip")); }, 3,
       "no such file"},
      {"files that exist, without --force", [](DeployedFolder& d) { d.Deploy(); }, 3, "--force overwrites them"},
      {"an OUT_DIR below a file",
       [](DeployedFolder& d) { d.options.outDir = HostForm(d.out.Write("file", "")) + u"/out"; }, 3, "cannot write"},
      // The winget files and the zip are written before the Intune body fails: all go again.
      {"an OUT_DIR that takes only some files", [](DeployedFolder& d) { d.out.Write("intune", "a file"); }, 3,
       "cannot write"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeployedFolder fresh;
    c.arrange(fresh);
    const std::vector<std::string> before = fresh.Written();
    EXPECT_EQ(fresh.Deploy(), c.exitCode) << fresh.report;
    EXPECT_NE(fresh.report.find(c.message), std::string::npos) << fresh.report;
    EXPECT_EQ(fresh.Written(), before);
  }
}

TEST(WingetIdentifierOf, WritesTheNamesLettersAndDigitsInAsciiAndKeepsTheirCapitals) {
  const struct {
    const char16_t* manufacturer;
    const char16_t* productName;
    const char* identifier;  // empty: none can be made
  } cases[] = {
      {u"Example Makers", u"Product 2", "ExampleMakers.Product2"},
      {u"Tëst", u"Rechnungsprüfer [Pro]; édition #2", "Test.RechnungspruferProedition2"},
      {u"Ελληνικά Εργαλεία", u"Λογιστική", "EllenikaErgaleia.Logistike"},
      {u"Плюс Софт", u"Бухгалтерия", "PlusSoft.Buhgalteria"},
      {u"株式会社", u"漢字", "zhushihuishe.hanzi"},
      // Symbols go before they could come back as letters: © would be (C).
      {u"Quill Works®", u"Notes™ ©", "QuillWorks.Notes"},
      {u"Example", u"A product name of more than thirty-two letters", "Example.Aproductnameofmorethanthirtytwol"},
      {u"★ ☆ !!", u"Product", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WingetIdentifierOf(c.manufacturer, c.productName), c.identifier) << c.identifier;
  }
}

TEST(WingetUrlRefusal, TakesOnlyHttpsUrlsThatDownloadAsWritten) {
  const struct {
    std::string url;
    const char* refusal;  // empty: taken
  } cases[] = {
      {"https://downloads.example/p%20q-2.0.1.zip", ""},
      {"HTTPS://downloads.example/p.zip", ""},
      {"http://downloads.example/p.zip", "https:// only"},
      {"ftp://downloads.example/p.zip", "https:// only"},
      {"downloads.example/p.zip", "https:// only"},
      {"https://", "no host"},
      {"https:///p.zip", "no host"},
      {"https://downloads.example/p q.zip", "no blanks"},
      {"https://downloads.example/p\u00A0q.zip", "no blanks"},
      {"https://downloads.example/p.zip\n", "no blanks"},
      {"https://downloads.example/p\x7F.zip", "no blanks"},
      {"https://downloads.example/" + std::string(2023, 'p'), "2048 characters"},
  };
  for (const auto& c : cases) {
    const std::string refusal = WingetUrlRefusal(c.url);
    EXPECT_EQ(refusal.substr(0, std::string_view(c.refusal).size()), c.refusal) << c.url << ": " << refusal;
    EXPECT_EQ(refusal.empty(), *c.refusal == '\0') << c.url;
  }
  EXPECT_EQ(WingetUrlRefusal("https://downloads.example/" + std::string(2022, 'p')), "");
}

void Put(zip_t* zip, const char* name, std::string_view bytes) {
  zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
  ASSERT_GE(zip_file_add(zip, name, source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8), 0) << zip_strerror(zip);
}

// Each case changes the folder's own zip (ZipFolder's) before --zip is given it.
TEST(DeployZip, IsTakenOnlyWhenItHoldsTheFolderAndNoOtherDistribution) {
  const struct {
    const char* what;
    std::function<void(zip_t*)> change;
    const char* refusal;  // nullptr: taken
  } cases[] = {
      {"the folder's own", [](zip_t*) {}, nullptr},
      {"with a file of its own", [](zip_t* z) { Put(z, "docs/readme.txt", "read me"); }, nullptr},
      {"without a file of the folder", [](zip_t* z) { zip_delete(z, zip_name_locate(z, "0x0409.ini", 0)); },
       "the folder's 0x0409.ini is not in it"},
      {"with other bytes of the same size", [](zip_t* z) { Put(z, "setup.exe", "ZM"); }, "its setup.exe differs"},
      {"with a longer file", [](zip_t* z) { Put(z, "setup.exe", "MZ!"); }, "its setup.exe differs"},
      {"with a second settings file", [](zip_t* z) { Put(z, "SETUP.INI", "[Startup]\r\n"); },
       "its SETUP.INI is another file of the folder's Setup.ini"},
      {"with another package", [](zip_t* z) { Put(z, "Other.MSI", "package"); }, "it holds Other.MSI"},
      {"with a setup.exe in a folder", [](zip_t* z) { Put(z, "old/Setup.exe", "MZ"); }, "it holds old/Setup.exe"},
      {"of another product",
       [](zip_t* z) {
         Put(z, "product.msi", "another package");
         Put(z, "Setup.ini", "[Startup]\r\nProductCode={99999999-9999-9999-9999-999999999999}\r\n");
       },
       "its Setup.ini differs from the folder's"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeployedFolder fresh;
    const setup::testing::TempDir zips;
    const fs::path zip = HostPathOf(zips.PathOf("product.zip"));
    std::string error;
    ASSERT_TRUE(ZipFolder(HostPathOf(fresh.folder.dir.folder()), zip, error)) << error;
    int code = 0;
    zip_t* archive = zip_open(zip.c_str(), 0, &code);
    ASSERT_NE(archive, nullptr) << code;
    c.change(archive);
    ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
    fresh.options.zip = HostForm(zips.PathOf("product.zip"));
    if (c.refusal == nullptr) {
      EXPECT_EQ(fresh.Deploy(), 0) << fresh.report;
      EXPECT_EQ(fresh.Manifest(".installer")["Installers"][0]["InstallerSha256"].Scalar(), Sha256Of(zip));
      continue;
    }
    EXPECT_EQ(fresh.Deploy(), 3) << fresh.report;
    EXPECT_NE(fresh.report.find(c.refusal), std::string::npos) << fresh.report;
    EXPECT_TRUE(fresh.Written().empty());
  }
}

TEST(DeployArguments, NameBothFoldersAndWantTheUrl) {
  const ParsedDeploy parsed = ParseDeployArguments(
      {u"dist", u"out", u"--url", u"https://x.example/p.zip", u"--id", u"A.B", u"--zip", u"p.zip", u"--force"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const DeployOptions& o = *parsed.options;
  EXPECT_EQ(std::tie(o.distribution, o.outDir, o.url, o.id),
            std::tie(u"dist", u"out", u"https://x.example/p.zip", u"A.B"));
  EXPECT_TRUE(o.zip == u"p.zip" && o.force);
  EXPECT_NE(ParseDeployArguments({u"dist", u"out"}).error.find("--url"), std::string::npos);
  EXPECT_NE(DeployHelp().find("--deploy [OPTIONS] DIST_DIR OUT_DIR"), std::string::npos);
}

}  // namespace
}  // namespace setup::check::testing
