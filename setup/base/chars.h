#pragma once
// Character classes and case rules the program relies on. They are written out here rather
// than taken from <cwctype>, whose answers depend on the C library and its locale.

#include "setup/base/text.h"

namespace setup {

// The characters the C library's iswspace counts as white space in the "C" locale:
// tab, line feed, vertical tab, form feed, carriage return and space.
bool IsSpace(char16_t c);

// Letters and digits as iswalnum answers for them: ASCII and Latin-1 letters and digits, and
// every character from U+0100 on that is not white space, punctuation or a surrogate.
bool IsAlnum(char16_t c);

// Folds A-Z to a-z and leaves every other character alone.
char16_t FoldAsciiCase(char16_t c);

// Equality that ignores the case of A-Z only; other characters must match exactly.
bool EqualsIgnoringAsciiCase(TextView a, TextView b);

// The text without leading and trailing IsSpace characters.
Text TrimWhitespace(TextView text);

}  // namespace setup
