#include <gtest/gtest.h>

#include "setup/platform/platform.h"

namespace setup {
namespace {

// Each name that leaves is one Windows' path rules would resolve outside the folder it is put
// after: to a parent, a root, a drive or a stream.
TEST(StaysInsideFolder, RefusesEveryNameWindowsWouldResolveOutside) {
  const struct {
    TextView name;
    bool stays;
  } cases[] = {
      {u"Setup.ini", true},
      {u"sub\\deeper\\product.msi", true},
      {u"sub/product.msi", true},
      {u"..a\\b..", true},                  // dots within a name are only part of it
      {u"a.\\b", true},                     // Windows strips the dot: "a\b", still inside
      {u"..", false},
      {u".", false},
      {u"..\\escape.txt", false},
      {u"sub\\..\\..\\escape.txt", false},
      {u"sub/../escape.txt", false},
      {u"...\\escape.txt", false},          // trailing dots go: ".."
      {u".. \\escape.txt", false},          // and trailing blanks
      {u" \\escape.txt", false},
      {u"\\escape.txt", false},             // the root of the drive
      {u"\\\\server\\share\\escape.txt", false},
      {u"C:escape.txt", false},             // the drive's current folder
      {u"C:\\escape.txt", false},
      {u"file.txt:stream", false},
      {u"sub\\\\file.txt", false},
      {u"sub\\", false},
      {u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(StaysInsideFolder(c.name), c.stays) << ToUtf8(c.name);
}

}  // namespace
}  // namespace setup
