// The README's table of problems is what people read to learn a code; it is held, row for row, to
// the tool's own table. Host only: the source folder is read by its path here.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "tools/setup-check/check/finding_kinds.h"

namespace setup::check::testing {
namespace {

// The rows of "## Problems reported", each as "`code` | severity | what".
std::vector<std::string> ReadmeRows() {
  std::ifstream file(SETUP_SOURCE_DIR "/tools/setup-check/README.md");
  std::vector<std::string> rows;
  bool inSection = false;
  for (std::string line; std::getline(file, line);) {
    if (line.starts_with("## ")) inSection = line == "## Problems reported";
    if (inSection && line.starts_with("| `") && line.ends_with(" |")) rows.push_back(line.substr(2, line.size() - 4));
  }
  return rows;
}

TEST(FindingsReadme, ListsEveryKindAsTheToolHasIt) {
  const std::vector<std::string> readme = ReadmeRows();
  std::vector<std::string> table;
  for (const FindingKind& kind : kFindingKinds) {
    table.push_back("`" + std::string(kind.code) + "` | " + std::string(SeverityWords(kind.severity)) + " | " +
                    std::string(kind.what));
  }
  for (size_t i = 0; i < std::min(readme.size(), table.size()); ++i) EXPECT_EQ(readme[i], table[i]) << "row " << i + 1;
  EXPECT_EQ(readme.size(), table.size());
}

}  // namespace
}  // namespace setup::check::testing
