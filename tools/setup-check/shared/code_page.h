#pragma once
// ANSI files as a given machine reads them: setup.exe decodes a file without a byte-order mark
// in the target machine's ANSI code page, which the check can only be told (--codepage).

#include <cstdint>
#include <optional>
#include <string_view>

#include "setup/base/text.h"

namespace setup::check {

inline constexpr uint32_t kDefaultCodePage = 1252;

// The bytes decoded in a Windows code page, a byte that forms no character giving U+FFFD;
// nullopt when the machine the check runs on cannot decode that code page.
std::optional<Text> DecodeCodePage(uint32_t codePage, std::string_view bytes);

}  // namespace setup::check
