#include <gtest/gtest.h>

#include "setup/driver/setup_context.h"
#include "setup/platform/host/host_platform.h"

namespace setup {
namespace {

// What ApplyCommandLine leaves in the context for one command line.
struct Applied {
  int32_t installMode;
  int32_t uiLevel;
  uint32_t languageId;
  Text debugLogPath;
  Text installProperties;
  bool usageRequested;
};

Applied Apply(const Text& arguments, const Text& cmdLine = u"", uint16_t userLanguage = 0x0409) {
  HostPlatform platform;
  platform.commandLine = u"\"C:\\dist\\setup.exe\" " + arguments;
  platform.userLanguage = userLanguage;
  MsiLibrary msi(platform);
  SetupContext context(platform, msi);
  context.installProperties = cmdLine;
  context.ApplyCommandLine();
  return {context.installMode, context.uiLevel,           context.languageId,
          context.debugLogPath, context.installProperties, context.usageRequested};
}

TEST(ApplyCommandLine, ModeAdministrativeWinsOverRemoval) {
  const struct {
    const char16_t* arguments;
    int32_t mode;
  } cases[] = {{u"", 0}, {u"/a", 1}, {u"/x", 2}, {u"/a /x", 1}, {u"/x /a", 1}, {u"-X", 2}, {u"/S -- /a", 0}};
  for (const auto& c : cases) EXPECT_EQ(Apply(c.arguments).installMode, c.mode) << ToUtf8(c.arguments);
}

TEST(ApplyCommandLine, SilentSwitchAndRejectedArguments) {
  const struct {
    const char16_t* arguments;
    int32_t uiLevel;
  } cases[] = {{u"/S", 2}, {u"-s", 2}, {u"/q /S", 5}, {u"/? /S", 5}, {u"/S /q", 2}, {u"/Sa", 5}};
  for (const auto& c : cases) EXPECT_EQ(Apply(c.arguments).uiLevel, c.uiLevel) << ToUtf8(c.arguments);
}

// The table of language codes, row by row with its decimal identifier, under another user language.
TEST(ApplyCommandLine, EveryLanguageCodeGivesItsLanguage) {
  const struct {
    const char16_t* code;
    uint32_t languageId;
  } table[] = {
      {u"ru", 1049}, {u"uk", 1058}, {u"en", 1033}, {u"lv", 1062}, {u"lt", 1063},
      {u"ro", 1048}, {u"bg", 1026}, {u"de", 1031}, {u"ka", 1079}, {u"kk", 1087},
      {u"vi", 1066}, {u"pl", 1045}, {u"tr", 1055}, {u"az", 1068}, {u"zh", 2052},
  };
  for (const auto& row : table) {
    EXPECT_EQ(Apply(u"/l " + Text(row.code), u"", 0x0C0A).languageId, row.languageId) << ToUtf8(row.code);
  }
}

TEST(ApplyCommandLine, LanguageOptionMapsCodesAndFallsBack) {
  const struct {
    const char16_t* arguments;
    uint16_t userLanguage;
    uint32_t languageId;
  } cases[] = {
      {u"/l RU", 0x0409, 1049},      {u"/l:ru", 0x0409, 1049},    {u"-l=ru", 0x0409, 1049},
      {u"/lru", 0x0409, 1049},       {u"/l ru /l de", 0x0409, 1031}, {u"/l zh", 0x0409, 0x0804},
      {u"/l kk", 0x0409, 0x043F},    {u"/l ru-RU", 0x0419, 0x0419}, {u"/l ru-RU", 0x0809, 0x0C09},
      {u"/l \"ru\"", 0x0419, 0x0419}, {u"/S /l", 0x0809, 0x0809},   {u"", 0x0419, 0x0419},
      {u"/l xx", 0x0004, 0x0404},    {u"/l ZH", 0x0409, 0x0804},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Apply(c.arguments, u"", c.userLanguage).languageId, c.languageId) << ToUtf8(c.arguments);
  }
}

TEST(ApplyCommandLine, FreeArgumentsFollowCmdLineWithABlankAfterEach) {
  const struct {
    const char16_t* arguments;
    const char16_t* cmdLine;
    const char16_t* properties;
  } cases[] = {
      {u"", u"A=1", u"A=1"},
      {u"B=2 \"C=x y\"", u"A=1", u"A=1 B=2 \"C=x y\" "},
      {u"B=2", u"", u"B=2 "},
      {u"/instance foo", u"A=1", u"A=1"},
      {u"/S -- /a", u"", u"/a "},
      {u"B=2 /q C=3", u"", u"B=2 "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Apply(c.arguments, c.cmdLine).installProperties, c.properties) << ToUtf8(c.arguments);
  }
}

TEST(ApplyCommandLine, DebugLogPathIsCopiedAsTyped) {
  EXPECT_EQ(Apply(u"/debuglog C:\\t\\log.txt").debugLogPath, u"C:\\t\\log.txt");
  EXPECT_EQ(Apply(u"/debuglog \"C:\\my logs\\l.txt\"").debugLogPath, u"\"C:\\my logs\\l.txt\"");
  EXPECT_EQ(Apply(u"").debugLogPath, u"");
}

TEST(ApplyCommandLine, UsageOptionKeepsTheParsersUsageText) {
  HostPlatform platform;
  platform.commandLine = u"setup.exe /?";
  MsiLibrary msi(platform);
  SetupContext context(platform, msi);
  context.ApplyCommandLine();
  EXPECT_TRUE(context.usageRequested);
  EXPECT_EQ(context.usageText.rfind(u"Usage:  [/l <str>]", 0), 0u);
}

}  // namespace
}  // namespace setup
