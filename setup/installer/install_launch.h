#pragma once
// The install step: engine check, package inspection, product detection, the property string
// handed to the Windows Installer, and the install call itself.

#include <cstdint>

#include "setup/base/text.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/msi_library.h"
#include "setup/installer/package_info.h"

namespace setup {

// Results besides kMsiSuccess that show no box.
inline constexpr MsiResult kInstallUserExit = 1602;          // ERROR_INSTALL_USEREXIT
inline constexpr MsiResult kInstallRebootInitiated = 1641;   // ERROR_SUCCESS_REBOOT_INITIATED
inline constexpr MsiResult kInstallRebootRequired = 3010;    // ERROR_SUCCESS_REBOOT_REQUIRED

// Runs the whole step, composing the state's install plan, and returns the install call's result (kMsiEntryMissing when msi.dll
// offers no MsiInstallProductW). Any result other than success, a cancel or a success with a
// restart is shown in an "Error" box.
MsiResult ComposeAndInstall(SetupContext& context);

// Closes the package database so that the installation does not find it held open, and calls
// MsiInstallProductW with the plan's command line.
MsiResult LaunchInstall(PackageInfo& info, const InstallPlan& plan, MsiLibrary& msi);

// What the plan puts before the property string: "ACTION=ADMIN ", "REMOVE=ALL " or nothing.
Text ModePrefix(InstallMode installMode);
// The transform applied for a language when it lies beside the program: "1049.mst".
Text LanguageTransformName(uint32_t languageId);

}  // namespace setup
