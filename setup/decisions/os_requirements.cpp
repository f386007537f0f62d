#include "setup/decisions/os_requirements.h"

#include "setup/base/numbers.h"
#include "setup/driver/setup_context.h"
#include "setup/driver/version_number.h"

namespace setup {

OsRequirement OsRequirementOf(const SettingsSection& entry) {
  const VersionNumber version = ParseVersion(entry.GetValue(u"MajorVer") + u"." + entry.GetValue(u"MinorVer") +
                                             u"." + entry.GetValue(u"BuildNo"));
  OsRequirement requirement;
  requirement.major = static_cast<uint32_t>(version.components[0]);
  requirement.minor = static_cast<uint32_t>(version.components[1]);
  requirement.build = static_cast<uint32_t>(version.components[2]);
  // The low 16 bits hold the service pack, major in the high byte: 512 is service pack 2.0.
  const Text servicePack = entry.GetValue(u"ServicePack");
  if (!servicePack.empty()) {
    const uint32_t word = ParseUnsignedDecimal(servicePack).value;
    requirement.servicePackMajor = static_cast<uint16_t>((word >> 8) & 0xFF);
    requirement.servicePackMinor = static_cast<uint16_t>(word & 0xFF);
  }
  return requirement;
}

bool SetupContext::CheckOperatingSystem(const Text& listSection) const {
  const SettingsSection list = settings.GetSection(listSection);
  for (size_t i = 0; i < list.GetKeyCount(); ++i) {
    const Text entryName = list.GetKeyAt(i);
    if (list.GetValue(entryName) != u"1") continue;
    if (platform_->IsSystemAtLeast(OsRequirementOf(settings.GetSection(entryName)))) return true;
  }
  return false;
}

}  // namespace setup
