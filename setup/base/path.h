#pragma once
// The C library's wide path split (_wsplitpath), written out so that both builds split alike.

#include "setup/base/text.h"

namespace setup {

struct PathParts {
  Text drive;       // "C:" when the path starts with a letter and a colon
  Text directory;   // up to and including the last '\' or '/'
  Text name;        // the file name without its extension
  Text extension;   // from the last '.' of the file name on, the dot included
};

PathParts SplitPath(TextView path);

// The program's folder and file name, split at the module path's last backslash (Windows hands
// out module paths with backslashes only). Unlike SplitPath, a path without one is kept whole as
// the folder, so that lookups still resolve against something rather than against nothing.
struct ModuleLocation {
  Text directory;   // up to and including the last backslash; the whole path when it has none
  Text fileName;    // empty when the path has no backslash
};

ModuleLocation SplitModulePath(TextView modulePath);

}  // namespace setup
