#include "setup/base/text.h"

#include <cstdint>

namespace setup {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendCodePoint(Text& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Length of the sequence a lead byte starts, or 0 for a byte that cannot lead one.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

Text FromUtf8(std::string_view bytes) {
  Text out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const int length = SequenceLength(lead);
    if (length <= 1) {
      out.push_back(length == 1 ? lead : kReplacement);
      ++i;
      continue;
    }
    char32_t cp = lead & (0x7F >> length);
    int taken = 1;
    for (; taken < length && i + taken < bytes.size(); ++taken) {
      const auto next = static_cast<unsigned char>(bytes[i + taken]);
      if ((next & 0xC0) != 0x80) break;
      cp = (cp << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (taken < length || overlong || surrogate || cp > 0x10FFFF) {
      // A broken sequence costs one replacement character and resumes at the first byte
      // that could not continue it.
      out.push_back(kReplacement);
      i += (taken > 1 ? taken : 1);
      continue;
    }
    AppendCodePoint(out, cp);
    i += length;
  }
  return out;
}

std::string ToUtf8(TextView text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

size_t DecodeUtf16Le(std::string_view bytes, char16_t* units) {
  const size_t count = bytes.size() / 2;
  const auto* from = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < count; ++i) {
    units[i] = static_cast<char16_t>(from[2 * i] | from[2 * i + 1] << 8);
  }
  return count;
}

Text DecodeUtf16Le(std::string_view bytes) {
  Text text(bytes.size() / 2, u'\0');
  DecodeUtf16Le(bytes, text.data());
  return text;
}

}  // namespace setup
