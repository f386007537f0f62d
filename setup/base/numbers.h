#pragma once
// Decimal conversions with the exact rules of the C library's wcstol and wcstoul in base 10,
// and the "0x%04x" and "%d" formats. Digits are those msvcrt's wcstol reads: ASCII and the
// decimal digits of the other scripts it knows (Arabic-Indic, Devanagari, fullwidth, ...).

#include <cstdint>

#include "setup/base/text.h"

namespace setup {

struct SignedParse {
  int32_t value = 0;      // clamped to the 32-bit range, as wcstol does on Windows
  size_t consumed = 0;    // 0 when no digit was found (the whole text is then unconverted)
};

struct UnsignedParse {
  uint32_t value = 0;     // out of range gives 0xFFFFFFFF; a leading '-' negates modulo 2^32
  size_t consumed = 0;
};

// Leading white space (IsSpace) and one sign are accepted; conversion stops at the first
// character that is not a decimal digit.
SignedParse ParseSignedDecimal(TextView text);
UnsignedParse ParseUnsignedDecimal(TextView text);

// "0x" and at least four lower-case hexadecimal digits: 1049 gives "0x0419".
Text FormatHex4(uint32_t value);
// Base 10 with a '-' for negative values: 1049 gives "1049".
Text FormatDecimal(int64_t value);

}  // namespace setup
