// The body of an Intune Win32 app for Microsoft Graph (POST beta/deviceAppManagement/mobileApps),
// for the .intunewin written beside it, with setup.exe as setup file.

#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "setup/decisions/settings_names.h"
#include "tools/setup-check/deploy/deploy_descriptions.h"
#include "tools/setup-check/deploy/deploy_intunewin.h"

namespace setup::check {
namespace {

using Json = nlohmann::ordered_json;

// Intune's defaults for a new Win32 app, which fit setup.exe: it ends with the installer's code.
constexpr std::array<std::pair<int, const char*>, 5> kReturnCodes = {{
    {0, "success"},
    {1707, "success"},
    {3010, "softReboot"},
    {1641, "hardReboot"},
    {1618, "retry"},
}};

// allowedArchitectures, the flags Graph takes with arm64 (applicableArchitectures takes only x86
// and x64). A package for x86 installs on x64 Windows as well; Arm code runs only on the Arm64
// Windows that Intune installs Win32 apps on.
const char* ArchitecturesOf(const std::string& architecture) {
  if (architecture == "x86") return "x86,x64";
  return architecture == "x64" ? "x64" : "arm64";
}

const char* PackageTypeOf(InstallScope scope) {
  if (scope == InstallScope::kEither) return "dualPurpose";
  return scope == InstallScope::kMachine ? "perMachine" : "perUser";
}

}  // namespace

DescriptionFile IntuneApp(const DeployFacts& facts) {
  const InstallAccount account = InstallAccountOf(facts.scope);
  Json returnCodes = Json::array();
  for (const auto& [code, type] : kReturnCodes) {
    returnCodes.push_back(
        {{"@odata.type", "microsoft.graph.win32LobAppReturnCode"}, {"returnCode", code}, {"type", type}});
  }
  // Installed in this version or a later one of the same product code, as a patch leaves it.
  Json detection = {{"@odata.type", "microsoft.graph.win32LobAppProductCodeRule"},
                    {"ruleType", "detection"},
                    {"productCode", facts.productCode},
                    {"productVersionOperator", "greaterThanOrEqual"},
                    {"productVersion", facts.productVersion}};
  Json msi = {{"@odata.type", "microsoft.graph.win32LobAppMsiInformation"},
              {"productCode", facts.productCode},
              {"productVersion", facts.productVersion},
              {"upgradeCode", facts.upgradeCode.empty() ? Json() : Json(facts.upgradeCode)},
              {"packageType", PackageTypeOf(facts.scope)},
              {"productName", facts.productName},
              {"publisher", facts.manufacturer}};
  const Json app = {
      {"@odata.type", "#microsoft.graph.win32LobApp"},
      {"displayName", facts.productName},
      {"description", facts.description},
      {"publisher", facts.manufacturer},
      {"displayVersion", facts.productVersion},
      {"fileName", std::filesystem::path(kIntuneWinPath).filename().string()},
      {"setupFilePath", ToUtf8(kProgramFileName)},
      {"installCommandLine", InstallCommandWithLog(facts, account)},
      {"uninstallCommandLine", RemovalCommand()},
      // Set beside allowedArchitectures, Graph keeps it none.
      {"applicableArchitectures", "none"},
      {"allowedArchitectures", ArchitecturesOf(facts.architecture)},
      // The lowest Windows Intune installs Win32 apps on.
      {"minimumSupportedOperatingSystem",
       {{"@odata.type", "microsoft.graph.windowsMinimumOperatingSystem"}, {"v10_1607", true}}},
      {"installExperience",
       {{"@odata.type", "microsoft.graph.win32LobAppInstallExperience"},
        // As the system, a per-user package would land in the system's profile, where detection
        // finds it while the users get nothing.
        {"runAsAccount", account == InstallAccount::kUser ? "user" : "system"},
        {"deviceRestartBehavior", "basedOnReturnCode"}}},
      {"returnCodes", returnCodes},
      {"rules", Json::array({detection})},
      {"msiInformation", msi},
  };
  return {"intune/win32LobApp.json", app.dump(2) + "\n"};
}

}  // namespace setup::check
