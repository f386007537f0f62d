// winget's multi-file manifest for the distribution shipped as one zip, whose setup.exe winget runs.

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>
#include <memory>
#include <ranges>

#include "setup/base/chars.h"
#include "setup/decisions/settings_names.h"
#include "tools/setup-check/deploy/deploy_descriptions.h"

namespace setup::check {
namespace {

constexpr char kLocale[] = "en-US";

struct ReturnCode {
  int code;
  const char* response;
};

// winget gives the Windows Installer's codes these responses by default for an MSI installer and
// none for an EXE, yet setup.exe ends with the installer's own code. As for an MSI, winget reports
// 3010 (rebootRequiredToFinish) as a success that asks for a restart, and 1641 (rebootInitiated) as
// a failure: the installation is done, but Windows is restarting under it. 1 is setup.exe's: in a
// folder the check passed, started with winget's switches, it ends so only where the system is not
// one the folder accepts (message 1150) or msi.dll is missing or unusable; both are the system's,
// and a retry cannot help.
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

struct Switch {
  const char* mode;  // the InstallModes entry the switch serves
  const char* key;
  const char16_t* option;  // of setup.exe's table
};

// /S for both: setup.exe shows nothing then, which is all silentWithProgress asks (no question to
// answer). No Log switch: winget always passes one, with a path in the user's profile, and setup.exe
// keeps quotation marks in the /debuglog path, so a quoted path never opens, while an unquoted
// one with a blank splits into a property the installer refuses (1639).
constexpr std::array<Switch, 2> kSwitches = {{
    {"silent", "Silent", kSilentOption},
    {"silentWithProgress", "SilentWithProgress", kSilentOption},
}};

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
  Word(out, "RelativeFilePath", ToUtf8(kProgramFileName).c_str());
  out << YAML::EndMap << YAML::EndSeq;
  if (facts.scope != InstallScope::kEither)
    Word(out, "Scope", facts.scope == InstallScope::kMachine ? "machine" : "user");
  out << YAML::Key << "InstallModes" << YAML::Value << YAML::Flow << YAML::BeginSeq << "interactive";
  for (const Switch& given : kSwitches) out << given.mode;
  out << YAML::EndSeq;
  out << YAML::Key << "InstallerSwitches" << YAML::Value << YAML::BeginMap;
  for (const Switch& given : kSwitches) Word(out, given.key, ToUtf8(SetupOption(given.option)).c_str());
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
  // setup.exe /S sets the installer's UI level to none, at which it cannot ask for consent, and
  // winget starts an installer elevated itself only for elevationRequired. A per-user package needs
  // no elevation and still installs from an elevated shell, so nothing is said (elevationProhibited
  // would refuse that shell); nor for either way, where a package that sets MSIINSTALLPERUSER=1
  // installs per user without elevation, and elevated with an administrator's credentials would
  // install for that administrator instead.
  if (facts.scope == InstallScope::kMachine) Word(out, "ElevationRequirement", "elevationRequired");
  // What the Windows Installer registers: without it winget takes the product for an EXE's and
  // cannot upgrade it ("install technology is different"). No DisplayVersion: the installer
  // registers the ProductVersion, which is the PackageVersion, and winget-pkgs asks for it to be
  // left out then.
  out << YAML::Key << "AppsAndFeaturesEntries" << YAML::Value << YAML::BeginSeq << YAML::BeginMap;
  Quoted(out, "DisplayName", facts.productName);
  Quoted(out, "Publisher", facts.manufacturer);
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

// A name's letters and digits in ASCII, 32 at most: ICU writes every script in Latin letters and
// those in ASCII ("Tëst" Test, "Ελληνικά" Ellenika), once blanks and symbols are gone, which
// would otherwise come back as letters ("©" as "(C)").
std::string IdentifierPart(const icu::Transliterator& toAscii, TextView name) {
  icu::UnicodeString text(name.data(), static_cast<int32_t>(name.size()));
  toAscii.transliterate(text);
  std::string part;
  for (int32_t i = 0; i < text.length() && part.size() < 32; ++i) {
    const char16_t c = text[i];
    if (c < 0x80 && std::isalnum(c) != 0) part += static_cast<char>(c);
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

std::string WingetUrlRefusal(std::string_view url) {
  const Text text = FromUtf8(url);
  constexpr TextView kScheme = u"https://";
  // winget-pkgs and wingetcreate take no plain HTTP, whose download anyone on the way can change.
  if (!EqualsIgnoringAsciiCase(TextView(text).substr(0, kScheme.size()), kScheme)) return "https:// only";
  if (text.size() == kScheme.size() || TextView(u"/?#").find(text[kScheme.size()]) != TextView::npos) {
    return "no host after https://";
  }
  // A blank ends the URL where the download reads it, and the schema's "." takes no line end.
  if (std::ranges::any_of(text, [](char16_t c) { return u_isUWhiteSpace(c) != 0 || u_iscntrl(c) != 0; })) {
    return "no blanks or control characters (write a blank as %20)";
  }
  return Characters(text) <= 2048 ? "" : "2048 characters at most";
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
  // NFC first: letters written as a base and its marks become one, and a filter before the first
  // transform would apply to all of them.
  UErrorCode status = U_ZERO_ERROR;
  const std::unique_ptr<icu::Transliterator> toAscii(icu::Transliterator::createInstance(
      icu::UnicodeString(u"NFC; [^[:L:][:M:][:N:]] Remove; Any-Latin; Latin-ASCII"), UTRANS_FORWARD, status));
  if (U_FAILURE(status) != 0 || toAscii == nullptr) return {};
  const std::string publisher = IdentifierPart(*toAscii, manufacturer);
  const std::string product = IdentifierPart(*toAscii, productName);
  return publisher.empty() || product.empty() ? std::string() : publisher + "." + product;
}

}  // namespace setup::check
