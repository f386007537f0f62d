#include "tools/setup-check/host_paths.h"

#include <system_error>

#include "setup/base/chars.h"

namespace setup::check {
namespace fs = std::filesystem;

namespace {

// "*" and "?" as the file search reads them, letters compared ignoring the case of A-Z.
bool MatchesPattern(TextView name, TextView pattern) {
  if (pattern.empty()) return name.empty();
  if (pattern.front() == u'*') {
    for (size_t skip = 0; skip <= name.size(); ++skip) {
      if (MatchesPattern(name.substr(skip), pattern.substr(1))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  const bool same = pattern.front() == u'?' || FoldAsciiCase(pattern.front()) == FoldAsciiCase(name.front());
  return same && MatchesPattern(name.substr(1), pattern.substr(1));
}

// The first entry of folder, in the folder's own order, that the pattern matches.
std::optional<fs::path> FirstMatch(const fs::path& folder, TextView pattern) {
  std::error_code error;
  for (fs::directory_iterator it(folder.empty() ? "." : folder, error), end; !error && it != end; it.increment(error)) {
    if (MatchesPattern(TextOf(it->path().filename()), pattern)) return it->path().filename();
  }
  return std::nullopt;
}

fs::path HostForm(const Text& windowsPath) {
#ifdef _WIN32
  return fs::path(windowsPath);
#else
  Text hostText = windowsPath;
  for (char16_t& c : hostText) {
    if (c == u'\\') c = u'/';
  }
  return fs::path(hostText);
#endif
}

#ifndef _WIN32
// The name itself when it is there; else the one entry that is the same ignoring case.
fs::path MatchInFolder(const fs::path& folder, const fs::path& name) {
  std::error_code error;
  if (fs::exists(folder / name, error)) return name;
  Text literal = TextOf(name);
  for (char16_t& c : literal) {
    if (c == u'*' || c == u'?') return name;  // opening a file takes wildcards literally
  }
  return FirstMatch(folder, literal).value_or(name);
}
#endif

}  // namespace

Text TextOf(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  return FromUtf8(std::string(utf8.begin(), utf8.end()));
}

fs::path ResolveHostPath(const Text& windowsPath) {
  const fs::path given = HostForm(windowsPath);
#ifdef _WIN32
  return given;
#else
  std::error_code error;
  if (given.empty() || fs::exists(given, error)) return given;
  fs::path resolved = given.root_path();
  for (const fs::path& part : given.relative_path()) resolved /= MatchInFolder(resolved, part);
  return resolved;
#endif
}

std::optional<fs::path> SearchFile(const Text& windowsPath) {
  if (windowsPath.empty()) return std::nullopt;
  const fs::path given = HostForm(windowsPath);
  const fs::path folder = ResolveHostPath(TextOf(given.parent_path()));
  const std::optional<fs::path> found = FirstMatch(folder, TextOf(given.filename()));
  if (!found) return std::nullopt;
  return folder / *found;
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
