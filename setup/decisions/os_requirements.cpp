#include "setup/decisions/os_requirements.h"

#include <algorithm>

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
  // The low 16 bits hold the service pack, major in the high byte: 512 is service pack 2.0.
  const Text servicePack = entry.GetValue(kServicePackKey);
  if (!servicePack.empty()) {
    const uint32_t word = ParseUnsignedDecimal(servicePack).value;
    requirement.servicePackMajor = static_cast<uint16_t>((word >> 8) & 0xFF);
    requirement.servicePackMinor = static_cast<uint16_t>(word & 0xFF);
  }
  return requirement;
}

bool IsNeverMet(const OsRequirement& requirement) {
  return requirement.major == kNeverMet || requirement.minor == kNeverMet || requirement.build == kNeverMet;
}

SystemsList SystemsListOf(const SettingsFile& settings) {
  const SettingsSection msiVersion = settings.GetSection(kMsiVersionSection);
  const Text requiredEngine = msiVersion.GetKeyAt(0);
  return {requiredEngine, msiVersion.GetValue(requiredEngine)};
}

std::vector<OsEntry> OsEntriesOf(const SettingsFile& settings, const Text& listSection) {
  const SettingsSection list = settings.GetSection(listSection);
  std::vector<OsEntry> entries;
  for (size_t i = 0; i < list.GetKeyCount(); ++i) {
    OsEntry& entry = entries.emplace_back();
    entry.name = list.GetKeyAt(i);
    entry.value = list.GetValue(entry.name);
    entry.enabled = entry.value == kEnabledEntry;
    entry.requirement = OsRequirementOf(settings.GetSection(entry.name));
  }
  return entries;
}

// The system is asked entry by entry, and no more once one passes.
bool SetupContext::CheckOperatingSystem(const Text& listSection) const {
  const std::vector<OsEntry> entries = OsEntriesOf(settings, listSection);
  return std::any_of(entries.begin(), entries.end(),
                     [this](const OsEntry& entry) { return entry.enabled && platform_->IsSystemAtLeast(entry.requirement); });
}

}  // namespace setup
