#include "tools/setup-check/code_page.h"

#ifdef _WIN32
#include "setup/platform/win32/win32_platform.h"
#else
#include <iconv.h>

#include <cerrno>
#include <string>
#endif

namespace setup::check {

#ifdef _WIN32

std::optional<Text> DecodeCodePage(uint32_t codePage, std::string_view bytes) {
  return DecodeWithCodePage(codePage, bytes);
}

#else

namespace {

// glibc names Windows code pages "CP1251"; 65001 is its UTF-8.
std::string IconvName(uint32_t codePage) { return codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage); }

class Converter {
 public:
  explicit Converter(uint32_t codePage) : handle_(iconv_open("UTF-16LE", IconvName(codePage).c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

}  // namespace

std::optional<Text> DecodeCodePage(uint32_t codePage, std::string_view bytes) {
  const Converter converter(codePage);
  if (!converter.ok()) return std::nullopt;
  std::string input(bytes);
  char* in = input.data();
  size_t inLeft = input.size();
  std::string output(4 * input.size() + 4, '\0');
  Text text;
  while (inLeft > 0) {
    char* out = output.data();
    size_t outLeft = output.size();
    const size_t converted = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
    for (const char* unit = output.data(); unit + 1 < out; unit += 2) {
      text.push_back(
          static_cast<char16_t>(static_cast<unsigned char>(unit[0]) | static_cast<unsigned char>(unit[1]) << 8));
    }
    if (converted != static_cast<size_t>(-1)) break;
    // A byte that is no character, or a sequence cut short at the end.
    text.push_back(u'\uFFFD');
    if (errno == EINVAL) break;
    ++in;
    --inLeft;
  }
  return text;
}

#endif

}  // namespace setup::check
