#pragma once
// One whole run of the program, from the command line to the exit code.

#include "setup/driver/setup_context.h"
#include "setup/installer/msi_library.h"
#include "setup/platform/platform.h"

namespace setup {

inline constexpr char16_t kSettingsFileName[] = u"Setup.ini";

// How the process ends: one of the program's own codes, or else the installer's result unchanged,
// which deployment services read as the installation's outcome. Unscoped, so that a report keeps
// it as the integer it is; a number becomes one only through InstallerExitCode.
enum ExitCode : uint32_t {
  kExitBeforeInstaller = 1,
  kExitNotEnoughMemory = 8,  // ERROR_NOT_ENOUGH_MEMORY
  kExitCannotMake = 82,      // ERROR_CANNOT_MAKE: no folder to unpack a bundle into
  kExitFileCorrupt = 1392,   // ERROR_FILE_CORRUPT: a bundle whose payload is not what it says
};
constexpr ExitCode InstallerExitCode(MsiResult result) { return static_cast<ExitCode>(result); }

// Settings loading decides whether the installation runs; when it does not, the usage text goes
// to standard output and the run ends before the installer. Running out of memory (a settings
// file too large for the process) ends in the "Error" box with the system's text for that code.
ExitCode RunSetup(Platform& platform, MsiLibrary& processMsi, RunObserver& observer = NoObserver());

}  // namespace setup
