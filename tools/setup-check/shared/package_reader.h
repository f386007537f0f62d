#pragma once
// The read-only half of msi.dll that the dry run hands on unchanged: opening a package, its
// summary information and single-row queries, and closing the handles they give. The other
// exports (installing, UI level, log, installed products) are the dry run's own.

#include <array>
#include <cstdint>

#include "setup/installer/msi_library.h"
#include "setup/platform/host/host_platform.h"

namespace setup::check {

inline constexpr std::array<const char*, 8> kPackageReadingExports = {
    ExportName(MsiEntry::kOpenDatabase),    ExportName(MsiEntry::kGetSummaryInformation),
    ExportName(MsiEntry::kSummaryInfoGetProperty), ExportName(MsiEntry::kDatabaseOpenView),
    ExportName(MsiEntry::kViewExecute),     ExportName(MsiEntry::kViewFetch),
    ExportName(MsiEntry::kRecordGetString), ExportName(MsiEntry::kCloseHandle)};

inline constexpr MsiResult kMsiMoreData = 234;          // ERROR_MORE_DATA
inline constexpr MsiResult kMsiInvalidParameter = 87;   // ERROR_INVALID_PARAMETER

// How msi.dll hands text to its callers, for the stand-in exports: the text and a NUL when they
// fit, else as much as fits and ERROR_MORE_DATA; the length always comes back.
inline MsiResult CopyOut(const Text& value, NativeChar* buffer, uint32_t* capacity) {
  if (capacity == nullptr) return kMsiInvalidParameter;
  const uint32_t room = *capacity;
  *capacity = static_cast<uint32_t>(value.size());
  if (buffer == nullptr) return kMsiSuccess;
  if (room == 0) return kMsiMoreData;
  const size_t copied = value.copy(reinterpret_cast<char16_t*>(buffer), room - 1);
  buffer[copied] = 0;
  return copied < value.size() ? kMsiMoreData : kMsiSuccess;
}

inline Text TextOf(const NativeChar* text) { return text != nullptr ? Text(reinterpret_cast<const char16_t*>(text)) : Text(); }

// The tool's reader: Debian's libmsi on the host, the system's msi.dll on Windows. Tests hand
// their own fake exports instead.
FakeModule SystemPackageReader();

}  // namespace setup::check
