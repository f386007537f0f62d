#include "setup/driver/setup_context.h"

namespace setup {

SetupContext::SetupContext(Platform& platform, MsiLibrary& msi)
    : platform_(&platform), msi_(&msi), settings(platform) {
  languageId = platform.UserDefaultLanguage();
  const std::optional<Text> modulePath = platform.ModuleFileName();
  if (!modulePath) return;
  const size_t lastBackslash = modulePath->rfind(u'\\');
  if (lastBackslash == Text::npos) {
    moduleDirectory = *modulePath;
    return;
  }
  moduleFileName = modulePath->substr(lastBackslash + 1);
  moduleDirectory = modulePath->substr(0, lastBackslash);
  if (moduleDirectory.empty() || moduleDirectory.back() != u'\\') moduleDirectory += u'\\';
}

}  // namespace setup
