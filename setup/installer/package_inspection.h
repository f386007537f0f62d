#pragma once
// Reads the package's identity and finds the product instance named in the "setup.ini" beside
// it, then asks the Windows Installer whether the product or that instance is installed.

#include <cstdint>
#include <optional>
#include <string_view>

#include "setup/base/text.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/msi_library.h"
#include "setup/installer/package_info.h"
#include "setup/platform/platform.h"

namespace setup {

inline constexpr MsiResult kPackageMissing = 2;   // ERROR_FILE_NOT_FOUND
// The File row whose version the inspection reads last, before the instance file.
inline constexpr char16_t kKeyFileId[] = u"ledgr.dll";

// Opens the package read-only (the database handle stays open in info) and fills info. 0 when
// finished, also when msi.dll or COM is unavailable; kPackageMissing when the file does not
// exist; kMsiEntryMissing for a missing entry point; otherwise the code of the first failed
// call, with the values read before it kept and the instance file left unread.
MsiResult InspectPackage(PackageInfo& info, const Text& path, Platform& platform, MsiLibrary& msi);

// The first column of the first row of a query; value is written only by the read of the row,
// and a query without rows gives ERROR_NO_MORE_ITEMS (259).
MsiResult ReadSingleValue(const MsiLibrary& msi, MsiHandle database, const Text& query, Text& value);
// The Property table's value of name, by the same rule.
inline MsiResult ReadProperty(const MsiLibrary& msi, MsiHandle database, TextView name, Text& value) {
  return ReadSingleValue(msi, database, Text(u"SELECT Value FROM Property WHERE Property = '").append(name) + u"'", value);
}

// The "setup.ini" beside the package.
Text InstanceFilePath(const Text& packagePath);

// The instance file's text as the C runtime's "rt, ccs=utf-8" stream delivers it: a UTF-8 mark
// is skipped, a UTF-16LE mark switches to UTF-16LE, otherwise UTF-8; CR LF becomes LF. Nothing
// for a UTF-16BE mark, which that stream refuses to open.
std::optional<Text> DecodeInstanceFile(std::string_view bytes, Platform& platform);

// Takes the instance name (the last key of [Instances] other than "count") and the
// ProductCode of the section of that name, as far as the file has named the instance by then.
void ScanInstanceFile(TextView text, PackageInfo& info);

// Whether the product or its instance is installed in the product version. Asks through a short-lived msi.dll record of its own, released on every path.
InstalledProduct DetectInstalledProduct(SetupContext& context);

}  // namespace setup
