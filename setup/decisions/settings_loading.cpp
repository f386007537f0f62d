// Turning Setup.ini, the command line and the user's language into the run's context.

#include "setup/base/numbers.h"
#include "setup/driver/setup_context.h"
#include "setup/driver/version_number.h"

namespace setup {
namespace {

constexpr char16_t kFallbackLanguage[] = u"0x0409";

// The usage box speaks the user's language when the language file offers its own usage text.
Text LocalisedUsage(const SettingsSection& messages) {
  const Text lines[] = {messages.GetValue(u"1203"), messages.GetValue(u"1204"), messages.GetValue(u"1205"),
                        messages.GetValue(u"1206")};
  bool any = false;
  for (const Text& line : lines) any = any || !line.empty();
  if (!any) return Text();
  return lines[0] + u"\n" + lines[1] + u"\n" + lines[2] + u"\n" + lines[3];
}

}  // namespace

bool SetupContext::LoadSettings(const Text& fileName) {
  if (!platform_->FileExists(moduleDirectory + fileName)) return false;
  // An unreadable file leaves the document empty; the checks below then fail on their own.
  settings.Load(moduleDirectory + fileName);

  const SettingsSection startup = settings.GetSection(u"Startup");
  productName = startup.GetValue(u"Product");
  packagePath = startup.GetValue(u"PackageName");
  productVersion = ParseVersion(startup.GetValue(u"ProductVersion"));
  packageCode = startup.GetValue(u"PackageCode");
  logResults = startup.GetValue(u"LogResults") == u"Y";
  installProperties = startup.GetValue(u"CmdLine");
  productCode = startup.GetValue(u"ProductCode");
  packagePath = moduleDirectory + settings.GetSection(packagePath).GetValue(u"Location");

  // After the settings, so that free parameters follow CmdLine and /l picks the language file.
  ApplyCommandLine();

  Text language = FormatHex4(languageId);
  if (!platform_->FileExists(moduleDirectory + language + u".ini")) language = kFallbackLanguage;
  SettingsFile languageFile(*platform_);
  languageFile.Load(moduleDirectory + language + u".ini");
  // The section of the file actually loaded: a fallback file holds its own language's section.
  messages = languageFile.GetSection(language);

  if (usageRequested) {
    const Text localised = LocalisedUsage(messages);
    platform_->ShowMessageBox(localised.empty() ? usageText : localised, messageCaption, kIconInformation);
    return false;
  }

  const SettingsSection msiVersion = settings.GetSection(u"MsiVersion");
  const Text requiredVersion = msiVersion.GetKeyAt(0);
  if (!CheckOperatingSystem(msiVersion.GetValue(requiredVersion))) {
    platform_->ShowMessageBox(messages.GetValue(u"1150"), messageCaption, kIconInformation);
    return false;
  }
  requiredMsiVersion = ParseVersion(requiredVersion);
  return true;
}

}  // namespace setup
