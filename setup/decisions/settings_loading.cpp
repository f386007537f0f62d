// Turning Setup.ini, the command line and the user's language into the run's context.

#include "setup/base/numbers.h"
#include "setup/decisions/os_requirements.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/setup_context.h"
#include "setup/driver/version_number.h"

namespace setup {
namespace {

// The usage box speaks the user's language when the language file offers its own usage text.
Text LocalisedUsage(const SettingsSection& messages) {
  Text usage;
  bool any = false;
  for (size_t i = 0; i < kUsageMessages.size(); ++i) {
    const Text line = messages.GetValue(kUsageMessages[i]);
    any = any || !line.empty();
    usage += (i == 0 ? u"" : u"\n") + line;
  }
  return any ? usage : Text();
}

}  // namespace

bool SetupContext::LoadSettings(const Text& fileName) {
  if (!platform_->FileExists(moduleDirectory + fileName)) return false;
  // An unreadable file leaves the document empty; the checks below then fail on their own.
  settings.Load(moduleDirectory + fileName);

  const SettingsSection startup = settings.GetSection(kStartupSection);
  productName = startup.GetValue(kProductKey);
  packagePath = startup.GetValue(kPackageNameKey);
  productVersion = ParseVersion(startup.GetValue(kProductVersionKey));
  packageCode = startup.GetValue(kPackageCodeKey);
  logResults = startup.GetValue(kLogResultsKey) == u"Y";
  installProperties = startup.GetValue(kCmdLineKey);
  productCode = startup.GetValue(kProductCodeKey);
  packagePath = moduleDirectory + settings.GetSection(packagePath).GetValue(kLocationKey);

  // After the settings, so that free parameters follow CmdLine and /l picks the language file.
  ApplyCommandLine();

  Text language = FormatHex4(languageId);
  if (!platform_->FileExists(moduleDirectory + language + kLanguageFileExtension)) language = kFallbackLanguage;
  observer_->LanguageChosen(language);
  SettingsFile languageFile(*platform_, observer_->Settings());
  languageFile.Load(moduleDirectory + language + kLanguageFileExtension);
  // The section of the file actually loaded: a fallback file holds its own language's section.
  messages = languageFile.GetSection(language);

  if (usageRequested) {
    const Text localised = LocalisedUsage(messages);
    platform_->ShowMessageBox(localised.empty() ? usageText : localised, messageCaption, kIconInformation);
    return false;
  }

  const SystemsList systems = SystemsListOf(settings);
  const bool supported = CheckOperatingSystem(systems.listSection);
  observer_->SystemChecked(supported);
  if (!supported) {
    platform_->ShowMessageBox(messages.GetValue(kUnsupportedSystemMessage), messageCaption, kIconInformation);
    return false;
  }
  requiredMsiVersion = ParseVersion(systems.requiredEngine);
  return true;
}

}  // namespace setup
