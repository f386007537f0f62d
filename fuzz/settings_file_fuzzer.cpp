// Raw bytes as a settings file: every encoding path of the reader, then the parser and queries.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "setup/platform/host/host_platform.h"
#include "setup/settings/settings_file.h"

namespace {

const setup::Text& ScratchFile() {
  static const setup::Text path = [] {
    const auto file = std::filesystem::temp_directory_path() /
                      ("setup-fuzz-" + std::to_string(getpid()) + ".ini");
    return setup::FromUtf8(file.string());
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setup::HostPlatform platform;
  {
    std::ofstream out(setup::HostPathOf(ScratchFile()), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  setup::SettingsFile settings(platform);
  settings.Load(ScratchFile());
  // Query what a run would, plus a name taken from the input itself.
  for (const char16_t* name : {u"Startup", u"MsiVersion", u"", u"0x0409"}) {
    const setup::SettingsSection section = settings.GetSection(name);
    for (size_t i = 0; i < section.GetKeyCount() + 1; ++i) section.GetValue(section.GetKeyAt(i));
  }
  return 0;
}
