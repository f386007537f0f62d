#pragma once
// The program's text is UTF-16 on every build. wchar_t is 32-bit on Linux, so std::wstring would
// make host tests prove something other than what ships; char16_t is 16-bit everywhere.

#include <string>
#include <string_view>

namespace setup {

using Text = std::u16string;
using TextView = std::u16string_view;

// Conversions for the edges of the program (file names on the host, test output, stdout).
// Malformed input becomes U+FFFD, as the Windows converters do.
Text FromUtf8(std::string_view bytes);
std::string ToUtf8(TextView text);

// UTF-16LE bytes as units; an odd final byte makes no unit. The units may be written over the
// bytes themselves (units == bytes.data()): each unit lands on the two bytes it is made of.
// Returns how many units there are.
size_t DecodeUtf16Le(std::string_view bytes, char16_t* units);
Text DecodeUtf16Le(std::string_view bytes);

}  // namespace setup
