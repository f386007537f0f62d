#include "setup/decisions/os_requirements.h"

#include "setup/base/numbers.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/setup_context.h"
#include "setup/driver/version_number.h"

namespace setup {

constexpr uint32_t kNeverMet = 0xFFFFFFFF;  // what ParseVersion's -1 becomes

OsRequirement OsRequirementOf(const SettingsSection& entry) {
  const VersionNumber version = ParseVersion(entry.GetValue(kMajorVersionKey) + u"." +
                                             entry.GetValue(kMinorVersionKey) + u"." + entry.GetValue(kBuildNumberKey));
  OsRequirement requirement;
  requirement.major = static_cast<uint32_t>(version.components[0]);
  requirement.minor = static_cast<uint32_t>(version.components[1]);
  requirement.build = static_cast<uint32_t>(version.components[2]);
  const Text servicePack = entry.GetValue(kServicePackKey);
  if (!servicePack.empty()) SetServicePack(ParseUnsignedDecimal(servicePack).value, requirement);
  return requirement;
}

bool IsNeverMet(const OsRequirement& requirement) {
  return requirement.major == kNeverMet || requirement.minor == kNeverMet || requirement.build == kNeverMet;
}

// Only the first key of [MsiVersion] in key order counts: the lowest engine, naming the list.
// Its keys set to "1" name the entries, and the system is asked entry by entry until one is met.
bool SetupContext::CheckOperatingSystem() {
  SystemsCheck& check = state.systems;
  check.reached = true;
  const SettingsSection msiVersion = ReadSettingsSection(kMsiVersionSection, {}, true);
  check.engineKeyCount = msiVersion.GetKeyCount();
  check.requiredEngine = msiVersion.GetKeyAt(0);
  check.listSection = msiVersion.GetValue(check.requiredEngine);
  const SettingsSection list = ReadSettingsSection(check.listSection, {}, true);
  check.listFound = settings.HasSection(check.listSection);
  for (size_t i = 0; i < list.GetKeyCount(); ++i) {
    OsEntry& entry = check.entries.emplace_back();
    entry.name = list.GetKeyAt(i);
    entry.value = list.GetValue(entry.name);
    entry.enabled = entry.value == kEnabledEntry;
    const SettingsSection section = ReadSettingsSection(entry.name, kEntryKeys);
    entry.sectionFound = settings.HasSection(entry.name);
    entry.requirement = OsRequirementOf(section);
  }
  for (OsEntry& entry : check.entries) {
    if (!entry.enabled) continue;
    const bool met = platform_->IsSystemAtLeast(entry.requirement);
    entry.answer = met ? EntryAnswer::kMet : EntryAnswer::kNotMet;
    if (met) return check.supported = true;
  }
  return false;
}

}  // namespace setup
