#pragma once
// What the settings parser makes of a file, told as it goes, for a reader that reports on the
// file: the document keeps no line numbers, and a second parser written beside this one would
// drift from it. setup.exe itself listens to none of it.

#include "setup/base/text.h"

namespace setup {

// How the reader decoded a file, from its byte-order mark.
enum class SettingsEncoding { kAnsi, kUtf8, kUtf16 };

class SettingsObserver {
 public:
  virtual ~SettingsObserver() = default;

  virtual void SettingsUnreadable(const Text& /*path*/, const Text& /*reason*/) {}
  // The decoded text, CR LF collapsed; every place told below counts in it.
  virtual void SettingsRead(const Text& /*path*/, TextView /*text*/, SettingsEncoding /*encoding*/) {}
  // A section's name, where it stands; a later section of the same name is then dropped.
  virtual void SectionParsed(size_t /*nameAt*/, TextView /*name*/) {}
  virtual void SectionDropped(size_t /*nameAt*/) {}
  // A line that gives its section a key; without "=", the whole line is the key.
  virtual void PairParsed(size_t /*keyAt*/, TextView /*key*/, TextView /*value*/, bool /*hasEquals*/) {}
};

}  // namespace setup
