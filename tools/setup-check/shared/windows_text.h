#pragma once
// Text files as Windows programs read them.

#include <string>
#include <string_view>

namespace setup::check {

// Every line end as CR LF: Notepad of old, PowerShell and the settings reader all take those.
inline std::string WithCrLf(std::string_view lines) {
  std::string bytes;
  for (const char c : lines) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

}  // namespace setup::check
