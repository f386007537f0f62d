#pragma once
// What a package says about itself beyond what setup.exe reads: the product's name and maker,
// the engine version and platform its summary asks for, and the transforms it carries inside.
// Read through msi.dll's read-only calls, so that the host (libmsi) and Windows (msi.dll) builds
// read the same.

#include <optional>
#include <string>

#include "setup/installer/msi_library.h"
#include "setup/platform/host/host_platform.h"

namespace setup::check {

struct PackageFacts {
  MsiResult result = kMsiSuccess;  // success when the summary and both codes were read, else the code of the call that failed
  Text productName;      // the Property table's values, exactly as stored; empty where it has none
  Text productCode;
  Text productVersion;
  Text manufacturer, upgradeCode, allUsers;
  int32_t engineVersion = 0;  // the summary's page count: 200 asks for engine 2.0, 301 for 3.1
  Text platform;              // the summary's Template before its languages: "Intel" of "Intel;1033"
  Text comments;              // the summary's Comments
};

// The package read through the given reader (msi.dll's read-only exports), outside any run.
PackageFacts ReadPackageFacts(const FakeModule& packageReader, const Text& packagePath);
// What the run does not read itself of the package it holds open: the codes stay empty.
PackageFacts ReadPackageFacts(const MsiLibrary& msi, MsiHandle database);
// Why the facts cannot serve, naming the package as name; empty when both codes were read.
std::string UnreadableReason(const PackageFacts& facts, const std::string& name);

// Whether the open package holds a sub-storage of this name (an embedded transform, named
// ":Name.mst" in TRANSFORMS); nullopt when the package cannot be asked.
std::optional<bool> PackageHoldsStorage(const MsiLibrary& msi, MsiHandle database, const Text& name);

}  // namespace setup::check
