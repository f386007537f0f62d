#include "setup/installer/msi_library.h"

#include <gtest/gtest.h>

#include <functional>

#include "installer_fixture.h"

namespace setup::testing {
namespace {

// The slots in binding order, as plain addresses.
std::vector<EntryPoint> Slots(const MsiLibrary& m) {
  const auto at = [](auto fn) { return reinterpret_cast<EntryPoint>(fn); };
  return {at(m.openDatabase),         at(m.openProduct),       at(m.openPackage),
          at(m.getProductProperty),   at(m.getProductInfo),    at(m.summaryInfoGetProperty),
          at(m.getSummaryInformation), at(m.databaseOpenView), at(m.installProduct),
          at(m.closeHandle),          at(m.viewFetch),         at(m.viewClose),
          at(m.recordGetString),      at(m.viewExecute),       at(m.viewGetColumnInfo),
          at(m.recordGetFieldCount),  at(m.setInternalUI),     at(m.enableLog)};
}

using MsiLibraryTest = InstallerFixture;

TEST_F(MsiLibraryTest, BindPutsEachExportIntoTheSlotOfItsName) {
  ASSERT_TRUE(msi.Bind());
  const FakeModule module = fakeMsi.Module();
  const std::vector<EntryPoint> slots = Slots(msi);
  ASSERT_EQ(FakeMsi::ExportNames().size(), slots.size());
  for (size_t i = 0; i < slots.size(); ++i) {
    EXPECT_EQ(module.exports.at(FakeMsi::ExportNames()[i]), slots[i]) << FakeMsi::ExportNames()[i];
  }
}

TEST_F(MsiLibraryTest, BindWithoutTheLibraryFailsAndBindsNothing) {
  WithoutMsiDll();
  EXPECT_FALSE(msi.Bind());
  EXPECT_FALSE(msi.IsLoaded());
  for (const EntryPoint slot : Slots(msi)) EXPECT_EQ(nullptr, slot);
}

TEST_F(MsiLibraryTest, MissingExportsLeaveTheirSlotsEmptyAndTheRestBound) {
  WithoutExports({"MsiEnableLogW", "MsiSetInternalUI"});
  ASSERT_TRUE(msi.Bind());
  const std::vector<EntryPoint> slots = Slots(msi);
  EXPECT_EQ(nullptr, msi.enableLog);
  EXPECT_EQ(nullptr, msi.setInternalUI);
  EXPECT_EQ(16, std::count_if(slots.begin(), slots.end(), [](EntryPoint e) { return e != nullptr; }));
}

TEST_F(MsiLibraryTest, ReleaseOfAnUnboundRecordUnloadsNothing) {
  msi.Release();
  EXPECT_EQ(0, platform.unloads);
}

TEST_F(MsiLibraryTest, ReleaseUnloadsOnceAndForgetsTheEntryPoints) {
  ASSERT_TRUE(msi.Bind());
  msi.Release();
  msi.Release();
  EXPECT_EQ(1, platform.unloads);
  EXPECT_FALSE(msi.IsLoaded());
  for (const EntryPoint slot : Slots(msi)) EXPECT_EQ(nullptr, slot);
}

TEST_F(MsiLibraryTest, BindingABoundRecordGivesBackTheEarlierLoad) {
  ASSERT_TRUE(msi.Bind());
  ASSERT_TRUE(msi.Bind());
  EXPECT_EQ(2, platform.loads);
  EXPECT_EQ(1, platform.unloads);
}

TEST_F(MsiLibraryTest, ClearForgetsTheLibraryWithoutUnloadingIt) {
  ASSERT_TRUE(msi.Bind());
  msi.Clear();
  EXPECT_FALSE(msi.IsLoaded());
  EXPECT_EQ(nullptr, msi.installProduct);
  EXPECT_EQ(0, platform.unloads);
}

TEST_F(MsiLibraryTest, GuardedCallsGiveOneAndLeaveTheTextAloneWhenTheirExportIsMissing) {
  WithoutExports({"MsiDatabaseOpenViewW", "MsiViewExecute", "MsiRecordGetStringW", "MsiSummaryInfoGetPropertyW",
                  "MsiGetProductInfoW", "MsiCloseHandle"});
  ASSERT_TRUE(msi.Bind());
  Text text = u"before";
  MsiHandle view = 0;
  uint32_t type = 0;
  int32_t integer = 0;
  const std::vector<std::pair<const char*, std::function<MsiResult()>>> calls = {
      {"open view", [&] { return msi.OpenView(1, u"SELECT", view); }},
      {"execute", [&] { return msi.ExecuteView(1); }},
      {"record", [&] { return msi.RecordGetString(1, text); }},
      {"summary", [&] { return msi.SummaryGetProperty(1, 9, type, integer, text); }},
      {"product info", [&] { return msi.GetProductInfo(kProductCode, u"VersionString", text); }},
      {"close", [&] { return msi.CloseHandle(1); }},
  };
  for (const auto& [name, call] : calls) EXPECT_EQ(kMsiEntryMissing, call()) << name;
  EXPECT_EQ(u"before", text);
  EXPECT_TRUE(fakeMsi.calls.empty());
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
