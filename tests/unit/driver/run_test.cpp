#include "setup/driver/run.h"

#include <gtest/gtest.h>

#include <new>

#include "setup/platform/host/host_platform.h"
#include "tests/support/fake_msi.h"
#include "tests/support/temp_dir.h"

namespace setup {
namespace {

using testing::FakeMsi;
using testing::TempDir;

constexpr char kSetupIni[] =
    "[Startup]\nPackageName=Package\nCmdLine=A=1\n"
    "[Package]\nLocation=product.msi\n"
    "[MsiVersion]\n3.1=Systems\n[Systems]\nAny=1\n[Any]\nMajorVer=5\nMinorVer=0\nBuildNo=0\n";

class RunSetupTest : public ::testing::Test {
 protected:
  RunSetupTest() {
    platform.moduleFileName = dir.path() + u"setup.exe";
    fakeMsi.InstallInto(platform);
  }

  int Run(const Text& arguments) {
    platform.commandLine = u"\"" + dir.path() + u"setup.exe\" " + arguments;
    MsiLibrary msi(platform);
    return RunSetup(platform, msi);
  }

  TempDir dir;
  HostPlatform platform;
  FakeMsi fakeMsi;
};

TEST_F(RunSetupTest, RefusedSettingsWriteTheUsageAndEndWithOne) {
  EXPECT_EQ(Run(u"/S B=2"), 1);
  EXPECT_EQ(platform.standardOutput.rfind(u"Usage:  [/l <str>] [/S]", 0), 0u);
  EXPECT_TRUE(platform.messageBoxes.empty());
  EXPECT_TRUE(fakeMsi.CallsTo("MsiInstallProductW").empty());
}

TEST_F(RunSetupTest, AcceptedSettingsEndWithTheInstallersResult) {
  dir.Write("Setup.ini", kSetupIni);
  dir.Write("0x0409.ini", "[0x0409]\n1150=No\n");
  fakeMsi.installResult = 1603;
  EXPECT_EQ(Run(u"/x B=2"), 1603);
  const auto installs = fakeMsi.CallsTo("MsiInstallProductW");
  ASSERT_EQ(installs.size(), 1u);
  EXPECT_EQ(installs[0].arguments[1], u"REMOVE=ALL  A=1 B=2 ");
  EXPECT_TRUE(platform.standardOutput.empty());
}

// A settings file too large for the process must end with a message, not the runtime's abort.
class ExhaustedPlatform : public HostPlatform {
 public:
  FileContent ReadWholeFile(const Text&) override { throw std::bad_alloc(); }
};

TEST(RunSetup, RunningOutOfMemoryIsReportedAsAnError) {
  TempDir dir;
  dir.Write("Setup.ini", kSetupIni);
  ExhaustedPlatform platform;
  platform.moduleFileName = dir.path() + u"setup.exe";
  platform.systemMessages[8] = u"Not enough memory.";
  MsiLibrary msi(platform);
  EXPECT_EQ(RunSetup(platform, msi), 8);
  ASSERT_EQ(platform.messageBoxes.size(), 1u);
  EXPECT_EQ(platform.messageBoxes[0].text, u"Not enough memory.");
  EXPECT_EQ(platform.messageBoxes[0].caption, u"Error");
  EXPECT_EQ(platform.messageBoxes[0].style, 0x1010u);
}

}  // namespace
}  // namespace setup
