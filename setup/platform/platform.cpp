#include "setup/platform/platform.h"

#include <cstdlib>

#include "setup/base/numbers.h"

namespace setup {
namespace {
Platform* installed = nullptr;
}

Platform& DefaultPlatform() {
  // Reaching for the default before the entry installed one is a programming error, not a
  // condition the program could report.
  if (installed == nullptr) std::abort();
  return *installed;
}

void SetDefaultPlatform(Platform* platform) { installed = platform; }

void Platform::ShowMessageBox(const Text& text, const Text& caption, uint32_t style) {
  if (PersonCanSeeBoxes()) PresentMessageBox(text, caption, style);
}

void Platform::ShowErrorBox(uint32_t code) {
  Text text = SystemMessageText(code);
  if (text.empty()) text = u"Error " + FormatDecimal(code) + u".";
  ShowMessageBox(text, u"Error", kErrorBoxStyle);
}

}  // namespace setup
