#include "setup/base/path.h"

namespace setup {

PathParts SplitPath(TextView path) {
  PathParts parts;
  if (path.size() >= 2 && path[1] == u':') {
    parts.drive = Text(path.substr(0, 2));
    path.remove_prefix(2);
  }
  const size_t lastSeparator = path.find_last_of(u"\\/");
  if (lastSeparator != TextView::npos) {
    parts.directory = Text(path.substr(0, lastSeparator + 1));
    path.remove_prefix(lastSeparator + 1);
  }
  const size_t dot = path.find_last_of(u'.');
  if (dot != TextView::npos) {
    parts.extension = Text(path.substr(dot));
    path = path.substr(0, dot);
  }
  parts.name = Text(path);
  return parts;
}

ModuleLocation SplitModulePath(TextView modulePath) {
  const size_t lastBackslash = modulePath.rfind(u'\\');
  if (lastBackslash == TextView::npos) return {Text(modulePath), Text()};
  Text directory(modulePath.substr(0, lastBackslash));
  if (directory.empty() || directory.back() != u'\\') directory += u'\\';
  return {std::move(directory), Text(modulePath.substr(lastBackslash + 1))};
}

}  // namespace setup
