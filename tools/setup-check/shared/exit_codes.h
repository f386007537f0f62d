#pragma once
// setup-check's exit codes, one set for every verb, so that a script reads them the same whether
// it checked a folder, wrote one (--init) or described it for the engines (--deploy).

namespace setup::check {

// Unscoped, so that main hands it on as the process's exit code as it is.
enum CheckExitCode : int {
  kCheckClean = 0,        // no problem found; or the files were written
  kCheckWarnings = 1,     // the check found warnings only
  kCheckErrors = 2,       // the check found errors; --deploy then writes nothing
  kCheckCouldNotRun = 3,  // bad options, an unreadable folder or package; a verb that writes wrote nothing
};

}  // namespace setup::check
