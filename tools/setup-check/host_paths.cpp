#include "tools/setup-check/host_paths.h"

#include <system_error>

#include "setup/base/chars.h"

namespace setup::check {
namespace fs = std::filesystem;

namespace {

Text TextOf(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  return FromUtf8(std::string(utf8.begin(), utf8.end()));
}

#ifndef _WIN32
// The entry of folder whose name equals name ignoring A-Z case; name itself when none does.
fs::path MatchInFolder(const fs::path& folder, const fs::path& name) {
  std::error_code error;
  if (fs::exists(folder / name, error)) return name;
  const Text wanted = TextOf(name);
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (EqualsIgnoringAsciiCase(TextOf(it->path().filename()), wanted)) return it->path().filename();
  }
  return name;
}
#endif

}  // namespace

fs::path ResolveHostPath(const Text& windowsPath) {
#ifdef _WIN32
  return fs::path(windowsPath);
#else
  Text hostText = windowsPath;
  for (char16_t& c : hostText) {
    if (c == u'\\') c = u'/';
  }
  const fs::path given(hostText);
  std::error_code error;
  if (given.empty() || fs::exists(given, error)) return given;
  fs::path resolved = given.root_path();
  for (const fs::path& part : given.relative_path()) resolved /= MatchInFolder(resolved.empty() ? "." : resolved, part);
  return resolved;
#endif
}

Text WindowsFolderOf(const fs::path& hostFolder) {
  std::error_code error;
  fs::path absolute = fs::absolute(hostFolder, error);
  if (error) absolute = hostFolder;
  Text text = TextOf(absolute.lexically_normal());
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  if (text.empty() || text.back() != u'\\') text += u'\\';
  return text;
}

}  // namespace setup::check
