#pragma once
// Windows paths on the machine the check runs on. Windows finds "SETUP.INI" when asked for
// "Setup.ini", and its file search lets "*" and "?" in a name match; a Linux file system does
// neither, so the dry run looks names up the way Windows does.

#include <filesystem>
#include <optional>

#include "setup/base/text.h"

namespace setup::check {

// The host path of a Windows path ('\' becomes '/' off Windows), each component that is not
// there replaced by the one entry of its folder that matches it ignoring the case of A-Z, as
// opening a file finds it. Wildcards are taken as they stand.
std::filesystem::path ResolveHostPath(const Text& windowsPath);

// The first entry a file search for the Windows path finds (FindFirstFileW): the last component
// may hold "*" (any run of characters) and "?" (one character), matched ignoring case.
std::optional<std::filesystem::path> SearchFile(const Text& windowsPath);

// Whether two Windows paths name one file, as Windows opens it (case, ".."), or as the file
// system tells (links).
bool SameFile(const Text& a, const Text& b);

// A host folder as the program names it: absolute, with '\' separators and a final '\'.
Text WindowsFolderOf(const std::filesystem::path& hostFolder);

Text TextOf(const std::filesystem::path& path);

}  // namespace setup::check
