#pragma once
// The program's own option table, shared by the entry and by applying the options.

#include "setup/cmdline/option_spec.h"

namespace setup {

// Rows: l, S, a, x, instance, debuglog, ?, the free "input params", and the end row.
extern const OptionSpec kSetupOptions[];

}  // namespace setup
