#pragma once
// A real folder for one test, removed with everything in it when the test ends. Its path is
// given the Windows way (backslashes, ending in one) on both builds, as the program sees paths.

#include <string>
#include <string_view>

#include "setup/base/text.h"

namespace setup::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, ending in '\'.
  const Text& path() const { return path_; }
  // The folder as it was made, without the final '\'.
  const Text& folder() const { return folder_; }
  // Writes a file (sub-folders are made as needed) and returns its full path.
  Text Write(std::string_view name, std::string_view bytes) const;
  Text PathOf(std::string_view name) const;

 private:
  std::string hostPath_;
  Text path_;
  Text folder_;
};

}  // namespace setup::testing
