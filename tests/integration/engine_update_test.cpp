// The engine check against Wine's msi.dll.

#include "setup/installer/engine_update.h"

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "setup/base/numbers.h"
#include "setup/driver/setup_context.h"
#include "setup/platform/win32/win32_platform.h"
#include "tests/support/temp_dir.h"

namespace setup {
namespace {

using testing::TempDir;

const wchar_t* Native(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// msi.dll's own answer, a road to the engine's version that passes no version resource.
DLLVERSIONINFO EngineDllVersion() {
  DLLVERSIONINFO info = {};
  info.cbSize = sizeof info;
  const HMODULE msi = LoadLibraryW(L"msi.dll");
  const auto get = reinterpret_cast<DLLGETVERSIONPROC>(
      reinterpret_cast<void*>(GetProcAddress(msi, "DllGetVersion")));
  if (get != nullptr) get(&info);
  FreeLibrary(msi);
  return info;
}

Text Joined(const VersionNumber& version) {
  Text text = FormatDecimal(version.components[0]);
  for (size_t i = 1; i < version.components.size(); ++i) text += u'.' + FormatDecimal(version.components[i]);
  return text;
}

TEST(ReadEngineVersion, GivesTheProductVersionOfTheRealEngineInFourParts) {
  Win32Platform platform;
  MsiLibrary msi(platform);
  const Text version = ReadEngineVersion(platform, msi);
  EXPECT_TRUE(msi.IsLoaded());
  const VersionNumber parsed = ParseVersion(version);
  // Four plain decimal numbers: the text parses back to itself with nothing missing.
  EXPECT_EQ(Joined(parsed), version);
  const DLLVERSIONINFO engine = EngineDllVersion();
  ASSERT_NE(engine.dwMajorVersion, 0u);
  EXPECT_EQ(parsed.components[0], static_cast<int32_t>(engine.dwMajorVersion)) << ToUtf8(version);
  EXPECT_EQ(parsed.components[1], static_cast<int32_t>(engine.dwMinorVersion)) << ToUtf8(version);
  EXPECT_EQ(parsed.components[2], static_cast<int32_t>(engine.dwBuildNumber)) << ToUtf8(version);
  EXPECT_GE(parsed.components[3], 0);
}

TEST(CheckAndUpdateEngine, RunsTheEngineInstallerOnlyForANewerRequiredVersion) {
  Win32Platform platform;
  MsiLibrary msi(platform);
  const Text installed = ReadEngineVersion(platform, msi);
  const Text program = platform.ModuleFileName().value_or(Text());
  const Text markerWriter = program.substr(0, program.rfind(u'\\') + 1) + u"marker_writer.exe";
  const struct {
    Text required;
    bool runs;
  } cases[] = {
      {installed, false},
      {u"3.1", false},
      {u"", false},
      {u"99", true},
      {Joined([&] { VersionNumber v = ParseVersion(installed); ++v.components[3]; return v; }()), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.required));
    TempDir dir;
    ASSERT_TRUE(CopyFileW(Native(markerWriter), Native(dir.PathOf("instmsi30.exe")), FALSE));
    SetupContext context(platform, msi);
    context.moduleDirectory = dir.path();
    context.requiredMsiVersion = ParseVersion(c.required);
    CheckAndUpdateEngine(context);
    EXPECT_EQ(platform.FileExists(dir.PathOf("instmsi30.exe.done")), c.runs);
    // Bound again after the installer ended, ready for the package.
    EXPECT_TRUE(msi.IsLoaded());
    EXPECT_TRUE(msi.IsBound(MsiEntry::kInstallProduct));
  }
}

}  // namespace
}  // namespace setup
