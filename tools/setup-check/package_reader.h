#pragma once
// The read-only half of msi.dll that the dry run hands on unchanged: opening a package, its
// summary information and single-row queries, and closing the handles they give. The other
// exports (installing, UI level, log, installed products) are the dry run's own.

#include <array>

#include "setup/platform/host/host_platform.h"

namespace setup::check {

inline constexpr std::array<const char*, 8> kPackageReadingExports = {"MsiOpenDatabaseW",
                                                                      "MsiGetSummaryInformationW",
                                                                      "MsiSummaryInfoGetPropertyW",
                                                                      "MsiDatabaseOpenViewW",
                                                                      "MsiViewExecute",
                                                                      "MsiViewFetch",
                                                                      "MsiRecordGetStringW",
                                                                      "MsiCloseHandle"};

// The tool's reader: Debian's libmsi on the host, the system's msi.dll on Windows. Tests hand
// their own fake exports instead.
FakeModule SystemPackageReader();

}  // namespace setup::check
