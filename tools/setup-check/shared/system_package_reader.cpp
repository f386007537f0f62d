// The package reader of the Windows build: the system's own msi.dll, whose read-only calls the
// dry run hands on unchanged.

#include "setup/platform/win32/win32_platform.h"
#include "tools/setup-check/shared/package_reader.h"

namespace setup::check {

// msi.dll stays loaded until the process ends: the entry points handed out point into it.
FakeModule SystemPackageReader() {
  static Win32Platform windows;
  FakeModule reader;
  const ModuleHandle msi = windows.LoadModule(u"msi.dll");
  if (msi == nullptr) return reader;
  for (const char* name : kPackageReadingExports)
    if (const EntryPoint entry = windows.FindEntryPoint(msi, name)) reader.exports[name] = entry;
  return reader;
}

}  // namespace setup::check
