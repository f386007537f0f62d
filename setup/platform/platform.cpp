#include "setup/platform/platform.h"

#include <algorithm>
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

FileBytes FileBytes::ReadToEnd(std::FILE* file, size_t expected) {
  FileBytes bytes;
  bytes.Reserve(expected);
  bytes.size_ = std::fread(bytes.Bytes(), 1, expected, file);
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.Reserve(bytes.size_ + got);
    std::copy(chunk, chunk + got, bytes.Bytes() + bytes.size_);
    bytes.size_ += got;
  }
  return bytes;
}

// The expected size is taken exactly: a file as large as a 32-bit process can hold may leave no
// room for more. Growing beyond it at least doubles, so that a file of unknown size is not
// copied once per chunk.
void FileBytes::Reserve(size_t bytes) {
  if (units_ && bytes < capacity_) return;
  const size_t units = units_ ? std::max(bytes + 1, 2 * capacity_) : bytes + 1;
  std::unique_ptr<char16_t[]> grown = std::make_unique_for_overwrite<char16_t[]>(units);
  std::copy(Bytes(), Bytes() + size_, reinterpret_cast<char*>(grown.get()));
  units_ = std::move(grown);
  capacity_ = units;
}

std::unique_ptr<char16_t[]> FileBytes::ReleaseUnits() {
  if (!units_) Reserve(0);
  capacity_ = 0;
  size_ = 0;
  return std::move(units_);
}

bool StaysInsideFolder(TextView name) {
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] == u':') return false;
    if (i == name.size() || name[i] == u'\\' || name[i] == u'/') {
      if (name.substr(start, i - start).find_first_not_of(u". ") == TextView::npos) return false;
      start = i + 1;
    }
  }
  return true;
}

void Platform::ShowMessageBox(const Text& text, const Text& caption, uint32_t style) {
  if (PersonCanSeeBoxes()) PresentMessageBox(text, caption, style);
}

void Platform::ShowErrorBox(uint32_t code) {
  Text text = SystemMessageText(code);
  if (text.empty()) text = u"Error " + FormatDecimal(code) + u".";
  ShowMessageBox(text, u"Error", kErrorBoxStyle);
}

}  // namespace setup
