#pragma once
// The report of a check: for people, or as JSON for scripts (schema in README.md beside this).

#include <string>
#include <vector>

#include "tools/setup-check/findings.h"
#include "tools/setup-check/observation.h"

namespace setup::check {

std::string TextReport(const Observation& seen, const std::vector<Finding>& findings);
std::string JsonReport(const Observation& seen, const std::vector<Finding>& findings);

// Shared by both forms.
std::string InstallModeName(int32_t installMode);
std::string DetectionName(InstalledProduct detection);
std::string SystemText(const SystemVersion& system);
std::string RequirementText(const OsRequirement& requirement);
// setup.exe's exit code in words: its own 1 before the installer, else the installer's result.
std::string ExitCodeMeaning(int exitCode, bool installerReached);

}  // namespace setup::check
