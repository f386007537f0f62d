#include "setup/driver/setup_context.h"

#include "setup/base/path.h"

namespace setup {

RunObserver& NoObserver() {
  static RunObserver none;
  return none;
}

SetupContext::SetupContext(Platform& platform, MsiLibrary& msi, RunObserver& observer)
    : platform_(&platform), msi_(&msi), observer_(&observer), settings(platform, observer.Settings()) {
  languageId = platform.UserDefaultLanguage();
  const std::optional<Text> modulePath = platform.ModuleFileName();
  if (!modulePath) return;
  ModuleLocation location = SplitModulePath(*modulePath);
  moduleDirectory = std::move(location.directory);
  moduleFileName = std::move(location.fileName);
}

}  // namespace setup
