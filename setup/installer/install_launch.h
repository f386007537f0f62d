#pragma once
// The install step: engine check, package inspection, product detection, the property string
// handed to the Windows Installer, and the install call itself.

#include <cstdint>

#include "setup/base/text.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/msi_library.h"
#include "setup/installer/package_info.h"

namespace setup {

inline constexpr MsiResult kInstallUserExit = 1602;   // ERROR_INSTALL_USEREXIT: no box for a cancel

// Runs the whole step and returns the install call's result (kMsiEntryMissing when msi.dll
// offers no MsiInstallProductW). Any result other than success or a cancel is shown in an
// "Error" box with the system's text for it.
MsiResult ComposeAndInstall(SetupContext& context);

// Puts the install mode's prefix before commandLine, closes the package database so that the
// installation does not find it held open, and calls MsiInstallProductW.
MsiResult LaunchInstall(PackageInfo& info, int32_t installMode, const Text& commandLine, MsiLibrary& msi);

}  // namespace setup
