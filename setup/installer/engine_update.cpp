#include "setup/installer/engine_update.h"

#include "setup/base/numbers.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/version_number.h"

namespace setup {

Text ReadEngineVersion(Platform& platform, MsiLibrary& msi) {
  if (!msi.IsLoaded() && !msi.Bind()) return Text();
  // The product version, not the file version: it names the engine release.
  const std::optional<ProductVersionWords> words = platform.ReadProductVersion(u"msi.dll");
  return words ? FormatVersionWords(*words) : Text();
}

Text FormatVersionWords(const ProductVersionWords& words) {
  Text version = FormatDecimal(words[0]);
  for (size_t i = 1; i < words.size(); ++i) version += u'.' + FormatDecimal(words[i]);
  return version;
}

EngineInstallerRun RunEngineInstaller(Platform& platform, MsiLibrary& msi, const Text& path) {
  if (!platform.FileExists(path)) return EngineInstallerRun::kMissing;
  // The engine installer replaces msi.dll; this process must not hold it meanwhile.
  msi.Release();
  const bool started = platform.RunAndWait(path);
  msi.Bind();
  return started ? EngineInstallerRun::kRan : EngineInstallerRun::kNotStarted;
}

void CheckAndUpdateEngine(SetupContext& context) {
  EngineCheck& check = context.state.engine;
  check.reached = true;
  check.installed = ReadEngineVersion(context.platform(), context.msi());
  check.required = context.state.systems.requiredEngine;
  check.updateNeeded = CompareVersions(ParseVersion(check.installed), context.requiredMsiVersion) < 0;
  if (!check.updateNeeded) return;
  const EngineInstallerRun run =
      RunEngineInstaller(context.platform(), context.msi(), context.moduleDirectory + kEngineInstallerName);
  check.installerFound = run != EngineInstallerRun::kMissing;
  check.installerStarted = run == EngineInstallerRun::kRan;
}

}  // namespace setup
