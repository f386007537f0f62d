#include "setup/installer/msi_library.h"

#include <gtest/gtest.h>

#include <functional>

#include "installer_fixture.h"

namespace setup::testing {
namespace {

// Entry points in binding order, as the library's export names say them.
MsiEntry EntryAt(size_t index) { return static_cast<MsiEntry>(index); }

size_t BoundCount(const MsiLibrary& msi) {
  size_t bound = 0;
  for (size_t i = 0; i < kMsiEntryCount; ++i) bound += msi.IsBound(EntryAt(i)) ? 1 : 0;
  return bound;
}

using MsiLibraryTest = InstallerFixture;

// Each export missing in turn leaves exactly its own entry point unbound: every name is looked
// up, and into the place of its own entry point.
TEST(MsiLibrary, LooksUpEachEntryPointByItsOwnName) {
  const std::vector<std::string>& names = FakeMsi::ExportNames();
  for (size_t missing = 0; missing < names.size(); ++missing) {
    InstallerScene scene;
    scene.WithoutExports({names[missing].c_str()});
    ASSERT_TRUE(scene.msi.Bind());
    for (size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(i != missing, scene.msi.IsBound(EntryAt(i))) << names[i] << " with " << names[missing] << " missing";
    }
  }
}

TEST_F(MsiLibraryTest, BindWithoutTheLibraryFailsAndBindsNothing) {
  WithoutMsiDll();
  EXPECT_FALSE(msi.Bind());
  EXPECT_FALSE(msi.IsLoaded());
  EXPECT_EQ(0u, BoundCount(msi));
}

TEST_F(MsiLibraryTest, ReleaseUnloadsOnlyWhatIsLoadedAndForgetsTheEntryPoints) {
  msi.Release();
  EXPECT_EQ(0, platform.unloads);
  ASSERT_TRUE(msi.Bind());
  EXPECT_EQ(kMsiEntryCount, BoundCount(msi));
  msi.Release();
  msi.Release();
  EXPECT_EQ(1, platform.unloads);
  EXPECT_FALSE(msi.IsLoaded());
  EXPECT_EQ(0u, BoundCount(msi));
}

TEST_F(MsiLibraryTest, BindingABoundRecordGivesBackTheEarlierLoad) {
  ASSERT_TRUE(msi.Bind());
  ASSERT_TRUE(msi.Bind());
  EXPECT_EQ(2, platform.loads);
  EXPECT_EQ(1, platform.unloads);
}

TEST_F(MsiLibraryTest, DestructionUnloadsTheLibrary) {
  {
    MsiLibrary shortLived(platform);
    ASSERT_TRUE(shortLived.Bind());
  }
  EXPECT_EQ(1, platform.unloads);
}

TEST_F(MsiLibraryTest, GuardedCallsGiveOneAndLeaveTheTextAloneWhenTheirExportIsMissing) {
  for (const std::string& name : FakeMsi::ExportNames()) fakeMsi.RemoveExport(name);
  fakeMsi.InstallInto(platform);
  ASSERT_TRUE(msi.Bind());
  Text text = u"before";
  MsiHandle handle = 7;
  uint32_t type = 0;
  int32_t integer = 0;
  const std::vector<std::pair<const char*, std::function<MsiResult()>>> calls = {
      {"open database", [&] { return msi.OpenDatabase(u"C:\\p.msi", handle); }},
      {"summary information", [&] { return msi.GetSummaryInformation(1, handle); }},
      {"open view", [&] { return msi.OpenView(1, u"SELECT", handle); }},
      {"execute", [&] { return msi.ExecuteView(1); }},
      {"fetch", [&] { return msi.FetchView(1, handle); }},
      {"record", [&] { return msi.RecordGetString(1, text); }},
      {"summary", [&] { return msi.SummaryGetProperty(1, 9, type, integer, text); }},
      {"product info", [&] { return msi.GetProductInfo(kProductCode, u"VersionString", text); }},
      {"install", [&] { return msi.InstallProduct(u"C:\\p.msi", u""); }},
      {"close", [&] { return msi.CloseHandle(1); }},
  };
  for (const auto& [name, call] : calls) EXPECT_EQ(kMsiEntryMissing, call()) << name;
  msi.SetInternalUI(2);
  msi.EnableLog(0x1000, u"C:\\log.txt", 2);
  EXPECT_EQ(u"before", text);
  EXPECT_EQ(7u, handle);
}

TEST_F(MsiLibraryTest, TextOutHandsEveryCallTheFullCapacity) {
  Install(kProductCode, u"2.0.1.0");
  ASSERT_TRUE(msi.Bind());
  Text text;
  ASSERT_EQ(0u, msi.GetProductInfo(kProductCode, u"VersionString", text));
  ASSERT_EQ(0u, msi.GetProductInfo(kProductCode, u"InstallLocation", text));
  for (const FakeMsiCall& call : fakeMsi.CallsTo("MsiGetProductInfoW")) EXPECT_EQ(u"2048", call.arguments[2]);
  EXPECT_EQ(u"C:\\Program Files\\P\\", text);
}

TEST_F(MsiLibraryTest, TextOutKeepsTheTextUpToTheFirstNulWhateverTheResult) {
  struct Case {
    Text stored;
    MsiResult result;
    Text text;
  };
  const Case cases[] = {
      {Text(u"abc\0def", 7), 0, u"abc"},
      {Text(3000, u'x'), kMoreData, Text(2047, u'x')},
  };
  ASSERT_TRUE(msi.Bind());
  for (const Case& c : cases) {
    fakeMsi.products[kProductCode].versionString = c.stored;
    Text text = u"stale";
    EXPECT_EQ(c.result, msi.GetProductInfo(kProductCode, u"VersionString", text));
    EXPECT_EQ(c.text, text);
  }
}

TEST_F(MsiLibraryTest, FailedTextOutCallThatWroteNothingGivesTheEmptyText) {
  ASSERT_TRUE(msi.Bind());
  Text text = u"stale";
  EXPECT_EQ(kUnknownProduct, msi.GetProductInfo(u"{UNKNOWN}", u"VersionString", text));
  EXPECT_EQ(u"", text);
}

}  // namespace
}  // namespace setup::testing
