// A PowerShell script that makes the Configuration Manager application of the distribution, with a
// script deployment type that runs setup.exe from the folder as its content.

#include <string>

#include "tools/setup-check/deploy_descriptions.h"
#include "tools/setup-check/init_distribution.h"

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

}  // namespace

DescriptionFile ConfigMgrScript(const DeployFacts& facts) {
  const std::string name = Literal(facts.productName);
  std::string script =
      "# Written by setup-check --deploy from the distribution folder and its package.\n"
      "# Makes the product's Configuration Manager application, with a script deployment type that\n"
      "# runs setup.exe from the folder. Run it where the console's ConfigurationManager module is,\n"
      "# with the UNC path of a copy of the distribution folder:\n"
      "#   .\\New-Application.ps1 -ContentLocation \\\\server\\share\\product [-SiteCode ABC]\n"
      "param(\n"
      "    [Parameter(Mandatory = $true)] [string] $ContentLocation,\n"
      "    [string] $SiteCode = ''\n"
      ")\n"
      "$ErrorActionPreference = 'Stop'\n"
      "if (-not (Get-Module ConfigurationManager)) {\n"
      "    Import-Module (Join-Path $env:SMS_ADMIN_UI_PATH '..\\ConfigurationManager.psd1')\n"
      "}\n"
      "if ($SiteCode -eq '') { $SiteCode = (Get-PSDrive -PSProvider CMSite | Select-Object -First 1).Name }\n"
      "Push-Location \"$($SiteCode):\"\n"
      "try {\n"
      "    New-CMApplication -Name " +
      name + " -Publisher " + Literal(facts.manufacturer) + " -SoftwareVersion " + Literal(facts.productVersion) +
      " | Out-Null\n"
      "    # Installed: the package's product code in this version or a later one.\n"
      "    $detection = New-CMDetectionClauseWindowsInstaller -ProductCode " +
      Literal(facts.productCode) + " -Value -ExpressionOperator GreaterEquals -ExpectedValue " +
      Literal(facts.productVersion) +
      "\n"
      "    # A new deployment type has the standard return codes, which fit setup.exe's (the installer's):\n"
      "    # 0 and 1707 success, 3010 soft reboot, 1641 hard reboot, 1618 fast retry.\n"
      "    Add-CMScriptDeploymentType -ApplicationName " +
      name +
      " -DeploymentTypeName 'setup.exe' `\n"
      "        -ContentLocation $ContentLocation -InstallCommand 'setup.exe /S' -UninstallCommand 'setup.exe /x /S' `\n"
      "        -AddDetectionClause $detection -InstallationBehaviorType InstallForSystem `\n"
      "        -LogonRequirementType WhetherOrNotUserLoggedOn -PostInstallBehavior BasedOnExitCode | Out-Null\n"
      "} finally {\n"
      "    Pop-Location\n"
      "}\n";
  // Windows PowerShell reads a script without a byte-order mark in the ANSI code page.
  return {"configmgr/New-Application.ps1", "\xEF\xBB\xBF" + WithCrLf(script)};
}

}  // namespace setup::check
