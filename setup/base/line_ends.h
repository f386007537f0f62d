#pragma once
// CR LF to LF, the one line-end rule of text streams and of the settings document.

#include <algorithm>
#include <cstddef>

#include "setup/base/text.h"

namespace setup {

// Every CR LF pair becomes one LF, left to right; a CR elsewhere stays.
Text CollapseCrLf(TextView text);

// The same over bytes or units in their own buffer; returns the new length. The result is
// never longer, so it is written over what was already read.
template <typename Unit>
size_t CollapseCrLfInPlace(Unit* text, size_t length) {
  const Unit cr = '\r';
  const Unit lf = '\n';
  Unit* const end = text + length;
  Unit* out = text;
  // Whole runs up to each CR move at once: a unit-by-unit copy would be the slowest step of
  // reading a large file.
  for (Unit* from = text; from < end;) {
    Unit* const found = std::find(from, end, cr);
    if (out != from) std::copy(from, found, out);
    out += found - from;
    if (found == end) break;
    const bool beforeLineFeed = found + 1 < end && found[1] == lf;
    if (!beforeLineFeed) *out++ = cr;
    from = found + 1;
  }
  return static_cast<size_t>(out - text);
}

}  // namespace setup
