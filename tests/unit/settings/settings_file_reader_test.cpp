#include "setup/settings/settings_file_reader.h"

#include <gtest/gtest.h>

#include <optional>

#include "setup/platform/host/host_platform.h"
#include "tests/support/temp_dir.h"

namespace setup {
namespace {

using namespace std::string_literals;

class SettingsFileReaderTest : public ::testing::Test {
 protected:
  // The text as the parser sees it (up to its first NUL); nullopt when the handle is empty.
  std::optional<Text> Read(const std::string& bytes) {
    SettingsFileReader reader(dir.Write("Setup.ini", bytes), platform);
    reader.ReadAll();
    const boost::shared_array<char16_t> text = reader.GetText();
    if (!text) return std::nullopt;
    return Text(text.get());
  }

  Text OpenFailure(const Text& path) {
    try {
      SettingsFileReader reader(path, platform);
    } catch (const InputDataFileException& failure) {
      return failure.Message();
    }
    return u"(opened)";
  }

  testing::TempDir dir;
  HostPlatform platform;
};

TEST_F(SettingsFileReaderTest, DecodesByTheMarkAsAUnicodeTextStreamDoes) {
  const struct {
    std::string bytes;
    std::optional<Text> text;
  } cases[] = {
      {""s, std::nullopt},                      {"x"s, u"x"},
      {"\xEF\xBB"s, u"\u00EF\u00BB"},             {"\xC3\xA9"s, u"\u00C3\u00A9"},
      {"[A]\r\nk=\x80\r\n"s, u"[A]\nk=\u20AC\n"}, {"a\rb\r\r\n\r"s, u"a\rb\r\n\r"},
      {"a=1\x1A" "b=2"s, u"a=1"},                {"\x1A" "b=2"s, u""},
      {"a\0b"s, u"a"},                          {"\xEF\xBB\xBF"s, u"\uFEFF"},
      {"\xEF\xBB\xBF" "k=\xC3\xA9\r\n\xFF"s, u"\uFEFFk=\u00E9\n\uFFFD"},
      {"\xEF\xBB\xBF" "a\x1A" "b"s, u"\uFEFFa\x1A" "b"},
      {"\xFF\xFE"s, u"\uFEFF"},                 {"\xFF\xFE\xEF"s, u"\uFEFF"},
      {"\xFF\xFE[\0A\0]\0\r\0\n\0\xAC\x20"s, u"\uFEFF[A]\n\u20AC"},
      {"\xFF\xFE\r\0x\0\x0D\x0A"s, u"\uFEFF\rx\u0A0D"},
      {"\xFF\xFE" "A\0" "B"s, u"\uFEFFA"},      {"\xFF\xFE" "A\0\0\0" "B\0"s, u"\uFEFFA"},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.bytes), c.text) << ::testing::PrintToString(c.bytes);
}

// Large files are decoded piece by piece in their own buffer: characters must come out whole
// and in order across the pieces, on long lines as on short ones.
TEST_F(SettingsFileReaderTest, DecodesLargeFilesWhole) {
  const struct {
    std::string mark, line;
    Text mark16, line16;
  } cases[] = {
      {"", "k=\x80\xE9;\r\n", u"", u"k=\u20AC\u00E9;\n"},
      {"\xEF\xBB\xBF", "k=\xE2\x82\xAC\xF0\x90\x80\x80\r\n", u"\uFEFF", u"k=\u20AC\U00010000\n"},
      {"\xFF\xFE", "k\0=\0\xAC\x20\r\0\n\0"s, u"\uFEFF", u"k=\u20AC\n"},
  };
  for (const auto& c : cases) {
    for (const size_t lineFeedEvery : {1, 5000}) {
      std::string bytes = c.mark;
      Text expected = c.mark16;
      for (size_t i = 0; i < 30000; ++i) {
        const bool lineEnd = i % lineFeedEvery == 0;
        bytes += lineEnd ? c.line : c.line.substr(0, c.line.size() - (c.mark.size() == 2 ? 4 : 2));
        expected += lineEnd ? c.line16 : c.line16.substr(0, c.line16.size() - 1);
      }
      EXPECT_EQ(Read(bytes), expected) << c.line << " every " << lineFeedEvery;
    }
  }
}

TEST_F(SettingsFileReaderTest, AFileThatCannotBeOpenedThrowsTheCLibraryMessage) {
  EXPECT_EQ(OpenFailure(dir.PathOf("missing.ini")), u"No such file or directory");
  EXPECT_EQ(OpenFailure(dir.Write("be.ini", "\xFE\xFF\0[\0A\0]"s)), u"Invalid argument");
  EXPECT_EQ(OpenFailure(dir.Write("be2.ini", "\xFE\xFF"s)), u"Invalid argument");
  EXPECT_EQ(OpenFailure(dir.Write("fe.ini", "\xFE"s)), u"(opened)");
}

TEST_F(SettingsFileReaderTest, AnEmptyPathOpensSetupIniInTheProgramsDirectory) {
  platform.moduleFileName = dir.PathOf("bin\\setup.exe");
  dir.Write("bin/Setup.ini", "[A]");
  SettingsFileReader reader(u"", platform);
  reader.ReadAll();
  EXPECT_EQ(Text(reader.GetText().get()), u"[A]");
}

TEST(DefaultSettingsPath, JoinsTheProgramsDirectoryWithAForwardSlash) {
  const Text longDirectory = u"C:\\" + Text(300, u'd') + u"\\" + Text(300, u'e');
  const struct {
    std::optional<Text> module;
    Text path;
  } cases[] = {
      {u"C:\\A\\setup.exe", u"C:\\A/Setup.ini"},
      {u"C:\\setup.exe", u"C:/Setup.ini"},
      {u"D:/x/setup.exe", u"D:/x/Setup.ini"},
      {u"\\\\server\\share\\setup.exe", u"\\\\server\\share/Setup.ini"},
      {u"setup.exe", u"/Setup.ini"},
      {std::nullopt, u"/Setup.ini"},
      {longDirectory + u"\\setup.exe", longDirectory + u"/Setup.ini"},
  };
  for (const auto& c : cases) {
    HostPlatform platform;
    platform.moduleFileName = c.module;
    EXPECT_EQ(DefaultSettingsPath(platform), c.path) << ToUtf8(c.path);
  }
}

}  // namespace
}  // namespace setup
