#include "tools/setup-check/shared/code_page.h"

#ifdef _WIN32
#include "setup/platform/win32/win32_platform.h"
#else
#include <iconv.h>

#include <cerrno>
#include <memory>
#include <string>
#endif

namespace setup::check {

#ifdef _WIN32
std::optional<Text> DecodeCodePage(uint32_t page, std::string_view bytes) { return DecodeWithCodePage(page, bytes); }
#else
std::optional<Text> DecodeCodePage(uint32_t codePage, std::string_view bytes) {
  // glibc names Windows code pages "CP1251"; 65001 is its UTF-8.
  const std::string name = codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
  iconv_t opened = iconv_open("UTF-16LE", name.c_str());
  if (opened == reinterpret_cast<iconv_t>(-1)) return std::nullopt;  // NOLINT(performance-no-int-to-ptr): iconv's failure value
  const std::unique_ptr<void, decltype(&iconv_close)> converter(opened, &iconv_close);
  char* in = const_cast<char*>(bytes.data());  // iconv only reads its input
  size_t inLeft = bytes.size();
  std::string output(4 * bytes.size() + 4, '\0');  // room for two units a byte, whatever the code page
  Text text;
  while (inLeft > 0) {
    char* out = output.data();
    size_t outLeft = output.size();
    const bool whole = iconv(converter.get(), &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
    const bool cutShort = !whole && errno == EINVAL;
    text += DecodeUtf16Le(std::string_view(output.data(), out - output.data()));
    if (whole) break;
    // A byte that is no character, or a sequence cut short at the end.
    text += u'\uFFFD';
    if (cutShort) break;
    ++in;
    --inLeft;
  }
  return text;
}
#endif

}  // namespace setup::check
