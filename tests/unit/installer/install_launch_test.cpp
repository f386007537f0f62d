#include "setup/installer/install_launch.h"

#include <gtest/gtest.h>

#include <functional>

#include "installer_fixture.h"
#include "setup/base/numbers.h"

namespace setup::testing {
namespace {

enum class Installed { kNothing, kInstance, kProductAndInstance };

struct LaunchScene : InstallerScene {
  explicit LaunchScene(Installed installed = Installed::kNothing) {
    WriteProgramFile("setup.ini", "[Instances]\ncount=1\nI1=Inst2\n[Inst2]\nProductCode=" + ToUtf8(kInstanceCode) + "\n");
    context.languageId = 0;
    context.installProperties = u"A=1";
    if (installed != Installed::kNothing) Install(kInstanceCode, u"2.0.1.0");
    if (installed == Installed::kProductAndInstance) Install(kProductCode, u"2.0.1.0");
    platform.systemMessages = {{1, u"Incorrect function."}, {1603, u"Fatal error."}, {1619, u"Cannot open."}};
  }
  void WithLanguageTransform(uint32_t languageId) {
    context.languageId = languageId;
    WriteProgramFile(ToUtf8(FormatDecimal(languageId)) + ".mst");
  }
  // The command line MsiInstallProductW was handed; empty when it was not called.
  Text InstallCommandLine() const {
    const std::vector<FakeMsiCall> installs = fakeMsi.CallsTo("MsiInstallProductW");
    EXPECT_EQ(1u, installs.size());
    return installs.empty() ? Text() : installs[0].arguments[1];
  }
  // The program's folder named without its final backslash, and its file name.
  Text AdministrativePart() const {
    return u"SETUPEXEDIR=\"" + dir.PathOf("dist files") + u"\" SETUPEXENAME=\"setup.exe\"";
  }
};

Text Expand(std::u16string_view pattern, const Text& administrativePart) {
  Text text(pattern);
  if (const size_t at = text.find(u"{admin}"); at != Text::npos) text.replace(at, 7, administrativePart);
  return text;
}

TEST(ComposeAndInstall, ComposesEveryShapeOfCommandLine) {
  struct Case {
    const char* name;
    InstallMode mode;
    Installed installed;
    uint32_t languageTransform;   // 0: none beside the program
    std::u16string_view properties;
    std::u16string_view expected;
  };
  const Case cases[] = {
      {"plain install, nothing else", kInstall, Installed::kNothing, 0, u"", u" "},
      {"install", kInstall, Installed::kNothing, 0, u"A=1 B=\"x y\"", u" A=1 B=\"x y\""},
      {"install over the instance", kInstall, Installed::kInstance, 0, u"A=1", u"TRANSFORMS=:Inst2.mst; A=1"},
      {"instance and language", kInstall, Installed::kInstance, 1049, u"A=1", u"TRANSFORMS=:Inst2.mst;1049.mst A=1"},
      {"language only", kInstall, Installed::kNothing, 1049, u"A=1", u"TRANSFORMS=1049.mst A=1"},
      {"product itself installed", kInstall, Installed::kProductAndInstance, 0, u"A=1", u" A=1"},
      {"administrative", kAdministrativeInstall, Installed::kNothing, 0, u"A=1", u"ACTION=ADMIN {admin} A=1"},
      {"administrative with language", kAdministrativeInstall, Installed::kNothing, 1049, u"A=1",
       u"ACTION=ADMIN {admin} TRANSFORMS=1049.mst A=1"},
      {"administrative ignores the instance", kAdministrativeInstall, Installed::kInstance, 0, u"A=1",
       u"ACTION=ADMIN {admin} A=1"},
      {"removal", kRemoval, Installed::kNothing, 0, u"A=1", u"REMOVE=ALL  A=1"},
      {"removal of the instance", kRemoval, Installed::kInstance, 0, u"A=1", u"REMOVE=ALL TRANSFORMS=:Inst2.mst; A=1"},
      {"unknown mode has no prefix", static_cast<InstallMode>(3), Installed::kNothing, 2052, u"A=1", u"TRANSFORMS=2052.mst A=1"},
  };
  for (const Case& c : cases) {
    LaunchScene scene(c.installed);
    scene.context.installMode = c.mode;
    scene.context.installProperties = c.properties;
    if (c.languageTransform != 0) scene.WithLanguageTransform(c.languageTransform);
    EXPECT_EQ(0u, ComposeAndInstall(scene.context)) << c.name;
    EXPECT_EQ(Expand(c.expected, scene.AdministrativePart()), scene.InstallCommandLine()) << c.name;
    EXPECT_EQ(scene.InstallCommandLine(), scene.context.state.plan.CommandLine()) << c.name;
    EXPECT_EQ(scene.context.packagePath, scene.fakeMsi.CallsTo("MsiInstallProductW").at(0).arguments[0]) << c.name;
  }
}

TEST(ComposeAndInstall, NamesTheProgramsFolderWithoutItsFinalBackslashForAnAdministrativeInstall) {
  const struct {
    const char16_t* directory;
    const char16_t* fileName;
    const char16_t* expected;
  } cases[] = {
      {u"C:\\Kit files\\", u"setup.exe", u"ACTION=ADMIN SETUPEXEDIR=\"C:\\Kit files\" SETUPEXENAME=\"setup.exe\" A=1"},
      {u"D:\\", u"Setup Kit.exe", u"ACTION=ADMIN SETUPEXEDIR=\"D:\" SETUPEXENAME=\"Setup Kit.exe\" A=1"},
      {u"", u"", u"ACTION=ADMIN SETUPEXEDIR=\"\" SETUPEXENAME=\"\" A=1"},
  };
  for (const auto& c : cases) {
    LaunchScene scene;
    scene.context.installMode = kAdministrativeInstall;
    scene.context.moduleDirectory = c.directory;
    scene.context.moduleFileName = c.fileName;
    ComposeAndInstall(scene.context);
    EXPECT_EQ(c.expected, scene.InstallCommandLine()) << ToUtf8(c.directory);
  }
}

TEST(ComposeAndInstall, LooksForTheLanguageTransformOnlyByANonZeroIdBesideTheProgram) {
  {
    LaunchScene zero;
    zero.WriteProgramFile("0.mst");
    ComposeAndInstall(zero.context);
    EXPECT_EQ(u" A=1", zero.InstallCommandLine());
  }
  LaunchScene elsewhere;
  elsewhere.context.languageId = 1049;
  elsewhere.dir.Write("1049.mst", "");   // in the folder above the program's
  ComposeAndInstall(elsewhere.context);
  EXPECT_EQ(u" A=1", elsewhere.InstallCommandLine());
}

TEST(ComposeAndInstall, TheAdministrativeUpdateMarkerKeepsTheInstanceOut) {
  LaunchScene scene(Installed::kInstance);
  scene.WriteProgramFile("admupdt.cfg", "anything");
  ComposeAndInstall(scene.context);
  EXPECT_EQ(u"", scene.context.instanceProductCode);
  EXPECT_EQ(u" A=1", scene.InstallCommandLine());
}

TEST(ComposeAndInstall, TheMarkerIsLookedForBeforeTheEngineUpdate) {
  LaunchScene scene(Installed::kInstance);
  scene.WriteProgramFile("instmsi30.exe");
  scene.context.requiredMsiVersion = VersionNumber{{9, 0, 0, 0}};
  bool inspectedBeforeUpdate = true;
  scene.platform.onRun = [&](const Text&) {
    inspectedBeforeUpdate = !scene.fakeMsi.calls.empty();
    scene.WriteProgramFile("admupdt.cfg");
    return true;
  };
  ComposeAndInstall(scene.context);
  EXPECT_EQ(1u, scene.platform.runRequests.size());
  EXPECT_FALSE(inspectedBeforeUpdate);
  EXPECT_EQ(kInstanceCode, scene.context.instanceProductCode);
  EXPECT_EQ(u"TRANSFORMS=:Inst2.mst; A=1", scene.InstallCommandLine());
}

TEST(ComposeAndInstall, EnablesTheLogAndSetsTheUiLevelBeforeClosingThePackageAndInstalling) {
  LaunchScene scene;
  scene.context.debugLogPath = u"C:\\logs\\setup log.txt";
  scene.context.uiLevel = kUiLevelNone;
  ComposeAndInstall(scene.context);
  const std::vector<FakeMsiCall>& calls = scene.fakeMsi.calls;
  ASSERT_GE(calls.size(), 4u);
  const std::vector<FakeMsiCall> tail(calls.end() - 4, calls.end());
  const std::vector<FakeMsiCall> expected = {
      {"MsiEnableLogW", {u"4096", u"C:\\logs\\setup log.txt", u"2"}},
      {"MsiSetInternalUI", {u"2", u"<null>"}},
      {"MsiCloseHandle", {tail[2].arguments.at(0)}},
      {"MsiInstallProductW", {scene.context.packagePath, u" A=1"}},
  };
  EXPECT_EQ(expected, tail);
  EXPECT_EQ(0u, scene.context.package.database.get());
  EXPECT_TRUE(scene.fakeMsi.OpenHandles().empty());
}

TEST(ComposeAndInstall, InstallsWithoutLogOrUiLevelWhenTheLibraryLacksThem) {
  LaunchScene scene;
  scene.context.debugLogPath = u"C:\\log.txt";
  scene.WithoutExports({"MsiEnableLogW", "MsiSetInternalUI"});
  EXPECT_EQ(0u, ComposeAndInstall(scene.context));
  EXPECT_EQ(u" A=1", scene.InstallCommandLine());
}

TEST(ComposeAndInstall, WithoutALogPathNoLogIsEnabled) {
  LaunchScene scene;
  ComposeAndInstall(scene.context);
  EXPECT_TRUE(scene.fakeMsi.CallsTo("MsiEnableLogW").empty());
  EXPECT_EQ(1u, scene.fakeMsi.CallsTo("MsiSetInternalUI").size());
}

TEST(ComposeAndInstall, ShowsEveryFailureInTheErrorBox) {
  struct Case {
    const char* name;
    std::function<void(LaunchScene&)> arrange;
    MsiResult result;
    std::optional<Text> boxText;
  };
  const Case cases[] = {
      {"success", [](LaunchScene&) {}, 0, std::nullopt},
      {"cancelled", [](LaunchScene& s) { s.fakeMsi.installResult = 1602; }, 1602, std::nullopt},
      {"failed", [](LaunchScene& s) { s.fakeMsi.installResult = 1603; }, 1603, u"Fatal error."},
      {"failed silently", [](LaunchScene& s) { s.fakeMsi.installResult = 1603; s.context.uiLevel = kUiLevelNone; },
       1603, u"Fatal error."},
      {"success with restart pending", [](LaunchScene& s) { s.fakeMsi.installResult = 3010; }, 3010, std::nullopt},
      {"success with restart started", [](LaunchScene& s) { s.fakeMsi.installResult = 1641; }, 1641, std::nullopt},
      {"failed with a code the system has no text for", [](LaunchScene& s) { s.fakeMsi.installResult = 1234; },
       1234, u"Error 1234."},
      {"no MsiInstallProductW", [](LaunchScene& s) { s.WithoutExports({"MsiInstallProductW"}); }, 1,
       u"Incorrect function."},
      {"no msi.dll", [](LaunchScene& s) { s.WithoutMsiDll(); }, 1, u"Incorrect function."},
  };
  for (const Case& c : cases) {
    LaunchScene scene;
    c.arrange(scene);
    EXPECT_EQ(c.result, ComposeAndInstall(scene.context)) << c.name;
    ASSERT_EQ(c.boxText ? 1u : 0u, scene.platform.messageBoxes.size()) << c.name;
    if (c.boxText) {
      EXPECT_EQ(*c.boxText, scene.platform.messageBoxes[0].text) << c.name;
      EXPECT_EQ(u"Error", scene.platform.messageBoxes[0].caption) << c.name;
      EXPECT_EQ(kErrorBoxStyle, scene.platform.messageBoxes[0].style) << c.name;
    }
  }
}

TEST(ComposeAndInstall, AMissingPackageIsStillHandedToTheInstaller) {
  LaunchScene scene;
  scene.context.packagePath = scene.dir.PathOf("dist files\\absent.msi");
  scene.fakeMsi.installResult = 1619;
  EXPECT_EQ(1619u, ComposeAndInstall(scene.context));
  EXPECT_EQ(scene.context.packagePath, scene.fakeMsi.CallsTo("MsiInstallProductW").at(0).arguments[0]);
  EXPECT_EQ(u"Cannot open.", scene.platform.messageBoxes.at(0).text);
}

TEST(LaunchInstall, ForgetsTheDatabaseEvenWhenItCannotBeClosed) {
  LaunchScene scene;
  scene.WithoutExports({"MsiCloseHandle"});
  ASSERT_TRUE(scene.msi.Bind());
  PackageInfo info;
  info.database = ScopedMsiHandle(scene.msi, 42);
  info.packagePath = u"C:\\p.msi";
  InstallPlan plan;
  plan.modePrefix = u"REMOVE=ALL ";
  plan.propertyString = u"X=1";
  EXPECT_EQ(0u, LaunchInstall(info, plan, scene.msi));
  EXPECT_EQ(0u, info.database.get());
  EXPECT_EQ((std::vector<FakeMsiCall>{{"MsiInstallProductW", {u"C:\\p.msi", u"REMOVE=ALL X=1"}}}), scene.fakeMsi.calls);
}

}  // namespace
}  // namespace setup::testing
