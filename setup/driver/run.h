#pragma once
// One whole run of the program, from the command line to the exit code.

#include "setup/driver/setup_context.h"
#include "setup/installer/msi_library.h"
#include "setup/platform/platform.h"

namespace setup {

inline constexpr char16_t kSettingsFileName[] = u"Setup.ini";

// The program's own exit codes; any other is the installer's result.
inline constexpr int kExitBeforeInstaller = 1;
inline constexpr int kExitNotEnoughMemory = 8;  // ERROR_NOT_ENOUGH_MEMORY

// Settings loading decides whether the installation runs; when it does not, the usage text goes
// to standard output and the run ends before the installer. Otherwise the exit code is the
// installer's result. Running out of memory (a settings file too large for the process) ends in
// the "Error" box with the system's text for that code.
int RunSetup(Platform& platform, MsiLibrary& processMsi, RunObserver& observer = NoObserver());

}  // namespace setup
