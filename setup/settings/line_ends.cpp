#include "setup/settings/line_ends.h"

namespace setup {

Text CollapseCrLf(TextView text) {
  Text collapsed;
  collapsed.reserve(text.size());
  // Whole runs up to each CR are appended at once; a character-by-character copy would be
  // the slowest step of reading a large file.
  size_t from = 0;
  while (from < text.size()) {
    const size_t cr = text.find(u'\r', from);
    if (cr == TextView::npos) {
      collapsed.append(text.substr(from));
      break;
    }
    collapsed.append(text.substr(from, cr - from));
    const bool beforeLineFeed = cr + 1 < text.size() && text[cr + 1] == u'\n';
    if (!beforeLineFeed) collapsed.push_back(u'\r');
    from = cr + 1;
  }
  return collapsed;
}

}  // namespace setup
