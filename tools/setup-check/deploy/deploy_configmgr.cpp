// A PowerShell script that makes the Configuration Manager application of the distribution, with a
// script deployment type that runs setup.exe from the folder as its content. Every cmdlet and
// parameter is as Microsoft's ConfigurationManager reference documents it; the tests hold the
// script to a table of those parameter sets (tests/check/deploy_configmgr_test.cpp).

#include <string>

#include "setup/decisions/settings_names.h"
#include "tools/setup-check/deploy/deploy_descriptions.h"
#include "tools/setup-check/shared/windows_text.h"

namespace setup::check {
namespace {

// A single-quoted PowerShell literal. PowerShell takes the typographic single quotes for quotes
// too, so they are doubled like the plain one.
std::string Literal(const std::string& text) {
  Text quoted = u"'";
  for (const char16_t c : FromUtf8(text)) {
    quoted += c;
    if (c == u'\'' || (c >= u'\u2018' && c <= u'\u201B')) quoted += c;
  }
  return ToUtf8(quoted + u"'");
}

// How the deployment type installs, by who the package installs for. A per-user package runs as
// the user (InstallForUser): as the system it would land in the system account's profile. The
// reference allows no -LogonRequirementType with InstallForUser, which Configuration Manager keeps
// at "only when a user is logged on". The others run as the system, whether or not anyone is.
std::string UserExperience(InstallAccount account) {
  if (account == InstallAccount::kUser) return "-InstallationBehaviorType InstallForUser";
  return "-InstallationBehaviorType InstallForSystem -LogonRequirementType WhetherOrNotUserLoggedOn";
}

}  // namespace

DescriptionFile ConfigMgrScript(const DeployFacts& facts) {
  const InstallAccount account = InstallAccountOf(facts.scope);
  std::string script =
      "# Written by setup-check --deploy from the distribution folder and its package.\n"
      "# Makes the product's Configuration Manager application, with a script deployment type that\n"
      "# runs setup.exe from the folder. Run it where the console's ConfigurationManager module is,\n"
      "# with the UNC path of a copy of the distribution folder:\n"
      "#   .\\New-Application.ps1 -ContentLocation \\\\server\\share\\product [-SiteCode ABC]\n"
      "# An application of the same name is left as it is, and nothing is made.\n"
      "param(\n"
      "    [Parameter(Mandatory = $true)] [string] $ContentLocation,\n"
      "    [string] $SiteCode = ''\n"
      ")\n"
      "$ErrorActionPreference = 'Stop'\n"
      "if (-not (Get-Module ConfigurationManager)) {\n"
      "    Import-Module (Join-Path $env:SMS_ADMIN_UI_PATH '..\\ConfigurationManager.psd1')\n"
      "}\n"
      "if ($SiteCode -eq '') { $SiteCode = (Get-PSDrive -PSProvider CMSite | Select-Object -First 1).Name }\n"
      "$name = " +
      Literal(facts.productName) +
      "\n"
      "Push-Location \"$($SiteCode):\"\n"
      "try {\n"
      "    # The name as it is, not as a wildcard pattern.\n"
      "    if (Get-CMApplication -Name $name -Fast -DisableWildcardHandling) {\n"
      "        Write-Warning \"Configuration Manager has an application '$name' already; nothing was made.\"\n"
      "        return\n"
      "    }\n"
      "    # Installed: the package's product code in this version or a later one.\n"
      "    $detection = New-CMDetectionClauseWindowsInstaller -ProductCode " +
      Literal(facts.productCode) + " -Value -ExpressionOperator GreaterEquals -ExpectedValue " +
      Literal(facts.productVersion) +
      "\n"
      "    $application = New-CMApplication -Name $name -Publisher " +
      Literal(facts.manufacturer) + " -SoftwareVersion " + Literal(facts.productVersion) +
      "\n"
      "    try {\n"
      "        # A new script deployment type has the return codes that fit setup.exe's (the\n"
      "        # installer's): 0 success, 3010 soft reboot, 1641 hard reboot, 1618 fast retry.\n"
      "        Add-CMScriptDeploymentType -ApplicationName $name -DisableWildcardHandling `\n"
      "            -DeploymentTypeName " +
      Literal(ToUtf8(kProgramFileName)) + " -ContentLocation $ContentLocation -InstallCommand " +
      Literal(InstallCommandWithLog(facts, account)) +
      " `\n"
      "            -UninstallCommand " +
      Literal(RemovalCommand()) + " -AddDetectionClause $detection `\n"
      "            " +
      UserExperience(account) +
      " -RebootBehavior BasedOnExitCode | Out-Null\n"
      "    } catch {\n"
      "        # An application without its deployment type would keep the name from the next run.\n"
      "        Remove-CMApplication -InputObject $application -Force\n"
      "        throw\n"
      "    }\n"
      "} finally {\n"
      "    Pop-Location\n"
      "}\n";
  // Windows PowerShell reads a script without a byte-order mark in the ANSI code page.
  return {"configmgr/New-Application.ps1", "\xEF\xBB\xBF" + WithCrLf(script)};
}

}  // namespace setup::check
