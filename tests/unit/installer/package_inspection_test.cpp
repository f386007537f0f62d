#include "setup/installer/package_inspection.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <functional>

#include "installer_fixture.h"
#include "setup/base/numbers.h"

namespace setup::testing {
namespace {

TEST(ScanInstanceFile, FindsTheInstanceNameAndItsProductCode) {
  struct Case {
    const char* rule;
    std::u16string_view text;
    std::u16string_view name;
    std::u16string_view code;
  };
  const Case cases[] = {
      {"last key of Instances wins", u"[Instances]\ncount=2\nA=First\nB=Second\n[Second]\nProductCode={B}\n", u"Second", u"{B}"},
      {"blanks around = make count an instance key", u"[Instances]\ncount = 1\n", u" 1", u""},
      {"blank after ] stays in the section name", u"[Instances]\nA=Inst\n[Inst] \nProductCode={X}\n", u"Inst", u""},
      {"instance section before Instances is not taken", u"[Inst]\nProductCode={X}\n[Instances]\nA=Inst\n", u"Inst", u""},
      {"ProductCode before any header matches no name yet", u"ProductCode={X}\n[Instances]\nA=Inst\n", u"Inst", u"{X}"},
      {"A-Z case is ignored", u"[INSTANCES]\na=inst\nCOUNT=1\n[INST]\nproductcode={X}\n", u"inst", u"{X}"},
      {"other case is not", u"[Instances]\na=\u00C4\n[\u00E4]\nProductCode={X}\n", u"\u00C4", u""},
      {"no trimming of keys or values", u"[Instances]\na= Inst \n[ Inst ]\nProductCode ={X}\n", u" Inst ", u""},
      {"value runs past a second =", u"[Instances]\na=I=J\n[I=J]\nProductCode={X}=\n", u"I=J", u"{X}="},
      {"lines without = are ignored", u"[Instances]\nInst\n;A=Commented\n", u"Commented", u""},
      {"last line without line feed", u"[Instances]\nA=Inst\n[Inst]\nProductCode={X}", u"Inst", u"{X}"},
      {"a lone [ names the empty section", u"[Instances]\nA=Inst\n[\nProductCode={X}\n", u"Inst", u""},
      {"empty file", u"", u"", u""},
  };
  for (const Case& c : cases) {
    PackageInfo info;
    ScanInstanceFile(c.text, info);
    EXPECT_EQ(c.name, info.instanceName) << c.rule;
    EXPECT_EQ(c.code, info.instanceProductCode) << c.rule;
  }
}

TEST(DecodeInstanceFile, ReadsAsTheUtf8TextStreamDoes) {
  struct Case {
    const char* rule;
    std::string_view bytes;
    std::u16string_view text;
  };
  const Case cases[] = {
      {"UTF-8 without mark", "a=\xC3\xA9\n", u"a=\u00E9\n"},
      {"UTF-8 mark is skipped", "\xEF\xBB\xBF[I]", u"[I]"},
      {"UTF-16LE mark switches encoding", std::string_view("\xFF\xFE[\0I\0]\0\r\0\n\0", 12), u"[I]\n"},
      {"CR LF becomes LF", "a\r\nb\r\n", u"a\nb\n"},
      {"a lone CR stays", "a\rb", u"a\rb"},
      {"a mark alone", "\xEF\xBB\xBF", u""},
  };
  HostPlatform platform;
  for (const Case& c : cases) EXPECT_EQ(c.text, DecodeInstanceFile(c.bytes, platform)) << c.rule;
  EXPECT_EQ(std::nullopt, DecodeInstanceFile("\xFE\xFF\0[", platform)) << "UTF-16BE is refused";
}

struct InspectScene : InstallerScene {
  InspectScene() {
    package = AddPackage("media\\product.msi");
    dir.Write("media\\setup.ini", "[Instances]\r\ncount=1\r\nI1=Inst2\r\n[Inst2]\r\nProductCode={INST}\r\n");
    dir.Write("dist files\\setup.ini", "[Instances]\nI1=Wrong\n");
  }
  MsiResult Inspect() { return InspectPackage(info, package, platform, msi); }
  // Every handle the inspection asked for is given back, except the database it keeps open.
  void ExpectOnlyTheDatabaseOpen() const {
    const MsiHandle database = info.database.get();
    EXPECT_EQ(database == 0 ? std::vector<MsiHandle>{} : std::vector<MsiHandle>{database},
              fakeMsi.OpenHandles());
  }

  Text package;
  PackageInfo info;
};

class InspectPackageTest : public ::testing::Test, public InspectScene {};

TEST_F(InspectPackageTest, ReadsThePackageAndTheInstanceFileBesideIt) {
  EXPECT_EQ(0u, Inspect());
  EXPECT_EQ(package, info.packagePath);
  EXPECT_NE(0u, info.database.get());
  EXPECT_EQ(kProductCode, info.productCode);
  EXPECT_EQ(u"{PACKAGE-CODE}", info.packageCode);
  EXPECT_EQ(u"2.0.1", info.productVersion);
  EXPECT_EQ(u"2.0.1.17", info.keyFileVersion);
  EXPECT_EQ(u"Inst2", info.instanceName);
  EXPECT_EQ(u"{INST}", info.instanceProductCode);
  ExpectOnlyTheDatabaseOpen();
}

TEST_F(InspectPackageTest, AsksTheLibraryInOrderWithTheExactArguments) {
  ASSERT_EQ(0u, Inspect());
  const Text db = FormatDecimal(info.database.get());
  const std::vector<FakeMsiCall> opening = {
      {"MsiOpenDatabaseW", {package, u"<null>"}},
      {"MsiGetSummaryInformationW", {db, u"", u"0"}},
  };
  EXPECT_EQ(opening, std::vector<FakeMsiCall>(fakeMsi.calls.begin(), fakeMsi.calls.begin() + 2));
  const std::vector<FakeMsiCall> summaryReads = fakeMsi.CallsTo("MsiSummaryInfoGetPropertyW");
  ASSERT_EQ(2u, summaryReads.size());
  EXPECT_EQ(u"7", summaryReads[0].arguments[1]);
  EXPECT_EQ(u"9", summaryReads[1].arguments[1]);
  const std::vector<FakeMsiCall> queries = {
      {"MsiDatabaseOpenViewW", {db, u"SELECT Value FROM Property WHERE Property = 'ProductCode'"}},
      {"MsiDatabaseOpenViewW", {db, u"SELECT Value FROM Property WHERE Property = 'ProductVersion'"}},
      {"MsiDatabaseOpenViewW", {db, u"SELECT Version FROM File WHERE File = 'ledgr.dll'"}},
  };
  EXPECT_EQ(queries, fakeMsi.CallsTo("MsiDatabaseOpenViewW"));
  // The record is given back before its view, and the summary before the first query.
  const std::vector<std::string> oneQuery = {"MsiDatabaseOpenViewW", "MsiViewExecute", "MsiViewFetch",
                                             "MsiRecordGetStringW", "MsiCloseHandle", "MsiCloseHandle"};
  std::vector<std::string> order = {"MsiOpenDatabaseW", "MsiGetSummaryInformationW", "MsiSummaryInfoGetPropertyW",
                                    "MsiSummaryInfoGetPropertyW", "MsiCloseHandle"};
  for (int i = 0; i < 3; ++i) order.insert(order.end(), oneQuery.begin(), oneQuery.end());
  EXPECT_EQ(order, fakeMsi.CallOrder());
  const std::vector<FakeMsiCall> fetches = fakeMsi.CallsTo("MsiViewFetch");
  const std::vector<FakeMsiCall> closes = fakeMsi.CallsTo("MsiCloseHandle");
  const std::vector<FakeMsiCall> reads = fakeMsi.CallsTo("MsiRecordGetStringW");
  for (size_t i = 0; i < fetches.size(); ++i) {
    EXPECT_EQ(u"1", reads[i].arguments[1]);
    EXPECT_EQ(reads[i].arguments[0], closes[1 + 2 * i].arguments[0]);
    EXPECT_EQ(fetches[i].arguments[0], closes[2 + 2 * i].arguments[0]);
  }
}

TEST_F(InspectPackageTest, PackageCodeIsKeptOnlyWhenTheRevisionIsText) {
  fakeMsi.packages[package].summary[9] = {kVtI4, 12, u""};
  info.packageCode = u"earlier";
  EXPECT_EQ(0u, Inspect());
  EXPECT_EQ(u"earlier", info.packageCode);
  EXPECT_EQ(kProductCode, info.productCode);
  EXPECT_EQ(u"Inst2", info.instanceName);
}

TEST(InspectPackage, StopsAtTheFirstFailureKeepingWhatWasReadBefore) {
  struct Case {
    const char* name;
    std::function<void(InspectScene&)> arrange;
    MsiResult result;
    std::u16string_view productCode;
    std::u16string_view productVersion;
  };
  const Case cases[] = {
      {"package missing", [](auto& t) { t.package = t.dir.PathOf("media\\absent.msi"); }, kPackageMissing, u"", u""},
      {"no MsiOpenDatabaseW", [](auto& t) { t.WithoutExports({"MsiOpenDatabaseW"}); }, kMsiEntryMissing, u"", u""},
      {"open fails", [](auto& t) { t.fakeMsi.Fail("MsiOpenDatabaseW", kOpenFailed); }, kOpenFailed, u"", u""},
      {"no MsiGetSummaryInformationW", [](auto& t) { t.WithoutExports({"MsiGetSummaryInformationW"}); },
       kMsiEntryMissing, u"", u""},
      {"second summary read fails", [](auto& t) { t.fakeMsi.Fail("MsiSummaryInfoGetPropertyW", 1627, 2); }, 1627,
       u"", u""},
      {"no MsiViewFetch", [](auto& t) { t.WithoutExports({"MsiViewFetch"}); }, kMsiEntryMissing, u"", u""},
      {"execute fails", [](auto& t) { t.fakeMsi.Fail("MsiViewExecute", 1627, 2); }, 1627, kProductCode, u""},
      {"version read fails", [](auto& t) { t.fakeMsi.Fail("MsiRecordGetStringW", 1627, 2); }, 1627, kProductCode, u""},
      {"no ProductVersion row", [](auto& t) { t.fakeMsi.packages[t.package].properties.erase(u"ProductVersion"); },
       kNoMoreItems, kProductCode, u""},
      {"no ledgr.dll row", [](auto& t) { t.fakeMsi.packages[t.package].fileVersions.clear(); }, kNoMoreItems,
       kProductCode, u"2.0.1"},
  };
  for (const Case& c : cases) {
    InspectScene t;
    c.arrange(t);
    EXPECT_EQ(c.result, t.Inspect()) << c.name;
    EXPECT_EQ(c.productCode, t.info.productCode) << c.name;
    EXPECT_EQ(c.productVersion, t.info.productVersion) << c.name;
    EXPECT_EQ(u"", t.info.instanceName) << c.name;
    EXPECT_EQ(u"", t.info.keyFileVersion) << c.name;
    t.ExpectOnlyTheDatabaseOpen();
  }
}

TEST_F(InspectPackageTest, WithoutLibraryNothingIsStored) {
  WithoutMsiDll();
  EXPECT_EQ(0u, Inspect());
  EXPECT_EQ(u"", info.packagePath);
}

TEST_F(InspectPackageTest, FailedComInitialisationStoresOnlyThePath) {
  platform.comResult = -2147467259;   // E_FAIL
  EXPECT_EQ(0u, Inspect());
  EXPECT_EQ(package, info.packagePath);
  EXPECT_TRUE(fakeMsi.calls.empty());
}

TEST_F(InspectPackageTest, ASecondInspectionClosesTheFirstDatabase) {
  ASSERT_EQ(0u, Inspect());
  const MsiHandle first = info.database.get();
  fakeMsi.calls.clear();
  ASSERT_EQ(0u, Inspect());
  EXPECT_EQ((FakeMsiCall{"MsiCloseHandle", {FormatDecimal(first)}}), fakeMsi.calls.front());
  ExpectOnlyTheDatabaseOpen();
}

// The context owns the package: a run that ends between inspection and launch still gives the
// database back, or only forgets it when the library cannot close handles.
TEST(SetupContext, GoingAwayClosesTheDatabaseItStillHolds) {
  for (const bool closeable : {true, false}) {
    InspectScene scene;
    if (!closeable) scene.WithoutExports({"MsiCloseHandle"});
    MsiHandle database = 0;
    {
      SetupContext context(scene.platform, scene.msi);
      ASSERT_EQ(0u, InspectPackage(context.package, scene.package, scene.platform, scene.msi));
      database = context.package.database.get();
      scene.fakeMsi.calls.clear();
    }
    const std::vector<FakeMsiCall> closing = {{"MsiCloseHandle", {FormatDecimal(database)}}};
    EXPECT_EQ(closeable ? closing : std::vector<FakeMsiCall>{}, scene.fakeMsi.calls);
    const std::vector<MsiHandle> open = scene.fakeMsi.OpenHandles();
    EXPECT_EQ(closeable, std::find(open.begin(), open.end(), database) == open.end());
  }
}

TEST_F(InspectPackageTest, MissingOrUnreadableInstanceFileLeavesTheInstanceEmpty) {
  dir.Write("media\\setup.ini", "");
  EXPECT_EQ(0u, Inspect());
  EXPECT_EQ(u"", info.instanceName);
  std::filesystem::remove(HostPathOf(dir.PathOf("media\\setup.ini")));
  EXPECT_EQ(0u, Inspect());
  EXPECT_EQ(u"", info.instanceProductCode);
}

class DetectInstalledProductTest : public InstallerFixture {};

TEST_F(DetectInstalledProductTest, AsksForTheProductFirstThenTheInstanceInExactlyTheProductVersion) {
  struct Case {
    const char* name;
    std::optional<Text> productInstalled;    // the installed version, if any
    std::optional<Text> instanceInstalled;
    Text instanceCode;
    InstalledProduct expected;
  };
  const Case cases[] = {
      {"product in version", u"2.0.1.0", std::nullopt, kInstanceCode, InstalledProduct::kProduct},
      {"both in version: product first", u"2.0.1.0", u"2.0.1.0", kInstanceCode, InstalledProduct::kProduct},
      {"product in another version, instance in version", u"2.0.1.1", u"2.0.1.0", kInstanceCode,
       InstalledProduct::kInstance},
      {"instance only", std::nullopt, u"2.0.1.0", kInstanceCode, InstalledProduct::kInstance},
      {"instance in another version", std::nullopt, u"2.0.1", kInstanceCode, InstalledProduct::kNeither},
      {"no instance code", u"3.0.0.0", u"2.0.1.0", u"", InstalledProduct::kNeither},
      {"nothing installed", std::nullopt, std::nullopt, kInstanceCode, InstalledProduct::kNeither},
  };
  for (const Case& c : cases) {
    fakeMsi.products.clear();
    if (c.productInstalled) Install(kProductCode, *c.productInstalled);
    if (c.instanceInstalled) Install(kInstanceCode, *c.instanceInstalled);
    context.instanceProductCode = c.instanceCode;
    EXPECT_EQ(c.expected, DetectInstalledProduct(context)) << c.name;
    EXPECT_EQ(platform.loads, platform.unloads) << c.name;
  }
}

TEST_F(DetectInstalledProductTest, AFewerPartProductVersionMatchesNoFourPartInstalledVersion) {
  context.productVersion = VersionNumber{{2, 0, 1, -1}};
  Install(kProductCode, u"2.0.1.0");
  EXPECT_EQ(InstalledProduct::kNeither, DetectInstalledProduct(context));
}

TEST_F(DetectInstalledProductTest, AsksInstallLocationThenVersionStringOfEachCode) {
  Install(kInstanceCode, u"2.0.1.0");
  fakeMsi.Fail("MsiGetProductInfoW", kUnknownProperty, 1);   // the product's InstallLocation
  Install(kProductCode, u"2.0.1.0");
  context.instanceProductCode = kInstanceCode;
  EXPECT_EQ(InstalledProduct::kInstance, DetectInstalledProduct(context));
  const std::vector<FakeMsiCall> expected = {
      {"MsiGetProductInfoW", {kProductCode, u"InstallLocation", u"2048"}},
      {"MsiGetProductInfoW", {kInstanceCode, u"InstallLocation", u"2048"}},
      {"MsiGetProductInfoW", {kInstanceCode, u"VersionString", u"2048"}},
  };
  EXPECT_EQ(expected, fakeMsi.calls);
}

TEST_F(DetectInstalledProductTest, UsesARecordOfItsOwnAndGivesItBackOnEveryPath) {
  Install(kProductCode, u"2.0.1.0");
  ASSERT_TRUE(msi.Bind());
  EXPECT_EQ(InstalledProduct::kProduct, DetectInstalledProduct(context));
  EXPECT_EQ(2, platform.loads);
  EXPECT_EQ(1, platform.unloads);
  EXPECT_TRUE(msi.IsLoaded());
  WithoutMsiDll();
  EXPECT_EQ(InstalledProduct::kNeither, DetectInstalledProduct(context));
  EXPECT_EQ(1, platform.unloads);
}

}  // namespace
}  // namespace setup::testing
