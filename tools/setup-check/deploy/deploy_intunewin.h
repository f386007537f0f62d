#pragma once
// Intune's package of a Win32 app, made here from the zip of the folder, so that no Windows machine
// with Microsoft's packaging tool is needed: libzip and OpenSSL.

#include <filesystem>
#include <string>

namespace setup::check {

// Where under OUT_DIR the package is written; the Intune body's fileName is its name.
inline constexpr char kIntuneWinPath[] = "intune/setup.intunewin";

// Writes package as a zip of IntuneWinPackage/Contents/IntunePackage.intunewin, the content (the
// folder's zip) encrypted with AES-256-CBC under a fresh key and IV and laid out as
// HMAC-SHA256(MAC key, IV + ciphertext), IV, ciphertext, and IntuneWinPackage/Metadata/Detection.xml,
// the only place that holds the keys. name is the application's. When it returns false, error says
// why and nothing is left at package.
bool WriteIntuneWin(const std::filesystem::path& content, const std::filesystem::path& package, const std::string& name,
                    std::string& error);

}  // namespace setup::check
