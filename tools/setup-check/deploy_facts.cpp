#include "tools/setup-check/deploy_facts.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <utility>

#include "setup/base/chars.h"
#include "setup/installer/msi_handle.h"
#include "tools/setup-check/deploy_descriptions.h"
#include "tools/setup-check/package_facts.h"
#include "tools/setup-check/result_codes.h"

namespace setup::check {
namespace {

constexpr uint32_t kSummaryComments = 6;  // PID_COMMENTS
constexpr uint32_t kSummaryTemplate = 7;  // PID_TEMPLATE: "Intel;1033", the platform before the languages

struct Platform {
  const char16_t* msi;
  const char* winget;
};

// The Template's platforms as the Windows Installer names them; none is Intel.
constexpr std::array<Platform, 6> kPlatforms = {{
    {u"", "x86"},
    {u"Intel", "x86"},
    {u"x64", "x64"},
    {u"AMD64", "x64"},
    {u"Arm", "arm"},
    {u"Arm64", "arm64"},
}};

// Beyond what ReadPackageFacts reads; what the package lacks stays empty.
struct PackageIdentity {
  Text upgradeCode, manufacturer, allUsers, platform, comments;
};

PackageIdentity ReadIdentity(const MsiLibrary& msi, const Text& path) {
  PackageIdentity identity;
  MsiHandle handle = 0;
  if (msi.OpenDatabase(path, handle) != 0) return identity;
  ScopedMsiHandle database(msi, handle);
  for (const auto& [name, value] :
       {std::pair{u"UpgradeCode", &identity.upgradeCode}, std::pair{u"Manufacturer", &identity.manufacturer},
        std::pair{u"ALLUSERS", &identity.allUsers}}) {
    ReadSingleValue(msi, database.get(), Text(u"SELECT Value FROM Property WHERE Property = '") + name + u"'", *value);
  }
  MsiHandle summaryHandle = 0;
  if (msi.GetSummaryInformation(database.get(), summaryHandle) != 0) return identity;
  ScopedMsiHandle summary(msi, summaryHandle);
  uint32_t dataType = 0;
  int32_t unused = 0;
  msi.SummaryGetProperty(summary.get(), kSummaryTemplate, dataType, unused, identity.platform);
  identity.platform.resize(std::min(identity.platform.size(), identity.platform.find(u';')));
  msi.SummaryGetProperty(summary.get(), kSummaryComments, dataType, unused, identity.comments);
  return identity;
}

// ALLUSERS as the run hands it to the installer (CmdLine, free arguments), which then counts
// instead of the package's own; the last one given counts.
std::optional<Text> AllUsersGiven(TextView properties) {
  constexpr TextView kName = u"ALLUSERS=";
  std::optional<Text> value;
  for (size_t at = properties.find(kName); at != TextView::npos; at = properties.find(kName, at + 1)) {
    if (at > 0 && properties[at - 1] != u' ') continue;
    TextView rest = properties.substr(at + kName.size());
    const bool quoted = !rest.empty() && rest.front() == u'"';
    rest.remove_prefix(quoted ? 1 : 0);
    value = Text(rest.substr(0, rest.find(quoted ? u'"' : u' ')));
  }
  return value;
}

InstallScope ScopeOf(TextView allUsers) {
  if (allUsers.empty()) return InstallScope::kUser;
  return allUsers == u"2" ? InstallScope::kEither : InstallScope::kMachine;
}

const char* ArchitectureOf(TextView platform) {
  for (const Platform& known : kPlatforms) {
    if (EqualsIgnoringAsciiCase(platform, known.msi)) return known.winget;
  }
  return nullptr;
}

// winget compares MAJOR.MINOR.BUILD, each part at most 65535; a service pack it cannot state.
std::string MinimumWindowsOf(const std::optional<SystemVersion>& lowest) {
  if (!lowest || std::max({lowest->major, lowest->minor, lowest->build}) > 0xFFFF) return {};
  return std::to_string(lowest->major) + "." + std::to_string(lowest->minor) + "." + std::to_string(lowest->build);
}

}  // namespace

std::optional<SystemVersion> LowestSystem(const OsView& os) {
  const auto order = [](const OsRequirement& r) {
    return std::tie(r.major, r.minor, r.build, r.servicePackMajor, r.servicePackMinor);
  };
  std::optional<SystemVersion> lowest;
  for (const OsEntryView& entry : os.entries) {
    if (!entry.enabled || !entry.sectionFound || IsNeverMet(entry.requirement)) continue;
    if (!lowest || order(entry.requirement) < order(*lowest)) lowest = entry.requirement;
  }
  return lowest;
}

std::optional<DeployFacts> DeployFactsOf(const Observation& seen, const FakeModule& packageReader, const Text& id,
                                         std::string& error) {
  HostPlatform platform;
  platform.modules[u"msi.dll"] = packageReader;
  MsiLibrary msi(platform);
  msi.Bind();
  const Text& path = seen.package.path;
  const PackageFacts package = ReadPackageFacts(msi, path);
  if (package.result != 0 || package.productCode.empty() || package.productVersion.empty()) {
    error = "cannot read ProductCode and ProductVersion of " + ToUtf8(path) + " (result " +
            ResultCodeText(package.result) + ")";
    return std::nullopt;
  }
  const PackageIdentity identity = ReadIdentity(msi, path);
  DeployFacts facts;
  facts.productName = ToUtf8(package.productName);
  facts.manufacturer = ToUtf8(identity.manufacturer);
  facts.productCode = ToUtf8(package.productCode);
  facts.upgradeCode = ToUtf8(identity.upgradeCode);
  facts.productVersion = ToUtf8(package.productVersion);
  facts.description = identity.comments.size() >= 3 && identity.comments.size() <= 256
                          ? ToUtf8(identity.comments)
                          : facts.productName + " " + facts.productVersion;
  facts.scope = ScopeOf(AllUsersGiven(seen.install.propertyString).value_or(identity.allUsers));
  facts.minimumWindows = MinimumWindowsOf(LowestSystem(seen.os));
  facts.identifier = id.empty() ? WingetIdentifierOf(identity.manufacturer, package.productName) : ToUtf8(id);
  const char* architecture = ArchitectureOf(identity.platform);
  if (package.productName.size() < 2 || identity.manufacturer.size() < 2) {
    error =
        "the package's ProductName and Manufacturer, winget's PackageName and Publisher, need two characters at "
        "least";
  } else if (architecture == nullptr) {
    error = "winget has no architecture for the platform \"" + ToUtf8(identity.platform) +
            "\" of the package's summary (Template)";
  } else if (!IsWingetVersion(facts.productVersion)) {
    error = "winget's PackageVersion cannot be the package's ProductVersion \"" + facts.productVersion + "\"";
  } else if (!IsWingetIdentifier(facts.identifier)) {
    error = id.empty() ? "cannot make a winget PackageIdentifier of the names \"" + facts.manufacturer + "\" and \"" +
                             facts.productName + "\": give --id PUBLISHER.PRODUCT"
                       : "--id " + facts.identifier +
                             " is not a winget PackageIdentifier: two to eight parts joined by \".\", each of 1 to "
                             "32 characters without blanks or \\ / : * ? \" < > |";
  }
  if (!error.empty()) return std::nullopt;
  facts.architecture = architecture;
  return facts;
}

}  // namespace setup::check
