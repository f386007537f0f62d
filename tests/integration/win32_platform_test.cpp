// The Win32 platform against real Windows behaviour, as Wine gives it.

#include "setup/platform/win32/win32_platform.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace setup {
namespace {

using setup::testing::TempDir;

Text Folder(const Text& path) { return path.substr(0, path.find_last_of(u'\\') + 1); }

Text BesideThisProgram(Win32Platform& platform, const Text& name) {
  return Folder(platform.ModuleFileName().value_or(Text())) + name;
}

// The real version, unaffected by manifests and compatibility answers.
RTL_OSVERSIONINFOEXW RunningSystem() {
  RTL_OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  using RtlGetVersionFunction = LONG(WINAPI*)(RTL_OSVERSIONINFOEXW*);
  const auto get = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (get != nullptr) get(&info);
  return info;
}

TEST(Win32Platform, FileExistsIsAFileSearch) {
  Win32Platform platform;
  TempDir dir;
  const Text file = dir.Write("setup.ini", "[Startup]\n");
  const Text folder = dir.path().substr(0, dir.path().size() - 1);
  const struct {
    Text path;
    bool exists;
  } cases[] = {
      {file, true},
      {folder, true},
      {dir.PathOf("SETUP.INI"), true},        // names ignore case
      {dir.PathOf("setup.i?i"), true},        // a search pattern matches like a name
      {dir.PathOf("missing.ini"), false},
      {dir.PathOf("missing\\setup.ini"), false},
      {u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(platform.FileExists(c.path), c.exists) << ToUtf8(c.path);
}

TEST(Win32Platform, ReadWholeFileGivesTheBytesUnchanged) {
  Win32Platform platform;
  TempDir dir;
  const std::string bytes("\xff\xfe[\0A\r\n\x1a\r\nend", 11);
  const FileContent content = platform.ReadWholeFile(dir.Write("data.bin", bytes));
  EXPECT_TRUE(content.opened);
  EXPECT_EQ(content.bytes.View(), bytes);
  EXPECT_EQ(content.error, u"");

  const std::string large(200000, 'x');
  EXPECT_EQ(platform.ReadWholeFile(dir.Write("large.bin", large)).bytes.View(), large);
}

TEST(Win32Platform, ReadWholeFileNamesTheErrorAsTheCLibraryDoes) {
  Win32Platform platform;
  TempDir dir;
  const FileContent missing = platform.ReadWholeFile(dir.PathOf("missing.ini"));
  EXPECT_FALSE(missing.opened);
  EXPECT_EQ(missing.bytes.View(), "");
  EXPECT_EQ(missing.error, u"No such file or directory");
  const FileContent folder = platform.ReadWholeFile(dir.path().substr(0, dir.path().size() - 1));
  EXPECT_FALSE(folder.opened);
  EXPECT_EQ(folder.error, u"Permission denied");
}

TEST(Win32Platform, DecodeUtf8MakesUtf16AndReplacesMalformedBytes) {
  Win32Platform platform;
  const struct {
    std::string bytes;
    Text text;
  } cases[] = {
      {"", u""},
      {"Setup.ini\r\n", u"Setup.ini\r\n"},
      {"\xd0\x96\xe2\x82\xac", u"\u0416\u20ac"},
      {"\xf0\x9f\x98\x80", u"\U0001F600"},    // two UTF-16 units
      {"a\xff" "b", u"a\ufffd" "b"},
      {"\x80", u"\ufffd"},
      {std::string("a\0b", 3), Text(u"a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(platform.DecodeUtf8(c.bytes), c.text) << c.bytes;
}

TEST(Win32Platform, DecodeAnsiUsesTheSystemCodePage) {
  Win32Platform platform;
  EXPECT_EQ(platform.DecodeAnsi("[Startup]\r\nProduct=A"), u"[Startup]\r\nProduct=A");
  EXPECT_EQ(platform.DecodeAnsi(""), u"");
  const UINT codePage = GetACP();
  if (codePage == 1252) {
    EXPECT_EQ(platform.DecodeAnsi("caf\xe9 \x80"), u"caf\u00e9 \u20ac");
  } else if (codePage == 1251) {
    EXPECT_EQ(platform.DecodeAnsi("\xc6\xe9"), u"\u0416\u0439");
  } else {
    GTEST_SKIP() << "no expectation for ANSI code page " << codePage;
  }
}

TEST(Win32Platform, ReadProductVersionOfTheInstallerEngine) {
  Win32Platform platform;
  const std::optional<ProductVersionWords> version = platform.ReadProductVersion(u"msi.dll");
  ASSERT_TRUE(version.has_value());
  // Any engine that installs the packages of these tests is 3.0 or later.
  EXPECT_GE((*version)[0], 3);

  TempDir dir;
  EXPECT_FALSE(platform.ReadProductVersion(dir.Write("plain.dll", "not a program")).has_value());
  EXPECT_FALSE(platform.ReadProductVersion(dir.PathOf("missing.dll")).has_value());
}

TEST(Win32Platform, IsSystemAtLeastComparesAsVerifyVersionInfo) {
  Win32Platform platform;
  const RTL_OSVERSIONINFOEXW running = RunningSystem();
  ASSERT_GT(running.dwMajorVersion, 5u);  // the tests' prefix runs Wine's default, not XP
  const uint32_t major = running.dwMajorVersion;
  const uint32_t minor = running.dwMinorVersion;
  const uint32_t build = running.dwBuildNumber;
  const uint16_t servicePack = running.wServicePackMajor;
  const struct {
    OsRequirement requirement;
    bool expected;
    const char* why;
  } cases[] = {
      {{5, 1, 2600, 0, 0}, true, "Windows XP"},
      {{99, 0, 0, 0, 0}, false, "a far later major version"},
      {{major, minor, build, servicePack, 0}, true, "exactly the running system"},
      {{major, minor + 1, 0, 0, 0}, false, "a later minor version"},
      {{major, minor, build + 1, 0, 0}, false, "a later build"},
      {{5, 0, build + 1, 0, 0}, false, "the build is compared on its own"},
      {{major, minor, 0, static_cast<uint16_t>(servicePack + 1), 0}, false, "a later service pack"},
      {{major - 1, 0, 0, 99, 0}, true, "the service pack counts only within the same version"},
      {{major, minor, 0, servicePack, 1}, running.wServicePackMinor >= 1, "service pack minor"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform.IsSystemAtLeast(c.requirement), c.expected) << c.why;
}

TEST(Win32Platform, RunAndWaitWaitsForTheProgramToEnd) {
  Win32Platform platform;
  const Text program = BesideThisProgram(platform, u"marker_writer.exe");
  const Text marker = program + u".done";
  DeleteFileW(reinterpret_cast<const wchar_t*>(marker.c_str()));
  ASSERT_TRUE(platform.FileExists(program));
  EXPECT_TRUE(platform.RunAndWait(program));
  EXPECT_TRUE(platform.FileExists(marker));
  DeleteFileW(reinterpret_cast<const wchar_t*>(marker.c_str()));
}

TEST(Win32Platform, RunAndWaitReportsAProgramThatCannotStart) {
  Win32Platform platform;
  TempDir dir;
  EXPECT_FALSE(platform.RunAndWait(dir.PathOf("instmsi30.exe")));
  EXPECT_FALSE(platform.RunAndWait(dir.Write("instmsi30.exe", "not a program")));
}

TEST(Win32Platform, SystemMessageTextOfInstallerResults) {
  Win32Platform platform;
  EXPECT_NE(platform.SystemMessageText(1603), u"");
  EXPECT_NE(platform.SystemMessageText(2), u"");
  EXPECT_EQ(platform.SystemMessageText(0x2000ffffu), u"");
}

TEST(Win32Platform, LoadsTheInstallerLibraryAndFindsItsEntryPoints) {
  Win32Platform platform;
  const ModuleHandle msi = platform.LoadModule(u"msi.dll");
  ASSERT_NE(msi, nullptr);
  EXPECT_NE(platform.FindEntryPoint(msi, "MsiInstallProductW"), nullptr);
  EXPECT_NE(platform.FindEntryPoint(msi, "MsiGetProductInfoW"), nullptr);
  EXPECT_EQ(platform.FindEntryPoint(msi, "MsiNoSuchFunctionW"), nullptr);
  platform.UnloadModule(msi);
  EXPECT_EQ(platform.LoadModule(u"no-such-library.dll"), nullptr);
}

TEST(Win32Platform, ProcessFactsNameThisProgram) {
  Win32Platform platform;
  const std::optional<Text> module = platform.ModuleFileName();
  ASSERT_TRUE(module.has_value());
  const Text name = u"\\setup_integration_tests.exe";
  ASSERT_GE(module->size(), name.size());
  EXPECT_EQ(module->substr(module->size() - name.size()), name);
  EXPECT_NE(platform.CommandLine().find(u"setup_integration_tests"), Text::npos);
  EXPECT_NE(platform.UserDefaultLanguage() & 0x3ff, 0);  // a primary language is set
}

TEST(Win32Platform, InitializeComTellsAFirstFromARepeatedStart) {
  Win32Platform platform;
  const int32_t first = platform.InitializeCom();
  EXPECT_GE(first, 0);
  EXPECT_EQ(platform.InitializeCom(), 1);  // S_FALSE: already initialised on this thread
  CoUninitialize();
  CoUninitialize();
}

TEST(Win32Platform, WriteStandardOutputWritesUtf8WithWindowsLineEnds) {
  Win32Platform platform;
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  const HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, writeEnd);
  platform.WriteStandardOutput(u"Usage: /l\n\u0416\n");
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  CloseHandle(writeEnd);
  char buffer[64];
  DWORD got = 0;
  std::string written;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) written.append(buffer, got);
  CloseHandle(readEnd);
  EXPECT_EQ(written, "Usage: /l\r\n\xd0\x96\r\n");
}

// A station made without WSF_VISIBLE is where services run: no one sees a box there.
TEST(Win32Platform, PersonCanSeeBoxesOnlyInAVisibleWindowStation) {
  Win32Platform platform;
  EXPECT_TRUE(platform.PersonCanSeeBoxes());
  const HWINSTA own = GetProcessWindowStation();
  const HWINSTA hidden = CreateWindowStationW(L"SetupIntegrationHidden", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_NE(hidden, nullptr);
  ASSERT_TRUE(SetProcessWindowStation(hidden));
  EXPECT_FALSE(platform.PersonCanSeeBoxes());
  SetProcessWindowStation(own);
  CloseWindowStation(hidden);
  EXPECT_TRUE(platform.PersonCanSeeBoxes());
}

}  // namespace
}  // namespace setup
