#pragma once
// Operating-system entries of the settings: which system each one asks for at least.

#include <cstdint>

#include "setup/platform/platform.h"
#include "setup/settings/settings_section.h"

namespace setup {

// The lowest system an entry section (MajorVer, MinorVer, BuildNo, ServicePack) accepts. A
// missing or malformed version key yields 0xFFFFFFFF from that field on, which no system meets.
OsRequirement OsRequirementOf(const SettingsSection& entry);
bool IsNeverMet(const OsRequirement& requirement);

// The ServicePack word holds the service pack's major number in its high byte and its minor
// number in the low one: 512 is service pack 2.0.
inline uint32_t ServicePackWord(uint16_t major, uint16_t minor) { return static_cast<uint32_t>(major) << 8 | minor; }
inline void SetServicePack(uint32_t word, OsRequirement& requirement) {
  requirement.servicePackMajor = static_cast<uint16_t>((word >> 8) & 0xFF);
  requirement.servicePackMinor = static_cast<uint16_t>(word & 0xFF);
}
inline OsRequirement ServicePackOf(uint32_t word) {
  OsRequirement requirement;
  SetServicePack(word, requirement);
  return requirement;
}
// Whether a service pack can be written as a word at all: each number has one byte.
inline bool FitsServicePackWord(uint16_t major, uint16_t minor) {
  const OsRequirement decoded = ServicePackOf(ServicePackWord(major, minor));
  return decoded.servicePackMajor == major && decoded.servicePackMinor == minor;
}

}  // namespace setup
