#include "setup/base/chars.h"

namespace setup {

bool IsAlnum(char16_t c) {
  if (c < 0x80) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
  }
  if (c < 0x100) {
    return c == 0xAA || c == 0xB5 || c == 0xBA || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
  }
  const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
  const bool generalPunctuation = c >= 0x2000 && c <= 0x206F;
  const bool cjkPunctuation = c >= 0x3000 && c <= 0x303F;
  const bool fullwidthPunctuation = (c >= 0xFF00 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20);
  return !(surrogate || generalPunctuation || cjkPunctuation || fullwidthPunctuation ||
           c == 0xFEFF || c >= 0xFFF0);
}

char16_t FoldAsciiCase(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsIgnoringAsciiCase(TextView a, TextView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

TextView TrimmedView(TextView text) {
  size_t first = 0;
  while (first < text.size() && IsSpace(text[first])) ++first;
  size_t last = text.size();
  while (last > first && IsSpace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

}  // namespace setup
