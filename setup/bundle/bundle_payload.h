#pragma once
// Finding a bundle's payload in the program's own file, and judging what the payload may hold.

#include <cstdint>
#include <optional>
#include <string_view>

#include "setup/base/text.h"
#include "setup/bundle/bundle_format.h"
#include "setup/platform/platform.h"

namespace setup {

enum class PayloadStatus { kNone, kCorrupt, kFound };

struct PayloadLocation {
  PayloadStatus status = PayloadStatus::kNone;
  BundleTrailer trailer;
};

// Where a trailer would end in a file of this size whose headers are these bytes (the start of
// the file, at least as far as the data directories): at the certificate table when the
// security directory names one, else at the end.
uint64_t TrailerEnd(std::string_view headers, uint64_t fileSize);

// The program's payload: none without a trailer; corrupt when the trailer points outside the
// file or anywhere but just before itself, or when the cabinet's bytes do not have its hash.
PayloadLocation LocatePayload(Platform& platform, const Text& programPath);

// The most bytes a cabinet's files can hold, as its header and folder entries say: 32 KB for
// each data block. Nothing for bytes that are no cabinet header.
std::optional<uint64_t> CabinetCapacity(std::string_view header);

// Refuses every entry that could land outside the folder or name something other than a plain
// file in it, and any entry that takes the total past the cabinet's capacity.
class PayloadEntryFilter : public CabinetEntryFilter {
 public:
  explicit PayloadEntryFilter(uint64_t capacity) : remaining_(capacity) {}
  bool Accept(TextView name, uint64_t size) override;

 private:
  uint64_t remaining_;
};

// A relative name of plain components: no drive, no root, no "." or "..", no stream, no device
// name, nothing a Windows file name cannot hold.
bool IsSafeEntryName(TextView name);

}  // namespace setup
