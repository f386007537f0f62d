#pragma once
// Operating-system entries of the settings: which system each one asks for at least.

#include <vector>

#include "setup/platform/platform.h"
#include "setup/settings/settings_file.h"
#include "setup/settings/settings_section.h"

namespace setup {

// The lowest system an entry section (MajorVer, MinorVer, BuildNo, ServicePack) accepts. A
// missing or malformed version key yields 0xFFFFFFFF from that field on, which no system meets.
OsRequirement OsRequirementOf(const SettingsSection& entry);
bool IsNeverMet(const OsRequirement& requirement);

// Only the first key of [MsiVersion] in key order counts: the lowest engine, naming the list.
struct SystemsList {
  Text requiredEngine;
  Text listSection;
};
SystemsList SystemsListOf(const SettingsFile& settings);

// One key of the list in key order: only the value "1" enables its entry.
struct OsEntry {
  Text name;
  Text value;
  bool enabled = false;
  OsRequirement requirement;
};
std::vector<OsEntry> OsEntriesOf(const SettingsFile& settings, const Text& listSection);

}  // namespace setup
