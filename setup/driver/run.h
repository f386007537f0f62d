#pragma once
// One whole run of the program, from the command line to the exit code.

#include "setup/installer/msi_library.h"
#include "setup/platform/platform.h"

namespace setup {

// Settings loading decides whether the installation runs; when it does not, the usage text goes
// to standard output and the exit code is 1. Otherwise the exit code is the installer's result.
int RunSetup(Platform& platform, MsiLibrary& processMsi);

}  // namespace setup
