#pragma once
// The report of a check: for people, or as JSON for scripts (schema in README.md beside this).
// Both forms come from one description of the report's fields.

#include <string>
#include <vector>

#include "tools/setup-check/check/check.h"

namespace setup::check {

std::string TextReport(const CheckResult& result);
std::string JsonReport(const CheckResult& result);

}  // namespace setup::check

namespace setup::check {

// "6.1.7601 SP 1.0": a system, or the lowest one an entry accepts.
std::string RequirementText(const OsRequirement& requirement);

}  // namespace setup::check
