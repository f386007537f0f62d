#pragma once
// Makes sure the Windows Installer engine is at least the version the product requires, by
// running the engine's redistributable installer from beside the program when it is older.

#include "setup/base/text.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/msi_library.h"
#include "setup/platform/platform.h"

namespace setup {

// msi.dll's product version as "a.b.c.d"; empty when msi.dll cannot be bound or has no
// version resource. Binds the record first when it holds no library.
Text ReadEngineVersion(Platform& platform, MsiLibrary& msi);
// "5.0.7601.17514"
Text FormatVersionWords(const ProductVersionWords& words);

enum class EngineInstallerRun : uint8_t { kMissing, kNotStarted, kRan };

// Runs the engine installer at path and waits for it. msi.dll is let go while it runs and bound
// again afterwards. Missing leaves nothing started and the record untouched.
EngineInstallerRun RunEngineInstaller(Platform& platform, MsiLibrary& msi, const Text& path);

// Runs "instmsi30.exe" beside the program when the installed engine is older than
// requiredMsiVersion, and notes what it found and did in the state. The run goes on whatever
// happens.
void CheckAndUpdateEngine(SetupContext& context);

}  // namespace setup
