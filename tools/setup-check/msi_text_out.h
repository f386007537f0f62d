#pragma once
// How msi.dll hands text to its callers, for the stand-in exports of the dry run: the text and a
// NUL when they fit, else as much as fits and ERROR_MORE_DATA; the length always comes back.

#include <algorithm>
#include <cstdint>

#include "setup/installer/msi_library.h"

namespace setup::check {

inline constexpr MsiResult kMsiMoreData = 234;           // ERROR_MORE_DATA
inline constexpr MsiResult kMsiInvalidParameter = 87;    // ERROR_INVALID_PARAMETER

inline MsiResult CopyOut(const Text& value, NativeChar* buffer, uint32_t* capacity) {
  if (capacity == nullptr) return kMsiInvalidParameter;
  const uint32_t room = *capacity;
  *capacity = static_cast<uint32_t>(value.size());
  if (buffer == nullptr) return 0;
  if (room == 0) return kMsiMoreData;
  const size_t copied = std::min<size_t>(value.size(), room - 1);
  std::copy_n(value.begin(), copied, reinterpret_cast<char16_t*>(buffer));
  buffer[copied] = 0;
  return copied < value.size() ? kMsiMoreData : 0;
}

inline Text TextOf(const NativeChar* text) {
  return text == nullptr ? Text() : Text(reinterpret_cast<const char16_t*>(text));
}

}  // namespace setup::check
