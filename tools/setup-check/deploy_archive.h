#pragma once
// The distribution folder as the one zip winget downloads, and its hash: libzip and OpenSSL.

#include <filesystem>
#include <string>

namespace setup::check {

// Every file below folder, under its path relative to it ('/' between folders, in UTF-8), in the
// order of their names. error says why when it returns false.
bool ZipFolder(const std::filesystem::path& folder, const std::filesystem::path& zip, std::string& error);

// Whether the zip holds a file of this name at its root, case ignored as Windows finds files.
bool ZipHoldsAtRoot(const std::filesystem::path& zip, const std::string& name);

// The SHA-256 of a file in upper-case hexadecimal; empty when it cannot be read.
std::string Sha256Of(const std::filesystem::path& file);

}  // namespace setup::check
