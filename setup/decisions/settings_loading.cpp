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

// The language's own file, or English's when the folder has none for it.
void LoadMessages(SetupContext& context, SettingsObserver* observer) {
  LanguageChoice& choice = context.state.language;
  choice.wanted = FormatHex4(context.languageId);
  choice.fellBack = !context.platform().FileExists(context.moduleDirectory + choice.wanted + kLanguageFileExtension);
  choice.chosen = choice.fellBack ? Text(kFallbackLanguage) : choice.wanted;
  SettingsFile languageFile(context.platform(), observer);
  choice.loaded = languageFile.Load(context.moduleDirectory + choice.chosen + kLanguageFileExtension);
  // The section of the file actually loaded: a fallback file holds its own language's section.
  context.messages = languageFile.GetSection(choice.chosen);
}

}  // namespace

SettingsSection SetupContext::ReadSettingsSection(const Text& name, std::span<const char16_t* const> keys,
                                                  bool anyKey) {
  state.settingsRead.push_back({name, keys, anyKey});
  return settings.GetSection(name);
}

bool SetupContext::LoadSettings(const Text& fileName) {
  if (!platform_->FileExists(moduleDirectory + fileName)) return false;
  // An unreadable file leaves the document empty; the checks below then fail on their own.
  settings.Load(moduleDirectory + fileName);

  const SettingsSection startup = ReadSettingsSection(kStartupSection, kStartupKeys);
  productName = startup.GetValue(kProductKey);
  const Text packageSection = startup.GetValue(kPackageNameKey);
  productVersion = ParseVersion(startup.GetValue(kProductVersionKey));
  packageCode = startup.GetValue(kPackageCodeKey);
  logResults = startup.GetValue(kLogResultsKey) == u"Y";
  installProperties = startup.GetValue(kCmdLineKey);
  productCode = startup.GetValue(kProductCodeKey);
  state.packageLocation = ReadSettingsSection(packageSection, kPackageKeys).GetValue(kLocationKey);
  packagePath = moduleDirectory + state.packageLocation;

  // After the settings, so that free parameters follow CmdLine and /l picks the language file.
  ApplyCommandLine();
  LoadMessages(*this, observer_->Settings());

  if (usageRequested) {
    const Text localised = LocalisedUsage(messages);
    platform_->ShowMessageBox(localised.empty() ? usageText : localised, messageCaption, kIconInformation);
    return false;
  }

  if (!CheckOperatingSystem()) {
    platform_->ShowMessageBox(messages.GetValue(kUnsupportedSystemMessage), messageCaption, kIconInformation);
    return false;
  }
  requiredMsiVersion = ParseVersion(state.systems.requiredEngine);
  return true;
}

}  // namespace setup
