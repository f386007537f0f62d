#pragma once
// Operating-system entries of the settings: which system each one asks for at least.

#include "setup/platform/platform.h"
#include "setup/settings/settings_section.h"

namespace setup {

// The lowest system an entry section (MajorVer, MinorVer, BuildNo, ServicePack) accepts. A
// missing or malformed version key yields 0xFFFFFFFF from that field on, which no system meets.
OsRequirement OsRequirementOf(const SettingsSection& entry);

}  // namespace setup
