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

  ExitCode Run(const Text& arguments) {
    platform.commandLine = u"\"" + dir.path() + u"setup.exe\" " + arguments;
    MsiLibrary msi(platform);
    return RunSetup(platform, msi);
  }

  TempDir dir;
  HostPlatform platform;
  FakeMsi fakeMsi;
};

TEST_F(RunSetupTest, RefusedSettingsWriteTheUsageAndEndWithOne) {
  EXPECT_EQ(Run(u"/S B=2"), 1u);
  EXPECT_EQ(platform.standardOutput.rfind(u"Usage:  [/l <str>] [/S]", 0), 0u);
  EXPECT_TRUE(platform.messageBoxes.empty());
  EXPECT_TRUE(fakeMsi.CallsTo("MsiInstallProductW").empty());
}

TEST_F(RunSetupTest, AcceptedSettingsEndWithTheInstallersResult) {
  dir.Write("Setup.ini", kSetupIni);
  dir.Write("0x0409.ini", "[0x0409]\n1150=No\n");
  fakeMsi.installResult = 1603;
  EXPECT_EQ(Run(u"/x B=2"), 1603u);
  const auto installs = fakeMsi.CallsTo("MsiInstallProductW");
  ASSERT_EQ(installs.size(), 1u);
  EXPECT_EQ(installs[0].arguments[1], u"REMOVE=ALL  A=1 B=2 ");
  EXPECT_TRUE(platform.standardOutput.empty());
}

// A settings file too large for the process must end with a message, not the runtime's abort.
class ExhaustiblePlatform : public HostPlatform {
 public:
  bool exhausted = false;
  FileContent ReadWholeFile(const Text& path) override {
    if (exhausted) throw std::bad_alloc();
    return HostPlatform::ReadWholeFile(path);
  }
};

// Where no one can see a box (a service's window station), the run skips it and ends exactly as
// it would have once the box was closed: same exit code, same standard output.
TEST(RunSetup, EveryBoxIsSkippedWhereNoOneCanSeeIt) {
  constexpr char kUnsupported[] =
      "[MsiVersion]\n3.1=Systems\n[Systems]\nFuture=1\n[Future]\nMajorVer=99\nMinorVer=0\nBuildNo=0\n";
  struct Case {
    const char* name;
    const char* settings;
    const char16_t* arguments;
    MsiResult installResult;
    bool exhausted;
    uint32_t exitCode;  // a number, not a name: deployment services were told to expect these
    Text box;
    uint32_t style;
  };
  const Case cases[] = {
      {"usage", kSetupIni, u"/S /?", 0, false, 1, u"U1\nU2\nU3\nU4", kIconInformation},
      {"unsupported system", kUnsupported, u"/S", 0, false, 1, u"Unsupported", kIconInformation},
      {"failed installation", kSetupIni, u"/S", 1603, false, 1603, u"Fatal error.", kErrorBoxStyle},
      {"not enough memory", kSetupIni, u"/S", 0, true, 8, u"Not enough memory.", kErrorBoxStyle},
  };
  for (const Case& c : cases) {
    Text outputs[2];
    for (const bool visible : {true, false}) {
      TempDir dir;
      dir.Write("Setup.ini", c.settings);
      dir.Write("0x0409.ini", "[0x0409]\n1150=Unsupported\n1203=U1\n1204=U2\n1205=U3\n1206=U4\n");
      ExhaustiblePlatform platform;
      FakeMsi fakeMsi;
      fakeMsi.InstallInto(platform);
      fakeMsi.installResult = c.installResult;
      platform.exhausted = c.exhausted;
      platform.personCanSeeBoxes = visible;
      platform.moduleFileName = dir.path() + u"setup.exe";
      platform.commandLine = u"\"" + dir.path() + u"setup.exe\" " + c.arguments;
      platform.systemMessages = {{8, u"Not enough memory."}, {1603, u"Fatal error."}};
      MsiLibrary msi(platform);

      EXPECT_EQ(RunSetup(platform, msi), c.exitCode) << c.name << (visible ? " seen" : " unseen");
      if (visible) {
        ASSERT_EQ(platform.messageBoxes.size(), 1u) << c.name;
        EXPECT_EQ(platform.messageBoxes[0].text, c.box) << c.name;
        EXPECT_EQ(platform.messageBoxes[0].style, c.style) << c.name;
      } else {
        EXPECT_TRUE(platform.messageBoxes.empty()) << c.name;
      }
      outputs[visible] = platform.standardOutput;
    }
    EXPECT_EQ(outputs[true], outputs[false]) << c.name;
    EXPECT_EQ(outputs[true].rfind(u"Usage:", 0) == 0, c.exitCode == kExitBeforeInstaller) << c.name;
  }
}

}  // namespace
}  // namespace setup
