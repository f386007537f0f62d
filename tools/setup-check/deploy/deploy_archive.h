#pragma once
// The distribution folder as the one zip winget downloads, and its hash: libzip and OpenSSL.

#include <filesystem>
#include <string>

namespace setup::check {

// Every file below folder, under its path relative to it ('/' between folders, in UTF-8), in the
// order of their names. error says why when it returns false.
bool ZipFolder(const std::filesystem::path& folder, const std::filesystem::path& zip, std::string& error);

// Why the zip is not the folder's, naming the first difference; empty when it is: every file below
// the folder under its relative path with its bytes, and no setup.exe, Setup.ini or package (.msi)
// beside them, nor a second file of a name Windows takes for one of the folder's (case ignored).
// Other files may be added.
std::string ZipDifference(const std::filesystem::path& folder, const std::filesystem::path& zip);

// The SHA-256 of a file in upper-case hexadecimal; empty when it cannot be read.
std::string Sha256Of(const std::filesystem::path& file);

}  // namespace setup::check
