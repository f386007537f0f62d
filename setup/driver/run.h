#pragma once
// One whole run of the program, from the command line to the exit code.

#include "setup/installer/msi_library.h"
#include "setup/platform/platform.h"

namespace setup {

// Settings loading decides whether the installation runs; when it does not, the usage text goes
// to standard output and the exit code is 1. Otherwise the exit code is the installer's result.
// Running out of memory (a settings file too large for the process) ends in the "Error" box
// with the system's text and ERROR_NOT_ENOUGH_MEMORY (8) as the exit code.
int RunSetup(Platform& platform, MsiLibrary& processMsi);

}  // namespace setup
