#pragma once
// What a package says about itself beyond what setup.exe reads: the product's name, the engine
// version its summary asks for, and the transforms it carries inside. Read through msi.dll's
// read-only calls, so that the host (libmsi) and Windows (msi.dll) builds read the same.

#include <optional>

#include "setup/installer/msi_library.h"

namespace setup::check {

struct PackageFacts {
  MsiResult result = 0;  // 0 when everything below was read, else the code of the call that failed
  Text productName;      // the Property table's values, exactly as stored
  Text productCode;
  Text productVersion;
  int32_t engineVersion = 0;  // the summary's page count: 200 asks for engine 2.0, 301 for 3.1
};

PackageFacts ReadPackageFacts(const MsiLibrary& msi, const Text& packagePath);

// Whether the open package holds a sub-storage of this name (an embedded transform, named
// ":Name.mst" in TRANSFORMS); nullopt when the package cannot be asked.
std::optional<bool> PackageHoldsStorage(const MsiLibrary& msi, MsiHandle database, const Text& name);

}  // namespace setup::check
