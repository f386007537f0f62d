#include <gtest/gtest.h>

#include "setup/driver/setup_context.h"
#include "setup/platform/host/host_platform.h"
#include "tests/support/temp_dir.h"

namespace setup {
namespace {

using testing::TempDir;

constexpr char kSetupIni[] =
    "[Startup]\r\n"
    "Product=Example Product\r\n"
    "PackageName=Package\r\n"
    "ProductVersion=2.0.1.5\r\n"
    "PackageCode={PKG}\r\n"
    "LogResults=Y\r\n"
    "CmdLine=A=1\r\n"
    "ProductCode={PRODUCT}\r\n"
    "\r\n"
    "[Package]\r\n"
    "Location=sub\\product.msi\r\n"
    "\r\n"
    "[MsiVersion]\r\n"
    "3.1=Systems\r\n"
    "\r\n"
    "[Systems]\r\n"
    "Xp=1\r\n"
    "Vista=1\r\n"
    "\r\n"
    "[Xp]\r\n"
    "MajorVer=5\r\nMinorVer=1\r\nBuildNo=2600\r\nServicePack=512\r\n"
    "\r\n"
    "[Vista]\r\n"
    "MajorVer=6\r\nMinorVer=0\r\nBuildNo=6000\r\n";

constexpr char kEnglish[] = "[0x0409]\n1150=Unsupported system\n";

// UTF-16LE with its mark, as language files for non-Latin scripts are often saved.
std::string Utf16File(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

class SettingsLoadingTest : public ::testing::Test {
 protected:
  SettingsLoadingTest() {
    platform.moduleFileName = dir.path() + u"setup.exe";
    platform.commandLine = u"setup.exe";
    platform.system = {5, 1, 2600, 3, 0};
  }

  // Loads with the given arguments after the program path.
  bool Load(SetupContext& context, const Text& arguments = u"") {
    platform.commandLine = u"setup.exe " + arguments;
    return context.LoadSettings(u"Setup.ini");
  }

  TempDir dir;
  HostPlatform platform;
  MsiLibrary msi{platform};
};

TEST_F(SettingsLoadingTest, MissingSetupIniShowsNothingAndIgnoresTheCommandLine) {
  SetupContext context(platform, msi);
  EXPECT_FALSE(Load(context, u"/S /a"));
  EXPECT_TRUE(platform.messageBoxes.empty());
  EXPECT_EQ(context.uiLevel, 5);
  EXPECT_EQ(context.installMode, 0);
}

TEST_F(SettingsLoadingTest, FillsTheContextFromStartupAndThePackageSection) {
  dir.Write("Setup.ini", kSetupIni);
  dir.Write("0x0409.ini", kEnglish);
  SetupContext context(platform, msi);
  ASSERT_TRUE(Load(context, u"B=2 C=3"));
  EXPECT_EQ(context.productName, u"Example Product");
  EXPECT_EQ(context.productVersion, (VersionNumber{{2, 0, 1, 5}}));
  EXPECT_EQ(context.packageCode, u"{PKG}");
  EXPECT_TRUE(context.logResults);
  EXPECT_EQ(context.productCode, u"{PRODUCT}");
  EXPECT_EQ(context.packagePath, dir.path() + u"sub\\product.msi");
  EXPECT_EQ(context.installProperties, u"A=1 B=2 C=3 ");
  EXPECT_EQ(context.requiredMsiVersion, (VersionNumber{{3, 1, -1, -1}}));
  EXPECT_EQ(context.messages.GetValue(u"1150"), u"Unsupported system");
  EXPECT_TRUE(platform.messageBoxes.empty());
}

TEST_F(SettingsLoadingTest, ReadsSetupIniInEveryEncodingItHasAMarkFor) {
  const std::string ansi = kSetupIni;
  std::u16string wide;
  for (char c : ansi) wide.push_back(static_cast<char16_t>(c));
  std::string bigEndian = "\xFE\xFF";
  for (char16_t unit : wide) {
    bigEndian.push_back(static_cast<char>(unit >> 8));
    bigEndian.push_back(static_cast<char>(unit & 0xFF));
  }
  const struct {
    const char* name;
    std::string bytes;
    bool loads;
  } cases[] = {
      {"ANSI", ansi, true},
      {"UTF-8 with mark", "\xEF\xBB\xBF" + ansi, true},
      {"UTF-16LE with mark", Utf16File(wide), true},
      {"UTF-16BE with mark", bigEndian, false},
  };
  dir.Write("0x0409.ini", kEnglish);
  for (const auto& c : cases) {
    dir.Write("Setup.ini", c.bytes);
    platform.messageBoxes.clear();
    SetupContext context(platform, msi);
    EXPECT_EQ(Load(context), c.loads) << c.name;
    EXPECT_EQ(context.productCode, c.loads ? u"{PRODUCT}" : u"") << c.name;
    // A file that cannot be read counts as empty: no system is supported then.
    EXPECT_EQ(platform.messageBoxes.size(), c.loads ? 0u : 1u) << c.name;
  }
}

TEST_F(SettingsLoadingTest, OnlyAnUpperCaseYSetsLogResults) {
  for (const char* value : {"y", "Yes", "YES", "Y Y", ""}) {
    std::string ini = kSetupIni;
    ini.replace(ini.find("LogResults=Y"), 12, std::string("LogResults=") + value);
    dir.Write("Setup.ini", ini);
    SetupContext context(platform, msi);
    Load(context);
    EXPECT_FALSE(context.logResults) << value;
  }
}

TEST_F(SettingsLoadingTest, LocationIsAlwaysPrefixedWithTheProgramDirectory) {
  const struct {
    const char* section;
    const char16_t* expected;
  } cases[] = {
      {"[Package]\nLocation=D:\\product.msi\n", u"D:\\product.msi"},
      {"[Package]\nLocation=\n", u""},
      {"[Other]\nLocation=x.msi\n", u""},
  };
  for (const auto& c : cases) {
    dir.Write("Setup.ini", std::string("[Startup]\nPackageName=Package\n") + c.section);
    SetupContext context(platform, msi);
    Load(context);
    EXPECT_EQ(context.packagePath, dir.path() + c.expected) << c.section;
  }
}

TEST_F(SettingsLoadingTest, UnsupportedSystemShowsMessage1150FromTheChosenLanguage) {
  dir.Write("Setup.ini", kSetupIni);
  dir.Write("0x0409.ini", kEnglish);
  dir.Write("0x0419.ini", Utf16File(u"[0x0419]\r\n1150=\u041d\u0435 \u043f\u043e\u0434\u0434\u0435\u0440\u0436\u0438\u0432\u0430\u0435\u0442\u0441\u044f\r\n"));
  platform.system = {5, 0, 2195, 4, 0};
  SetupContext context(platform, msi);
  EXPECT_FALSE(Load(context, u"/l ru"));
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, u"\u041d\u0435 \u043f\u043e\u0434\u0434\u0435\u0440\u0436\u0438\u0432\u0430\u0435\u0442\u0441\u044f");
  EXPECT_EQ(platform.messageBoxes[0].caption, u"");
  EXPECT_EQ(platform.messageBoxes[0].style, 0x40u);
  EXPECT_EQ(context.requiredMsiVersion, (VersionNumber{{-1, -1, -1, -1}}));
}

TEST_F(SettingsLoadingTest, MissingLanguageFileFallsBackToEnglishMessages) {
  dir.Write("Setup.ini", "[Startup]\nProduct=P\n");
  dir.Write("0x0409.ini", kEnglish);
  platform.userLanguage = 0x0419;
  SetupContext context(platform, msi);
  EXPECT_FALSE(Load(context));
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, u"Unsupported system");
}

TEST_F(SettingsLoadingTest, WithoutAnyLanguageFileTheBoxIsEmpty) {
  dir.Write("Setup.ini", "");
  SetupContext context(platform, msi);
  EXPECT_FALSE(Load(context));
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, u"");
}

TEST_F(SettingsLoadingTest, UsageOptionShowsOnlyTheUsageBox) {
  dir.Write("Setup.ini", "[Startup]\nProduct=P\n");  // no system would be supported either
  dir.Write("0x0409.ini", kEnglish);
  SetupContext context(platform, msi);
  EXPECT_FALSE(Load(context, u"/?"));
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, context.usageText);
  EXPECT_EQ(platform.messageBoxes[0].style, 0x40u);
  EXPECT_EQ(context.usageText.rfind(u"Usage: ", 0), 0u);
}

TEST_F(SettingsLoadingTest, UsageBoxSpeaksTheLanguageFileWhenItHasAUsageText) {
  dir.Write("Setup.ini", kSetupIni);
  dir.Write("0x0409.ini", "[0x0409]\n1203=Usage: setup options\n1204=/S  silent\n1206=/?  this text\n");
  SetupContext context(platform, msi);
  EXPECT_FALSE(Load(context, u"/?"));
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, u"Usage: setup options\n/S  silent\n\n/?  this text");
}

TEST_F(SettingsLoadingTest, OnlyTheFirstMsiVersionKeyCounts) {
  std::string ini = kSetupIni;
  ini.replace(ini.find("3.1=Systems"), 11, "3.1=Nothing\r\n2.0=Systems");
  dir.Write("Setup.ini", ini);
  SetupContext context(platform, msi);
  EXPECT_TRUE(Load(context));
  EXPECT_EQ(context.requiredMsiVersion, (VersionNumber{{2, 0, -1, -1}}));
}

TEST_F(SettingsLoadingTest, LanguageOptionChoosesItsFileOverTheUsersLanguage) {
  dir.Write("Setup.ini", "[Startup]\n");
  dir.Write("0x0409.ini", kEnglish);
  dir.Write("0x0407.ini", "[0x0407]\n1150=Nicht unterstuetzt\n");
  SetupContext context(platform, msi);
  EXPECT_FALSE(Load(context, u"/l de"));
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, u"Nicht unterstuetzt");
}

}  // namespace
}  // namespace setup
