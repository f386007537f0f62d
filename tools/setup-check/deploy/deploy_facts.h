#pragma once
// The facts every deployment engine's description is made of: the package's identity and what the
// observed run of the folder requires, in UTF-8 as the descriptions are written.

#include <optional>
#include <string>

#include "setup/cmdline/setup_options.h"
#include "tools/setup-check/check/check.h"

namespace setup::check {

// Who the package installs for: ALLUSERS "1" (any value but "2") is per machine, none per user,
// "2" either as the installation decides.
enum class InstallScope { kMachine, kUser, kEither };

struct DeployFacts {
  std::string identifier;  // winget's PackageIdentifier: PUBLISHER.PRODUCT
  std::string productName, manufacturer, productCode, upgradeCode, productVersion;
  std::string description;  // the summary's Comments, or the name and version
  InstallScope scope = InstallScope::kUser;
  // winget's name of the summary Template's platform: x86, x64, arm, arm64; for an x86 package,
  // setup.exe's own when it is x64 or arm64
  std::string architecture;
  std::string minimumWindows;  // MAJOR.MINOR.BUILD of the lowest system entry; empty when none can be stated
  std::string url, sha256;     // of the zip: where it is downloaded from, its hash in upper-case hex
};

// The account a deployment engine starts setup.exe as: the user's for a per-user package (as the
// system it would install into the system account's own profile, where no user sees it), the
// system's for one per machine or either way.
enum class InstallAccount { kSystem, kUser };
InstallAccount InstallAccountOf(InstallScope scope);

// Where the installer's log goes when setup.exe runs as that account: a path without blanks,
// since setup.exe takes /debuglog's path as written, quotation marks included.
std::string InstallLogPath(const DeployFacts& facts, InstallAccount account);
// The command that installs the package as that account: /S, /debuglog with InstallLogPath, and,
// for a package that can install either way run as the system, ALLUSERS=1 (see the .cpp).
std::string InstallCommandWithLog(const DeployFacts& facts, InstallAccount account);
// The command that removes the product without a word: /x /S.
std::string RemovalCommand();
// An option of setup.exe's table (kSilentOption, ...) as the engines hand it over: "/S".
Text SetupOption(const char16_t* name);

// The lowest system an enabled entry of the folder accepts; nullopt when no entry can be met.
std::optional<SystemVersion> LowestSystem(const OsView& os);

// The facts of the run's package; nullopt with error telling why when the descriptions cannot be
// made from it. id is the --id given, or empty.
std::optional<DeployFacts> DeployFactsOf(const CheckResult& checked, const Text& id, std::string& error);

}  // namespace setup::check
