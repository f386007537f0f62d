#include "tools/setup-check/shared/host_paths.h"

#include <algorithm>
#include <system_error>

#include "setup/base/chars.h"
#include "setup/platform/host/host_platform.h"

namespace setup::check {
namespace fs = std::filesystem;

namespace {

// "*" and "?" as the file search reads them, letters compared ignoring the case of A-Z. On a
// mismatch the last "*" takes one character more, which finds a match wherever there is one.
bool MatchesPattern(TextView name, TextView pattern) {
  size_t n = 0;
  size_t p = 0;
  size_t starAt = TextView::npos;  // the last "*" seen, and where in the name it last resumed
  size_t resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starAt = p++;
      resumeAt = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || FoldAsciiCase(pattern[p]) == FoldAsciiCase(name[n]))) {
      ++p;
      ++n;
    } else if (starAt != TextView::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// The first entry of folder, in the folder's own order, that the pattern matches.
std::optional<fs::path> FirstMatch(const fs::path& folder, TextView pattern) {
  std::error_code error;
  for (fs::directory_iterator it(folder.empty() ? "." : folder, error), end; !error && it != end; it.increment(error)) {
    if (MatchesPattern(TextOf(it->path().filename()), pattern)) return it->path().filename();
  }
  return std::nullopt;
}

// Windows itself ignores case when it opens a file, and takes ".." off the path before it looks;
// on Linux each part that is not there is looked up in its folder. Opening a file takes
// wildcards literally.
fs::path Resolved(const fs::path& written) {
#ifndef _WIN32
  fs::path given = written.lexically_normal();
  std::error_code error;
  if (given.empty() || fs::exists(given, error)) return given;
  fs::path resolved = given.root_path();
  for (const fs::path& part : given.relative_path()) {
    const Text name = TextOf(part);
    const bool asGiven = fs::exists(resolved / part, error) || name.find_first_of(u"*?") != Text::npos;
    resolved /= asGiven ? part : FirstMatch(resolved, name).value_or(part);
  }
  return resolved;
#else
  return written;
#endif
}

}  // namespace

bool SameFile(const Text& a, const Text& b) {
  const fs::path first = ResolveHostPath(a);
  const fs::path second = ResolveHostPath(b);
  std::error_code error;
  return first == second || (fs::equivalent(first, second, error) && !error);
}

Text TextOf(const fs::path& path) { return FromUtf8(reinterpret_cast<const char*>(path.u8string().c_str())); }

fs::path ResolveHostPath(const Text& windowsPath) { return Resolved(HostFsPath(windowsPath)); }

std::optional<fs::path> SearchFile(const Text& windowsPath) {
  if (windowsPath.empty()) return std::nullopt;
  const fs::path given = HostFsPath(windowsPath);
  const fs::path folder = Resolved(given.parent_path());
  const std::optional<fs::path> found = FirstMatch(folder, TextOf(given.filename()));
  return found ? std::optional(folder / *found) : std::nullopt;
}

Text WindowsFolderOf(const fs::path& hostFolder) {
  std::error_code error;
  const fs::path absolute = fs::absolute(hostFolder, error);
  Text text = TextOf((error ? hostFolder : absolute).lexically_normal());
  std::ranges::replace(text, u'/', u'\\');
  if (!text.ends_with(u'\\')) text += u'\\';
  return text;
}

}  // namespace setup::check
