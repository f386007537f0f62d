#pragma once
// Windows paths on the machine the check runs on. Windows finds "SETUP.INI" when asked for
// "Setup.ini"; a Linux file system does not, so the dry run looks names up the way Windows does.

#include <filesystem>

#include "setup/base/text.h"

namespace setup::check {

// The host path of a Windows path ('\' becomes '/' off Windows), each missing component
// replaced by the one entry of its folder that matches it ignoring the case of A-Z.
std::filesystem::path ResolveHostPath(const Text& windowsPath);

// A host folder as the program names it: absolute, with '\' separators and a final '\'.
Text WindowsFolderOf(const std::filesystem::path& hostFolder);

}  // namespace setup::check
