#include "tools/setup-check/shared/settings_scan.h"

#include <gtest/gtest.h>

#include "setup/platform/host/host_platform.h"
#include "tests/support/temp_dir.h"

namespace setup::check {
namespace {

// The text as a file in UTF-8 with its mark, scanned as the program reads it.
SettingsScan ScanSettingsText(TextView text) {
  static testing::TempDir dir;
  static int files = 0;
  HostPlatform platform;
  return ScanSettingsFile(dir.Write(std::to_string(++files) + ".ini", "\xEF\xBB\xBF" + ToUtf8(text)), platform);
}

TEST(ScanSettingsText, GivesEachSectionAndKeyTheLineItStandsOn) {
  const SettingsScan scan = ScanSettingsText(u"; head\r\n[A]\r\nk=1\r\n\r\n# c\r\nm = 2 ; c\r\n[B]\nx=y\n");
  ASSERT_EQ(scan.sections.size(), 2u);
  EXPECT_EQ(scan.sections[0].line, 2u);
  EXPECT_EQ(scan.LineOf(u"A", u"k"), 3u);
  EXPECT_EQ(scan.LineOf(u"A", u"m"), 6u);
  EXPECT_EQ(scan.LineOf(u"B", u"x"), 8u);
  EXPECT_EQ(scan.LineOf(u"B", u"k"), std::nullopt);
}

TEST(ScanSettingsText, KeysFollowTheLineThatClosesAHeaderSpreadOverTwo) {
  const SettingsScan scan = ScanSettingsText(u"[A\nk=v]\nz=1\n");
  ASSERT_EQ(scan.sections.size(), 1u);
  EXPECT_EQ(scan.sections[0].name, u"A\nk=v");
  EXPECT_EQ(scan.LineOf(u"A\nk=v", u"z"), 3u);
}

TEST(ScanSettingsText, AHeaderNeverClosedMakesNoSection) {
  const SettingsScan scan = ScanSettingsText(u"[Startup\n[Startup]\nk=v\n[B");
  ASSERT_EQ(scan.sections.size(), 1u);
  EXPECT_FALSE(scan.sections[0].ignored);
  EXPECT_EQ(scan.LineOf(u"Startup", u"k"), 3u);
}

TEST(ScanSettingsText, TheLastLineOfARepeatedKeyIsTheOneThatCounts) {
  EXPECT_EQ(ScanSettingsText(u"[A]\nk=1\nk=2\n").LineOf(u"A", u"k"), 3u);
}

TEST(ScanSettingsText, ALaterSectionOfTheSameNameIsMarkedIgnored) {
  const SettingsScan scan = ScanSettingsText(u"[A]\nk=1\n[A]\nk=2\n");
  ASSERT_EQ(scan.sections.size(), 2u);
  EXPECT_FALSE(scan.sections[0].ignored);
  EXPECT_TRUE(scan.sections[1].ignored);
  EXPECT_EQ(scan.LineOf(u"A", u"k"), 2u);
}

TEST(ScanSettingsText, ABracketAfterTheStartOfALineIsStray) {
  const SettingsScan scan = ScanSettingsText(u"[A]\n  [B]\nk=a[1]\n; see [docs]\n");
  ASSERT_EQ(scan.strayBrackets.size(), 2u);
  EXPECT_EQ(scan.strayBrackets[0].line, 3u);
  EXPECT_EQ(scan.strayBrackets[0].lineText, u"k=a[1]");
  EXPECT_EQ(scan.strayBrackets[1].line, 4u);
}

TEST(ScanSettingsFile, ReadsTheEncodingsTheProgramReads) {
  testing::TempDir dir;
  HostPlatform platform;
  const Text utf16 = dir.Write("u16.ini", std::string("\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0v\0", 18));
  const Text big = dir.Write("be.ini", std::string("\xFE\xFF\0[\0A\0]", 8));
  const SettingsScan scan = ScanSettingsFile(utf16, platform);
  EXPECT_TRUE(scan.opened);
  EXPECT_EQ(scan.LineOf(u"A", u"k"), 2u);
  const SettingsScan refused = ScanSettingsFile(big, platform);
  EXPECT_FALSE(refused.opened);
  EXPECT_EQ(refused.openError, u"Invalid argument");
}

}  // namespace
}  // namespace setup::check
