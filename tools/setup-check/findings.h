#pragma once
// The problems of a distribution folder: each one with the file and line it comes from.

#include <string>
#include <vector>

#include "tools/setup-check/observation.h"

namespace setup::check {

enum class Severity { kWarning, kError };

struct Finding {
  Severity severity = Severity::kWarning;
  std::string code;     // stable, for scripts: "package-file-missing", ...
  std::string file;     // relative to the distribution folder; "command line" for setup.exe's arguments
  size_t line = 0;      // 0 when the problem has no line of its own
  std::string message;  // UTF-8
};

std::vector<Finding> FindProblems(const Observation& seen);

// 0 clean, 1 warnings only, 2 errors.
int ExitCodeFor(const std::vector<Finding>& findings);

}  // namespace setup::check
