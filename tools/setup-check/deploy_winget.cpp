// winget's multi-file manifest for the distribution shipped as one zip, whose setup.exe winget runs.

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>
#include <ranges>

#include "setup/base/chars.h"
#include "tools/setup-check/deploy_descriptions.h"

namespace setup::check {
namespace {

constexpr char kLocale[] = "en-US";

struct ReturnCode {
  int code;
  const char* response;
};

// winget gives the Windows Installer's codes these responses by default for an MSI installer and
// none for an EXE, yet setup.exe ends with the installer's own code. 1 is setup.exe's: in a folder
// the check passed, started with winget's switches, it ends so only where the system is not one
// the folder accepts (message 1150) or msi.dll is missing or unusable; both are the system's, and
// a retry cannot help.
constexpr std::array<ReturnCode, 20> kReturnCodes = {{
    {1618, "installInProgress"},  {112, "diskFull"},
    {1601, "contactSupport"},     {3010, "rebootRequiredToFinish"},
    {1641, "rebootInitiated"},    {1602, "cancelledByUser"},
    {1638, "alreadyInstalled"},   {1654, "systemNotSupported"},
    {1623, "systemNotSupported"}, {1633, "systemNotSupported"},
    {1625, "blockedByPolicy"},    {1640, "blockedByPolicy"},
    {1643, "blockedByPolicy"},    {1644, "blockedByPolicy"},
    {1649, "blockedByPolicy"},    {87, "invalidParameter"},
    {1628, "invalidParameter"},   {1639, "invalidParameter"},
    {1650, "invalidParameter"},   {1, "systemNotSupported"},
}};

// Texts from the package and the command line are always quoted: plain, "123", "true" or "null"
// would read back as a number, a boolean or nothing. winget's own words stay plain.
void Quoted(YAML::Emitter& out, const char* key, const std::string& text) {
  out << YAML::Key << key << YAML::Value << YAML::DoubleQuoted << text;
}

void Word(YAML::Emitter& out, const char* key, const char* word) { out << YAML::Key << key << YAML::Value << word; }

std::string Manifest(const char* type, const DeployFacts& facts, const std::function<void(YAML::Emitter&)>& fields) {
  YAML::Emitter out;
  out << YAML::Comment("Written by setup-check --deploy from the distribution folder and its package.") << YAML::Newline
      << YAML::Comment(std::string("yaml-language-server: $schema=https://aka.ms/winget-manifest.") + type +
                       ".1.10.0.schema.json")
      << YAML::Newline << YAML::BeginMap;
  Quoted(out, "PackageIdentifier", facts.identifier);
  Quoted(out, "PackageVersion", facts.productVersion);
  fields(out);
  Word(out, "ManifestType", type);
  Word(out, "ManifestVersion", "1.10.0");
  out << YAML::EndMap;
  return std::string(out.c_str()) + "\n";
}

void InstallerFields(YAML::Emitter& out, const DeployFacts& facts) {
  if (!facts.minimumWindows.empty()) Quoted(out, "MinimumOSVersion", facts.minimumWindows);
  Word(out, "InstallerType", "zip");
  Word(out, "NestedInstallerType", "exe");
  out << YAML::Key << "NestedInstallerFiles" << YAML::Value << YAML::BeginSeq << YAML::BeginMap;
  Word(out, "RelativeFilePath", "setup.exe");
  out << YAML::EndMap << YAML::EndSeq;
  if (facts.scope != InstallScope::kEither)
    Word(out, "Scope", facts.scope == InstallScope::kMachine ? "machine" : "user");
  out << YAML::Key << "InstallModes" << YAML::Value << YAML::Flow << YAML::BeginSeq << "interactive"
      << "silent" << YAML::EndSeq;
  // No Log switch: winget always passes one, with a path in the user's profile, and setup.exe
  // keeps quotation marks in the /debuglog path, so a quoted path never opens, while an unquoted
  // one with a blank splits into a property the installer refuses (1639).
  out << YAML::Key << "InstallerSwitches" << YAML::Value << YAML::BeginMap;
  Word(out, "Silent", "/S");
  Word(out, "SilentWithProgress", "/S");
  out << YAML::EndMap;
  out << YAML::Key << "ExpectedReturnCodes" << YAML::Value << YAML::BeginSeq;
  for (const ReturnCode& code : kReturnCodes) {
    out << YAML::BeginMap << YAML::Key << "InstallerReturnCode" << YAML::Value << code.code;
    Word(out, "ReturnResponse", code.response);
    out << YAML::EndMap;
  }
  out << YAML::EndSeq;
  Word(out, "UpgradeBehavior", "install");
  Quoted(out, "ProductCode", facts.productCode);
  if (facts.scope == InstallScope::kMachine) Word(out, "ElevationRequirement", "elevatesSelf");
  // What the Windows Installer registers: without it winget takes the product for an EXE's and
  // cannot upgrade it ("install technology is different").
  out << YAML::Key << "AppsAndFeaturesEntries" << YAML::Value << YAML::BeginSeq << YAML::BeginMap;
  Quoted(out, "DisplayName", facts.productName);
  Quoted(out, "Publisher", facts.manufacturer);
  Quoted(out, "DisplayVersion", facts.productVersion);
  Quoted(out, "ProductCode", facts.productCode);
  if (!facts.upgradeCode.empty()) Quoted(out, "UpgradeCode", facts.upgradeCode);
  Word(out, "InstallerType", "msi");
  out << YAML::EndMap << YAML::EndSeq;
  out << YAML::Key << "Installers" << YAML::Value << YAML::BeginSeq << YAML::BeginMap;
  Word(out, "Architecture", facts.architecture.c_str());
  Quoted(out, "InstallerUrl", facts.url);
  Quoted(out, "InstallerSha256", facts.sha256);
  out << YAML::EndMap << YAML::EndSeq;
}

// Characters that neither a PackageIdentifier's parts nor a PackageVersion may hold.
bool OutsideNames(char16_t c) { return c < 0x20 || TextView(u"\\/:*?\"<>|").find(c) != TextView::npos; }

// Characters as the schema counts them: a surrogate pair is one.
size_t Characters(TextView text) {
  return std::ranges::count_if(text, [](char16_t c) { return c < 0xDC00 || c > 0xDFFF; });
}

std::string IdentifierPart(TextView name) {
  std::string part;
  for (const char16_t c : name) {
    if (c < 0x80 && std::isalnum(c) != 0 && part.size() < 32) part += static_cast<char>(c);
  }
  return part;
}

}  // namespace

std::vector<DescriptionFile> WingetManifests(const DeployFacts& facts) {
  const std::string base = "winget/" + facts.identifier;
  return {
      {base + ".yaml", Manifest("version", facts, [](YAML::Emitter& out) { Word(out, "DefaultLocale", kLocale); })},
      {base + ".installer.yaml",
       Manifest("installer", facts, [&facts](YAML::Emitter& out) { InstallerFields(out, facts); })},
      {base + ".locale." + kLocale + ".yaml",
       Manifest("defaultLocale", facts,
                [&facts](YAML::Emitter& out) {
                  Word(out, "PackageLocale", kLocale);
                  Quoted(out, "Publisher", facts.manufacturer);
                  Quoted(out, "PackageName", facts.productName);
                  out << YAML::Key << "License" << YAML::Value << "Proprietary"
                      << YAML::Comment("the package names no license: state the product's own");
                  Quoted(out, "ShortDescription", facts.description);
                })},
  };
}

bool IsWingetUrl(std::string_view url) {
  const Text text = FromUtf8(url);
  const size_t scheme = text.find(u"://");
  if (scheme == Text::npos || (!EqualsIgnoringAsciiCase(text.substr(0, scheme), u"http") &&
                               !EqualsIgnoringAsciiCase(text.substr(0, scheme), u"https"))) {
    return false;
  }
  // The pattern's "." takes no line end.
  return scheme + 3 < text.size() && Characters(text) <= 2048 && text.find_first_of(u"\r\n\u2028\u2029") == Text::npos;
}

bool IsWingetIdentifier(std::string_view id) {
  const Text text = FromUtf8(id);
  size_t parts = 0;
  for (size_t start = 0; start <= text.size();) {
    const TextView part = TextView(text).substr(start, text.find(u'.', start) - start);
    start += part.size() + 1;
    const size_t length = Characters(part);
    const auto refused = [](char16_t c) { return OutsideNames(c) || IsSpace(c) || c == 0xFEFF; };
    if (length == 0 || length > 32 || std::ranges::any_of(part, refused)) return false;
    ++parts;
  }
  return parts >= 2 && parts <= 8 && Characters(text) <= 128;
}

bool IsWingetVersion(std::string_view version) {
  const Text text = FromUtf8(version);
  return !text.empty() && Characters(text) <= 128 && std::ranges::none_of(text, OutsideNames);
}

std::string WingetIdentifierOf(TextView manufacturer, TextView productName) {
  const std::string publisher = IdentifierPart(manufacturer);
  const std::string product = IdentifierPart(productName);
  return publisher.empty() || product.empty() ? std::string() : publisher + "." + product;
}

}  // namespace setup::check
