#pragma once
// The report of a check: for people, or as JSON for scripts (schema in README.md beside this).
// Both forms come from one description of the report's fields.

#include <string>
#include <vector>

#include "tools/setup-check/findings.h"
#include "tools/setup-check/observation.h"

namespace setup::check {

std::string TextReport(const Observation& seen, const std::vector<Finding>& findings);
std::string JsonReport(const Observation& seen, const std::vector<Finding>& findings);

}  // namespace setup::check

namespace setup::check {

// "6.1.7601 SP 1.0": a system, or the lowest one an entry accepts.
std::string RequirementText(const OsRequirement& requirement);

}  // namespace setup::check
