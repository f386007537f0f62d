#pragma once
// One writer per deployment engine: each gives its files, with their paths under OUT_DIR.

#include <string>
#include <string_view>
#include <vector>

#include "tools/setup-check/deploy/deploy_facts.h"

namespace setup::check {

struct DescriptionFile {
  std::string path;  // relative to OUT_DIR, '/' between folders
  std::string bytes;
};

// winget's multi-file manifest of version 1.10.0: version, installer and default locale.
std::vector<DescriptionFile> WingetManifests(const DeployFacts& facts);
// The body of a Win32 app for Microsoft Graph.
DescriptionFile IntuneApp(const DeployFacts& facts);
// A PowerShell script for the ConfigurationManager module.
DescriptionFile ConfigMgrScript(const DeployFacts& facts);

// Why winget cannot download from url, in a few words; empty when it can: https:// with a host, no
// blank or control character, 2048 characters at most.
std::string WingetUrlRefusal(std::string_view url);
// What winget's schema accepts: a PackageIdentifier, a PackageVersion.
bool IsWingetIdentifier(std::string_view id);
bool IsWingetVersion(std::string_view version);
// PUBLISHER.PRODUCT from the names: their letters and digits written in ASCII (ICU's Any-Latin and
// Latin-ASCII), 32 at most each; empty when a name has none.
std::string WingetIdentifierOf(TextView manufacturer, TextView productName);

}  // namespace setup::check
