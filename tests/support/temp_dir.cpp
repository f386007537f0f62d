#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "setup/platform/host/host_platform.h"

namespace setup::testing {
namespace fs = std::filesystem;

namespace {

Text WindowsStyle(const fs::path& path) {
  const std::u8string utf8 = path.generic_u8string();
  Text text = FromUtf8(std::string(utf8.begin(), utf8.end()));
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path dir = fs::temp_directory_path() /
                       ("setup-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(dir);
  hostPath_ = dir.string();
  folder_ = WindowsStyle(dir);
  path_ = folder_ + u'\\';
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(hostPath_, ignored);
}

Text TempDir::PathOf(std::string_view name) const {
  Text relative = FromUtf8(name);
  for (char16_t& c : relative) {
    if (c == u'/') c = u'\\';
  }
  return path_ + relative;
}

Text TempDir::Write(std::string_view name, std::string_view bytes) const {
  const Text full = PathOf(name);
  const fs::path hostFile = fs::u8path(HostPathOf(full));
  fs::create_directories(hostFile.parent_path());
  std::ofstream(hostFile, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return full;
}

}  // namespace setup::testing
