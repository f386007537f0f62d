// Raw bytes as the instance file beside a package: decoding in each encoding, then the scan.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "setup/installer/package_inspection.h"
#include "setup/platform/host/host_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setup::HostPlatform platform;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  setup::PackageInfo info;
  if (const auto text = setup::DecodeInstanceFile(bytes, platform)) setup::ScanInstanceFile(*text, info);
  return 0;
}
