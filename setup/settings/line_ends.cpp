#include "setup/settings/line_ends.h"

namespace setup {

Text CollapseCrLf(TextView text) {
  Text collapsed;
  collapsed.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    collapsed.push_back(text[i]);
  }
  return collapsed;
}

}  // namespace setup
