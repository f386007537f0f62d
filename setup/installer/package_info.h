#pragma once
// What is read from the package and from the "setup.ini" beside it.

#include "setup/base/text.h"
#include "setup/driver/run_state.h"
#include "setup/installer/msi_handle.h"

namespace setup {

struct PackageInfo {
  // The package opened read-only, from the inspection until just before the install call.
  ScopedMsiHandle database;
  Text packagePath;
  Text productCode;
  Text packageCode;         // summary property 9, kept only when it is text
  Text productVersion;
  Text keyFileVersion;      // the File row "ledgr.dll"
  Text instanceProductCode;
  Text instanceName;
  PackageQuery failedQuery = PackageQuery::kNone;
  std::vector<SectionRead> sectionsRead;  // of the instance file, in the order read
};

}  // namespace setup
