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

// The program's folder and file name, split from its module path by SplitPath's rule.
struct ModuleLocation {
  Text directory;   // drive and directory, ending in the path's last separator; empty when none
  Text fileName;    // name and extension
};

ModuleLocation SplitModulePath(TextView modulePath);

}  // namespace setup
