#include "setup/installer/engine_update.h"

#include <gtest/gtest.h>

#include "installer_fixture.h"

namespace setup::testing {
namespace {

using EngineUpdateTest = InstallerFixture;

constexpr VersionNumber kNoVersion{{-1, -1, -1, -1}};

TEST_F(EngineUpdateTest, ReadEngineVersionGivesTheProductVersionWordsInDecimal) {
  platform.productVersions[u"msi.dll"] = {5, 0, 7601, 17514};
  EXPECT_EQ(u"5.0.7601.17514", ReadEngineVersion(platform, msi));
  platform.productVersions[u"msi.dll"] = {65535, 0, 10, 1};
  EXPECT_EQ(u"65535.0.10.1", ReadEngineVersion(platform, msi));
  EXPECT_EQ(1, platform.loads);
}

TEST_F(EngineUpdateTest, ReadEngineVersionIsEmptyWithoutLibraryOrVersionResource) {
  EXPECT_EQ(u"", ReadEngineVersion(platform, msi));   // loaded, but no version resource
  EXPECT_TRUE(msi.IsLoaded());
  msi.Release();
  platform.productVersions[u"msi.dll"] = {5, 0, 0, 0};
  WithoutMsiDll();
  EXPECT_EQ(u"", ReadEngineVersion(platform, msi));
}

TEST_F(EngineUpdateTest, CheckRunsTheEngineInstallerOnlyWhenTheInstalledEngineIsOlder) {
  struct Case {
    const char* name;
    VersionNumber required;
    std::optional<ProductVersionWords> installed;   // nullopt: no msi.dll at all
    bool runs;
  };
  const Case cases[] = {
      {"third component decides for the installed", {{3, 1, -1, -1}}, ProductVersionWords{3, 1, 4000, 2435}, false},
      {"fourth component decides for the required", {{3, 1, 4000, 2435}}, ProductVersionWords{3, 1, 4000, 1823}, true},
      {"first component decides", {{4, 5, -1, -1}}, ProductVersionWords{3, 1, 4001, 5512}, true},
      {"equal versions", {{3, 1, 4000, 2435}}, ProductVersionWords{3, 1, 4000, 2435}, false},
      {"nothing required", kNoVersion, ProductVersionWords{5, 0, 7601, 17514}, false},
      {"nothing required and no library", kNoVersion, std::nullopt, false},
      {"something required and no library", {{0, -1, -1, -1}}, std::nullopt, true},
  };
  WriteProgramFile("instmsi30.exe");
  for (const Case& c : cases) {
    platform.runRequests.clear();
    msi.Release();
    platform.modules.clear();
    if (c.installed) {
      fakeMsi.InstallInto(platform);
      platform.productVersions[u"msi.dll"] = *c.installed;
    }
    context.requiredMsiVersion = c.required;
    context.state.engine = {};
    CheckAndUpdateEngine(context);
    const std::vector<Text> expected = c.runs ? std::vector<Text>{context.moduleDirectory + u"instmsi30.exe"}
                                              : std::vector<Text>{};
    EXPECT_EQ(expected, platform.runRequests) << c.name;
    EXPECT_EQ(c.runs, context.state.engine.updateNeeded) << c.name;
    EXPECT_EQ(c.runs, context.state.engine.installerStarted) << c.name;
  }
}

TEST_F(EngineUpdateTest, MissingEngineInstallerStartsNothingAndKeepsTheLibrary) {
  context.requiredMsiVersion = VersionNumber{{9, 0, 0, 0}};
  platform.productVersions[u"msi.dll"] = {3, 1, 4000, 2435};
  CheckAndUpdateEngine(context);
  EXPECT_TRUE(platform.runRequests.empty());
  EXPECT_TRUE(msi.IsLoaded());
  EXPECT_EQ(u"3.1.4000.2435", context.state.engine.installed);
  EXPECT_TRUE(context.state.engine.updateNeeded);
  EXPECT_FALSE(context.state.engine.installerFound);
  EXPECT_EQ(0, platform.unloads);
}

TEST_F(EngineUpdateTest, TheLibraryIsLetGoWhileTheEngineInstallerRunsAndBoundAgainAfter) {
  const Text installer = dir.Write("instmsi30.exe", "");
  ASSERT_TRUE(msi.Bind());
  bool heldDuringRun = true;
  platform.onRun = [&](const Text&) {
    heldDuringRun = msi.IsLoaded();
    return true;
  };
  EXPECT_EQ(EngineInstallerRun::kRan, RunEngineInstaller(platform, msi, installer));
  EXPECT_FALSE(heldDuringRun);
  EXPECT_TRUE(msi.IsLoaded());
  EXPECT_TRUE(msi.IsBound(MsiEntry::kInstallProduct));
}

TEST_F(EngineUpdateTest, AnInstallerThatCannotStartStillGetsTheLibraryBoundAgain) {
  const Text installer = dir.Write("instmsi30.exe", "");
  ASSERT_TRUE(msi.Bind());
  platform.onRun = [](const Text&) { return false; };
  EXPECT_EQ(EngineInstallerRun::kNotStarted, RunEngineInstaller(platform, msi, installer));
  EXPECT_TRUE(msi.IsLoaded());
  EXPECT_EQ(2, platform.loads);
}

TEST_F(EngineUpdateTest, AnInstallerThatRemovesTheLibraryLeavesNoEntryPointBehind) {
  const Text installer = dir.Write("instmsi30.exe", "");
  ASSERT_TRUE(msi.Bind());
  platform.onRun = [&](const Text&) {
    WithoutMsiDll();
    return true;
  };
  EXPECT_EQ(EngineInstallerRun::kRan, RunEngineInstaller(platform, msi, installer));
  EXPECT_FALSE(msi.IsLoaded());
  EXPECT_FALSE(msi.IsBound(MsiEntry::kInstallProduct));
  EXPECT_FALSE(msi.IsBound(MsiEntry::kCloseHandle));
}

}  // namespace
}  // namespace setup::testing
