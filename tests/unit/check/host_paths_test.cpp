#include "tools/setup-check/shared/host_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace setup::check {
namespace {

// The file search finds what FindFirstFileW finds: "*" any run, "?" one character, A-Z in any
// case, in a folder named in any case.
TEST(SearchFile, MatchesWildcardsAndCaseAsTheFileSearchDoes) {
  const testing::TempDir dir;
  dir.Write("Dist\\Product1.msi", "");
  const struct {
    const char* pattern;
    const char* finds;  // "" when the search finds nothing
  } cases[] = {{"product1.MSI", "Product1.msi"},  {"PRODUCT?.msi", "Product1.msi"}, {"*.msi", "Product1.msi"},
               {"p*1*", "Product1.msi"},          {"product1.msi*", "Product1.msi"}, {"product??.msi", ""},
               {"*2.msi", ""},                    {"product.msi", ""}};
  for (const auto& c : cases) {
    const std::optional<std::filesystem::path> found = SearchFile(dir.PathOf(std::string("DIST\\") + c.pattern));
    EXPECT_EQ(found ? found->filename().string() : "", c.finds) << c.pattern;
  }
}

}  // namespace
}  // namespace setup::check
