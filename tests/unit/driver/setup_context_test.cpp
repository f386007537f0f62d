#include "setup/driver/setup_context.h"

#include <gtest/gtest.h>

#include "setup/platform/host/host_platform.h"

namespace setup {
namespace {

TEST(SetupContext, StartsInTheUsersLanguage) {
  for (const uint32_t language : {0x0419u, 0x0C0Au}) {
    HostPlatform platform;
    platform.userLanguage = language;
    MsiLibrary msi(platform);
    EXPECT_EQ(SetupContext(platform, msi).languageId, language);
  }
}

TEST(SetupContext, SplitsTheModulePathAtItsLastBackslash) {
  const struct {
    std::optional<Text> modulePath;
    const char16_t* directory;
    const char16_t* fileName;
  } cases[] = {
      {Text(u"C:\\dist\\setup.exe"), u"C:\\dist\\", u"setup.exe"},
      {Text(u"D:\\setup.exe"), u"D:\\", u"setup.exe"},
      {Text(u"\\\\server\\share\\kit\\setup.exe"), u"\\\\server\\share\\kit\\", u"setup.exe"},
      {Text(u"C:\\dist\\\\setup.exe"), u"C:\\dist\\", u"setup.exe"},
      {Text(u"setup.exe"), u"setup.exe", u""},
      {Text(u"C:/dist/setup.exe"), u"C:/dist/setup.exe", u""},
      {Text(u"C:setup.exe"), u"C:setup.exe", u""},
      {Text(u"\\setup.exe"), u"\\", u"setup.exe"},
      {std::nullopt, u"", u""},
  };
  for (const auto& c : cases) {
    HostPlatform platform;
    platform.moduleFileName = c.modulePath;
    MsiLibrary msi(platform);
    SetupContext context(platform, msi);
    EXPECT_EQ(context.moduleDirectory, c.directory) << ToUtf8(c.modulePath.value_or(u"(none)"));
    EXPECT_EQ(context.moduleFileName, c.fileName) << ToUtf8(c.modulePath.value_or(u"(none)"));
  }
}

TEST(SetupContext, KeepsAModulePathOfAnyLengthWhole) {
  HostPlatform platform;
  const Text deep = u"C:\\" + Text(5000, u'd') + u"\\";
  platform.moduleFileName = deep + u"setup.exe";
  MsiLibrary msi(platform);
  SetupContext context(platform, msi);
  EXPECT_EQ(context.moduleDirectory, deep);
  EXPECT_EQ(context.moduleFileName, u"setup.exe");
}

}  // namespace
}  // namespace setup
