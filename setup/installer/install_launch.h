#pragma once
// The install step: engine check, package inspection, product detection, the property string
// handed to the Windows Installer, and the install call itself.

#include <cstdint>

#include "setup/base/text.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/msi_library.h"
#include "setup/installer/package_info.h"

namespace setup {

// Results that show no box.
inline constexpr MsiResult kInstallSuccess = 0;
inline constexpr MsiResult kInstallUserExit = 1602;          // ERROR_INSTALL_USEREXIT
inline constexpr MsiResult kInstallRebootInitiated = 1641;   // ERROR_SUCCESS_REBOOT_INITIATED
inline constexpr MsiResult kInstallRebootRequired = 3010;    // ERROR_SUCCESS_REBOOT_REQUIRED

// Runs the whole step and returns the install call's result (kMsiEntryMissing when msi.dll
// offers no MsiInstallProductW). Any result other than success, a cancel or a success with a
// restart is shown in an "Error" box.
MsiResult ComposeAndInstall(SetupContext& context);

// Puts the install mode's prefix before commandLine, closes the package database so that the
// installation does not find it held open, and calls MsiInstallProductW.
MsiResult LaunchInstall(PackageInfo& info, int32_t installMode, const Text& commandLine, MsiLibrary& msi);

}  // namespace setup
