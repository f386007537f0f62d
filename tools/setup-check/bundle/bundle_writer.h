#pragma once
// The bundle's bytes as setup/bundle/bundle_format.h lays them out: setup.exe, the cabinet that
// libgcab writes of the folder's other files, zero bytes up to a multiple of 8, then the trailer
// with the cabinet's SHA-256 (OpenSSL).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "setup/bundle/bundle_format.h"

namespace setup::check {

struct CabinetFile {
  std::filesystem::path source;
  std::string name;  // relative to the folder, in UTF-8, '\' between folders
};

struct WrittenBundle {
  BundleTrailer trailer;
  uint64_t size = 0;  // of the whole file
};

// Writes program and then files, as one MSZIP cabinet, into bundle. The cabinet is made in a file
// of its own first, since libgcab goes back to the cabinet's first byte to write its header, which
// in the bundle is setup.exe's. nullopt, with why, on a failure; either file may then be left for
// the caller to remove.
std::optional<WrittenBundle> WriteBundleFile(const std::filesystem::path& program,
                                             const std::vector<CabinetFile>& files,
                                             const std::filesystem::path& cabinet,
                                             const std::filesystem::path& bundle, std::string& why);

}  // namespace setup::check
