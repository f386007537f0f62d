#include "setup/base/line_ends.h"

namespace setup {

Text CollapseCrLf(TextView text) {
  Text collapsed(text);
  collapsed.resize(CollapseCrLfInPlace(collapsed.data(), collapsed.size()));
  return collapsed;
}

}  // namespace setup
