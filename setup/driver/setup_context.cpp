#include "setup/driver/setup_context.h"

#include "setup/base/path.h"

namespace setup {

SetupContext::SetupContext(Platform& platform, MsiLibrary& msi)
    : platform_(&platform), msi_(&msi), settings(platform) {
  languageId = platform.UserDefaultLanguage();
  const std::optional<Text> modulePath = platform.ModuleFileName();
  if (!modulePath) return;
  ModuleLocation location = SplitModulePath(*modulePath);
  moduleDirectory = std::move(location.directory);
  moduleFileName = std::move(location.fileName);
}

}  // namespace setup
