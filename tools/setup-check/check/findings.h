#pragma once
// The problems of a distribution folder: each one with the file and line it comes from.

#include <optional>
#include <string>
#include <vector>

#include "tools/setup-check/shared/exit_codes.h"
#include "tools/setup-check/shared/observation.h"

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

// The known name that name most likely misspells: the same ignoring case, or a letter or two
// off (one for names of four letters or fewer); nullopt when none is that close.
std::optional<Text> NearestName(TextView name, const std::vector<Text>& known);

// By the most severe finding: kCheckErrors, kCheckWarnings, or kCheckClean when there is none.
CheckExitCode ExitCodeFor(const std::vector<Finding>& findings);

}  // namespace setup::check
