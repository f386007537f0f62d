#include "tools/setup-check/shared/fill.h"

#include <algorithm>

namespace setup::check {

std::string Fill(std::string_view pattern, std::initializer_list<std::pair<std::string_view, std::string>> values) {
  std::string filled;
  while (!pattern.empty()) {
    const auto* const value = std::ranges::find_if(values, [&](const auto& v) { return pattern.starts_with(v.first); });
    const size_t used = value == values.end() ? 1 : value->first.size();
    filled += value == values.end() ? std::string(1, pattern.front()) : value->second;
    pattern.remove_prefix(used);
  }
  return filled;
}

}  // namespace setup::check
