#pragma once
// The start and the end of a bundle's run: its payload checked and unpacked into a folder of its
// own, which then serves as the distribution folder, and removed when the run is done.

#include "setup/base/text.h"
#include "setup/platform/platform.h"

namespace setup {

inline constexpr char16_t kBundleFolderPrefix[] = u"setup-bundle-";

enum class BundleStart { kNoPayload, kCorrupt, kCannotUnpack, kUnpacked };

// Owns the unpacked folder: removes it, whatever the run's result. One that cannot be removed at
// once (a file still held open) is removed by the next bundle run of this user.
class UnpackedBundle {
 public:
  explicit UnpackedBundle(Platform& platform) : platform_(platform) {}
  UnpackedBundle(const UnpackedBundle&) = delete;
  UnpackedBundle& operator=(const UnpackedBundle&) = delete;
  ~UnpackedBundle();

  // Checks the program's payload and unpacks it. kNoPayload for a program without one, which
  // runs from its own folder as ever; kCorrupt when the payload does not match its hash, its
  // trailer points outside the file, or an entry is refused, with nothing left behind;
  // kCannotUnpack when no folder of its own can be made.
  BundleStart Unpack(const Text& programPath);
  const Text& folder() const { return folder_; }  // ends in '\'

 private:
  Platform& platform_;
  Text folder_;
};

}  // namespace setup
