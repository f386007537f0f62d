#include "setup/base/numbers.h"

#include <algorithm>

#include "setup/base/chars.h"

namespace setup {
namespace {

struct Digits {
  bool negative = false;
  uint64_t magnitude = 0;   // saturates at kSaturated so that long digit runs cannot overflow
  size_t end = 0;        // 0 when no digit was found
};

constexpr uint64_t kSaturated = uint64_t{1} << 40;

// The zeros of the ten-digit runs msvcrt's wcstol reads as decimal digits: ASCII, Arabic-Indic,
// the Indic scripts, Thai, Lao, Tibetan, Myanmar, Khmer, Mongolian and fullwidth.
constexpr char16_t kDigitZeros[] = {0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66,
                                    0x0AE6, 0x0B66, 0x0C66, 0x0CE6, 0x0D66, 0x0E50,
                                    0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};

// The digit's value, or -1 for a character that is not a decimal digit.
int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c < 0x0660) return -1;
  for (const char16_t zero : kDigitZeros) {
    if (c >= zero && c < zero + 10) return c - zero;
  }
  return -1;
}

Digits ScanDigits(TextView text) {
  Digits d;
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    d.negative = text[i] == u'-';
    ++i;
  }
  const size_t firstDigit = i;
  for (int digit; i < text.size() && (digit = DigitValue(text[i])) >= 0;) {
    d.magnitude = std::min(d.magnitude * 10 + static_cast<uint64_t>(digit), kSaturated);
    ++i;
  }
  d.end = i > firstDigit ? i : 0;
  return d;
}

}  // namespace

// Without a digit the magnitude is 0, which either sign leaves 0.
SignedParse ParseSignedDecimal(TextView text) {
  const Digits d = ScanDigits(text);
  const int64_t value = d.negative ? -static_cast<int64_t>(d.magnitude) : static_cast<int64_t>(d.magnitude);
  return {static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)), d.end};
}

UnsignedParse ParseUnsignedDecimal(TextView text) {
  const Digits d = ScanDigits(text);
  if (d.magnitude > 0xFFFFFFFFu) return {0xFFFFFFFFu, d.end};
  const auto value = static_cast<uint32_t>(d.magnitude);
  return {d.negative ? 0u - value : value, d.end};
}

Text FormatHex4(uint32_t value) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  Text digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  while (digits.size() < 4) digits.insert(digits.begin(), u'0');
  return u"0x" + digits;
}

Text FormatDecimal(int64_t value) {
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  Text digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  return negative ? u"-" + digits : digits;
}

}  // namespace setup
