#pragma once
// Finds the settings file, reads it whole and decodes it to one NUL-terminated UTF-16 text,
// recognising its encoding by the byte-order mark as the C library's "rt, ccs=UNICODE" stream
// does. The stream's behaviours are written out here over the file's bytes, so that every
// build reads a file exactly alike.

#include <boost/shared_array.hpp>

#include "setup/base/text.h"
#include "setup/platform/platform.h"

namespace setup {

// How the reader decoded a file, from its byte-order mark.
enum class SettingsEncoding { kAnsi, kUtf8, kUtf16 };

// The reader's failure to open a file, carrying the C library's message for it.
class InputDataFileException {
 public:
  explicit InputDataFileException(Text message) : message_(std::move(message)) {}
  const Text& Message() const { return message_; }

 private:
  Text message_;
};

class SettingsFileReader {
 public:
  // An empty path means "Setup.ini" beside the program. Throws InputDataFileException when the
  // file cannot be opened (missing, no access, a UTF-16BE mark).
  explicit SettingsFileReader(const Text& path, Platform& platform = DefaultPlatform());

  void ReadAll();
  // The decoded text, ended by a NUL unit; empty (null) when nothing was read.
  boost::shared_array<char16_t> GetText() const { return text_; }

  SettingsEncoding Encoding() const { return encoding_; }

 private:
  Platform& platform_;
  FileBytes content_;   // the file as opened: its bytes, read once
  boost::shared_array<char16_t> text_;
  SettingsEncoding encoding_ = SettingsEncoding::kAnsi;
};

// The default location: the program's drive and directory, then "/Setup.ini".
Text DefaultSettingsPath(Platform& platform);

}  // namespace setup
