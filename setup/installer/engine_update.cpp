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

bool RunEngineInstaller(Platform& platform, MsiLibrary& msi, const Text& path) {
  if (!platform.FileExists(path)) return false;
  // The engine installer replaces msi.dll; this process must not hold it meanwhile.
  msi.Release();
  const bool started = platform.RunAndWait(path);
  msi.Bind();
  return started;
}

void CheckAndUpdateEngine(SetupContext& context) {
  const VersionNumber installed = ParseVersion(ReadEngineVersion(context.platform(), context.msi()));
  if (CompareVersions(installed, context.requiredMsiVersion) >= 0) return;
  RunEngineInstaller(context.platform(), context.msi(), context.moduleDirectory + kEngineInstallerName);
}

}  // namespace setup
