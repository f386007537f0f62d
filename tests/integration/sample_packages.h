#pragma once
// The packages that build_packages.py made for these tests, and msiexec for installing and
// removing them in the test prefix from outside the code under test.

#include <cstdint>
#include <string_view>

#include "setup/base/text.h"
#include "tests/support/temp_dir.h"

namespace setup::testing {

inline constexpr char16_t kMainProductCode[] = u"{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D71}";
inline constexpr char16_t kSecondProductCode[] = u"{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D72}";
inline constexpr char16_t kOldProductCode[] = u"{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D73}";
inline constexpr char16_t kSampleVersion[] = u"2.0.1.5";
inline constexpr char16_t kOldVersion[] = u"1.9.0.0";
inline constexpr char16_t kKeyFileVersion[] = u"7.3.0.12";

inline constexpr char kMainPackage[] = "ledgr.msi";
inline constexpr char kSecondPackage[] = "ledgr-second.msi";
inline constexpr char kOldPackage[] = "ledgr-old.msi";
inline constexpr char kPackageWithoutKeyFile[] = "ledgr-no-key-file.msi";

// The package as built, in the folder named by SETUP_INTEGRATION_PACKAGES; empty when the
// variable is not set.
Text BuiltPackage(std::string_view name);

// A copy of a built package in dir, so that a test decides what lies beside it.
Text CopyPackageInto(const TempDir& dir, std::string_view name);

// The package code msitools read from a built package; empty when it is unknown.
Text PackageCodeOf(std::string_view name);

// Runs "msiexec.exe ARGUMENTS" and gives its exit code; UINT32_MAX when it could not start.
uint32_t RunMsiexec(const Text& arguments);
uint32_t InstallSilently(const Text& package);
uint32_t RemoveSilently(const Text& productCode);

inline constexpr uint32_t kUnknownProduct = 1605;   // ERROR_UNKNOWN_PRODUCT

}  // namespace setup::testing
