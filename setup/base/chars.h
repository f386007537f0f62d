#pragma once
// Character classes and case rules the program relies on. They are written out here rather
// than taken from <cwctype>, whose answers depend on the C library and its locale.

#include "setup/base/text.h"

namespace setup {

// The characters the C library's iswspace counts as white space: tab, line feed, vertical tab,
// form feed, carriage return, space, and the Unicode spaces msvcrt adds to them. Inline, and
// ASCII first, because the settings parser asks it for the ends of every line.
inline bool IsSpace(char16_t c) {
  if (c <= u' ') return c == u' ' || (c >= u'\t' && c <= u'\r');
  if (c < 0xA0) return false;
  return c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Letters and digits as iswalnum answers for them: ASCII and Latin-1 letters and digits, and
// every character from U+0100 on that is not white space, punctuation or a surrogate.
bool IsAlnum(char16_t c);

// Folds A-Z to a-z and leaves every other character alone.
char16_t FoldAsciiCase(char16_t c);

// Equality that ignores the case of A-Z only; other characters must match exactly.
bool EqualsIgnoringAsciiCase(TextView a, TextView b);

// The text without leading and trailing IsSpace characters; the view form costs no copy.
TextView TrimmedView(TextView text);
inline Text TrimWhitespace(TextView text) { return Text(TrimmedView(text)); }

}  // namespace setup
