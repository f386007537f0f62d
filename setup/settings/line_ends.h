#pragma once
// CR LF to LF, the one line-end rule of text streams and of the settings document.

#include "setup/base/text.h"

namespace setup {

// Every CR LF pair becomes one LF, left to right; a CR elsewhere stays.
Text CollapseCrLf(TextView text);

}  // namespace setup
