#include "tools/setup-check/deploy/deploy_facts.h"

#include "setup/decisions/os_requirements.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string_view>
#include <tuple>

#include "setup/base/chars.h"
#include "setup/decisions/settings_names.h"
#include "tools/setup-check/deploy/deploy_descriptions.h"
#include "tools/setup-check/shared/package_facts.h"

namespace setup::check {
namespace {

// setup.exe as the engines start it from the folder, with options of its table.
std::string ProgramWith(std::initializer_list<const char16_t*> options) {
  Text command = kProgramFileName;
  for (const char16_t* option : options) command += u' ' + SetupOption(option);
  return ToUtf8(command);
}

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

// The log's file name: the product part of the identifier and the version, as the zip is named,
// cut to characters that need no quoting and that no engine expands (no blank, quotation mark or %).
std::string LogFileName(const DeployFacts& facts) {
  std::string name = facts.identifier.substr(facts.identifier.rfind('.') + 1) + "-" + facts.productVersion;
  std::erase_if(name, [](char c) {
    return !((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
             c == '_');
  });
  return name + "-setup.log";
}

}  // namespace

InstallAccount InstallAccountOf(InstallScope scope) {
  return scope == InstallScope::kUser ? InstallAccount::kUser : InstallAccount::kSystem;
}

// The installer does not start without its log (1622, as msiexec does for /l), so the folder must
// be one where the account can make the file, and write it again on the next run.
// - As the system: its own temporary folder, written out rather than as %WINDIR%\Temp so that it
//   does not depend on the engine expanding variables; the system may write there.
// - As a user: not C:\Windows\Temp, where users may make files but only a file's maker may write to
//   it, so that the second user of a machine would find the first one's log there and fail. The
//   user's own %TEMP% instead: no per-user folder has a fixed path, so this one relies on the
//   engine expanding the variable in the environment of the account it starts setup.exe as. The
//   path holds a blank where the name of the user's profile folder does ("C:\Users\Ann Lee"), and
//   setup.exe then takes the rest for a property, which the installer refuses (1639).
std::string InstallLogPath(const DeployFacts& facts, InstallAccount account) {
  return (account == InstallAccount::kSystem ? "C:\\Windows\\Temp\\" : "%TEMP%\\") + LogFileName(facts);
}

// ALLUSERS=2 lets the installer choose: by the user's rights up to Windows Installer 4.5, by
// MSIINSTALLPERUSER from 5.0 (Windows 7) on, which a package that offers both scopes often sets
// to 1, and as the system a per-user installation lands in the system account's own profile.
// ALLUSERS=1, given after CmdLine's properties, which it then overrides, installs per machine on
// every Windows, as the system account may.
std::string InstallCommandWithLog(const DeployFacts& facts, InstallAccount account) {
  std::string command = ProgramWith({kSilentOption, kDebugLogOption}) + " " + InstallLogPath(facts, account);
  if (account == InstallAccount::kSystem && facts.scope == InstallScope::kEither) command += " ALLUSERS=1";
  return command;
}

std::string RemovalCommand() { return ProgramWith({kRemovalOption, kSilentOption}); }

Text SetupOption(const char16_t* name) { return u'/' + Text(name); }

// An entry is lower than another when a system of the other's versions meets it and not the
// reverse, as the system itself compares them.
std::optional<SystemVersion> LowestSystem(const OsView& os) {
  std::optional<SystemVersion> lowest;
  for (const OsEntry& entry : os.entries) {
    if (!entry.enabled || !entry.sectionFound || IsNeverMet(entry.requirement)) continue;
    const bool lower = !lowest || (SystemSatisfies(*lowest, entry.requirement) &&
                                   !SystemSatisfies(entry.requirement, *lowest));
    if (lower) lowest = entry.requirement;
  }
  return lowest;
}

std::optional<DeployFacts> DeployFactsOf(const CheckResult& checked, const Text& id, std::string& error) {
  const Observation& seen = checked.seen;
  const Text& path = seen.package.path;
  const PackageFacts& package = seen.package.facts;
  error = UnreadableReason(package, ToUtf8(path));
  if (!error.empty()) return std::nullopt;
  DeployFacts facts;
  facts.productName = ToUtf8(package.productName);
  facts.manufacturer = ToUtf8(package.manufacturer);
  facts.productCode = ToUtf8(package.productCode);
  facts.upgradeCode = ToUtf8(package.upgradeCode);
  facts.productVersion = ToUtf8(package.productVersion);
  facts.description = package.comments.size() >= 3 && package.comments.size() <= 256
                          ? ToUtf8(package.comments)
                          : facts.productName + " " + facts.productVersion;
  facts.scope = ScopeOf(AllUsersGiven(seen.install.plan.propertyString).value_or(package.allUsers));
  facts.minimumWindows = MinimumWindowsOf(LowestSystem(seen.os));
  facts.identifier = id.empty() ? WingetIdentifierOf(package.manufacturer, package.productName) : ToUtf8(id);
  const char* architecture = ArchitectureOf(package.platform);
  // The engines start setup.exe, not the package: a 64-bit setup.exe never starts on the 32-bit
  // Windows that an x86 package alone would let them choose.
  const std::optional<Text>& program = checked.files.setupExe.architecture;
  if (architecture != nullptr && std::string_view(architecture) == "x86" && program) {
    if (*program == u"x64") architecture = "x64";
    if (*program == u"arm64") architecture = "arm64";
  }
  if (package.productName.size() < 2 || package.manufacturer.size() < 2) {
    error =
        "the package's ProductName and Manufacturer, winget's PackageName and Publisher, need two characters at "
        "least";
  } else if (architecture == nullptr) {
    error = "winget has no architecture for the platform \"" + ToUtf8(package.platform) +
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
