// What the check says reaches the Windows Installer, and how the run ends, for the arguments
// and folders setup.exe meets.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "tests/unit/check/check_folder.h"
#include "tools/setup-check/check/report.h"

namespace setup::check::testing {
namespace {

struct InstallCase {
  const char* name;
  std::vector<Text> arguments;
  std::function<void(CheckFolder&)> prepare;
  Text modePrefix;
  Text propertyString;  // "<dir>" stands for the folder without its final '\'
};

void PrintTo(const InstallCase& c, std::ostream* out) { *out << c.name; }

void InstanceInstalled(CheckFolder& folder) {
  folder.EditSettings("[Package]",
                      "[Instances]\r\ncount=1\r\nI=Inst2\r\n[Inst2]\r\nProductCode={22222222-2222-2222-2222-"
                      "222222222222}\r\n[Package]");
  folder.options.installed.push_back({kInstanceCode, u"2.0.1"});
}

const InstallCase kInstalls[] = {
    {"NoArguments", {}, nullptr, u"", u" A=1"},
    {"FreeParametersFollowCmdLine", {u"B=2", u"C=3"}, nullptr, u"", u" A=1 B=2 C=3 "},
    {"LanguageTransformBesideTheProgram",
     {u"/l", u"ru"},
     [](CheckFolder& f) { f.dir.Write("1049.mst", ""); },
     u"",
     u"TRANSFORMS=1049.mst A=1"},
    {"Administrative", {u"/a"}, nullptr, u"ACTION=ADMIN ", u"SETUPEXEDIR=\"<dir>\" SETUPEXENAME=\"setup.exe\" A=1"},
    {"RemovalOfAnInstalledInstance", {u"/x"}, &InstanceInstalled, u"REMOVE=ALL ", u"TRANSFORMS=:Inst2.mst; A=1"},
    {"InstanceIgnoredBesideTheAdministrativeMarker",
     {},
     [](CheckFolder& f) {
       InstanceInstalled(f);
       f.dir.Write("admupdt.cfg", "");
     },
     u"",
     u" A=1"},
};

class CheckInstall : public ::testing::TestWithParam<InstallCase> {};

TEST_P(CheckInstall, ReportsTheStringHandedToTheInstaller) {
  const InstallCase& c = GetParam();
  CheckFolder folder;
  if (c.prepare) c.prepare(folder);
  const Observation seen = folder.Run(c.arguments);
  Text expected = c.propertyString;
  const Text& folderPath = folder.dir.folder();
  if (const size_t at = expected.find(u"<dir>"); at != Text::npos) expected.replace(at, 5, folderPath);
  ASSERT_TRUE(seen.install.reached);
  EXPECT_EQ(seen.install.plan.modePrefix, c.modePrefix);
  EXPECT_EQ(seen.install.plan.propertyString, expected);
  EXPECT_EQ(seen.install.commandLine, c.modePrefix + expected);
  EXPECT_EQ(seen.install.packagePath, folder.dir.PathOf("product.msi"));
  EXPECT_EQ(seen.end.exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Runs, CheckInstall, ::testing::ValuesIn(kInstalls),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CheckRun, AnUnsupportedSystemEndsWithMessage1150AndExitCode1) {
  CheckFolder folder;
  folder.options.system = {5, 0, 2195, 4, 0};
  const Observation seen = folder.Run();
  EXPECT_FALSE(seen.install.reached);
  EXPECT_EQ(seen.end.exitCode, 1);
  ASSERT_EQ(seen.end.messageBoxes.size(), 1u);
  EXPECT_EQ(seen.end.messageBoxes[0].text, u"This product needs Windows XP SP2.");
  EXPECT_FALSE(seen.end.standardOutput.empty());
  EXPECT_TRUE(seen.os.reached);
  EXPECT_FALSE(seen.os.supported);
  ASSERT_EQ(seen.os.entries.size(), 1u);
  EXPECT_EQ(seen.os.entries[0].answer, EntryAnswer::kNotMet);
}

TEST(CheckRun, SilentLoggedRunSetsTheUiLevelAndTheLogBeforeInstalling) {
  CheckFolder folder;
  const Observation seen = folder.Run({u"/S", u"/debuglog", u"C:\\log.txt"});
  EXPECT_EQ(seen.install.uiLevel, 2);
  ASSERT_TRUE(seen.install.log);
  EXPECT_EQ(seen.install.log->path, u"C:\\log.txt");
  EXPECT_EQ(seen.install.log->mode, 0x1000u);
  EXPECT_EQ(seen.install.log->attributes, 2u);
  EXPECT_EQ(seen.install.calls, (std::vector<std::string>{"MsiGetProductInfoW", "MsiEnableLogW", "MsiSetInternalUI",
                                                          "MsiInstallProductW"}));
}

TEST(CheckRun, AnOlderEngineRunsTheEngineInstallerWhenItIsThere) {
  CheckFolder folder;
  folder.options.engine = {2, 0, 2600, 0};
  folder.dir.Write("instmsi30.exe", "");
  const Observation seen = folder.Run();
  EXPECT_TRUE(seen.engine.updateNeeded);
  EXPECT_TRUE(seen.engine.installerFound);
  EXPECT_EQ(seen.end.programsRun, std::vector<Text>{folder.dir.PathOf("instmsi30.exe")});
}

TEST(CheckRun, TheFallbackLanguageFileServesAnotherLanguage) {
  CheckFolder folder;
  folder.options.language = 0x0419;
  const Observation seen = folder.Run();
  EXPECT_EQ(seen.language.fileName, u"0x0409.ini");
  EXPECT_TRUE(seen.language.choice.fellBack);
  EXPECT_TRUE(seen.language.has1150);
}

// The package is inspected by the run itself and by nothing else: a second run of the program's
// steps would ask for its product code a second time.
TEST(CheckRun, RunsTheProgramsRunSequenceOnce) {
  CheckFolder folder;
  const Observation seen = folder.Run();
  size_t productCodeQueries = 0;
  for (const auto& call : folder.msi.CallsTo("MsiDatabaseOpenViewW")) {
    productCodeQueries += call.arguments.back() == u"SELECT Value FROM Property WHERE Property = 'ProductCode'";
  }
  EXPECT_EQ(productCodeQueries, 1u);
  EXPECT_EQ(folder.msi.CallsTo("MsiInstallProductW").size(), 0u) << "the dry run's own installer records it";
  EXPECT_TRUE(seen.install.reached);
}

// The file search matches "?", while opening the package takes the name as written: setup.exe
// finds product1.msi, then cannot open "product?.msi" and hands that name to the installer.
TEST(CheckRun, ALocationWithAWildcardIsFoundButNotOpened) {
  CheckFolder folder;
  folder.EditSettings("Location=product.msi", "Location=product?.msi");
  folder.msi.packages[folder.dir.Write("product1.msi", "package")] = folder.Package();
  const Observation seen = folder.Run();
  EXPECT_TRUE(seen.package.exists);
  EXPECT_NE(seen.package.check.result, 0u);
  EXPECT_EQ(seen.install.packagePath, folder.dir.PathOf("product?.msi"));
  const std::vector<Finding> findings = FindProblems(seen);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].code, "package-unreadable");
}

TEST(CheckReport, JsonCarriesWhatAnEndToEndTestComparesWithTheRealRun) {
  CheckFolder folder;
  // Quotation marks stay in the program's arguments, so the log path keeps them.
  folder.options.setupArgumentText = u"/S /debuglog C:\\l\"q\".txt";
  const std::string json = JsonReport(folder.Check());
  EXPECT_NE(json.find("\n  \"commandLine\": \" A=1\",\n"), std::string::npos) << json;
  EXPECT_NE(json.find("\n  \"uiLevel\": 2,\n"), std::string::npos);
  EXPECT_NE(json.find("\n  \"logPath\": \"C:\\\\l\\\"q\\\".txt\",\n"), std::string::npos);
  EXPECT_NE(json.find("\n  \"exitCode\": 0,\n"), std::string::npos);
  EXPECT_NE(json.find("\n  \"packagePath\": \""), std::string::npos);
}

TEST(CheckReport, JsonShowsNullsForARunThatEndsBeforeTheInstaller) {
  CheckFolder folder;
  folder.options.system = {5, 0, 2195, 4, 0};
  const std::string json = JsonReport(folder.Check());
  for (const char* key : {"commandLine", "packagePath", "uiLevel", "logPath"}) {
    EXPECT_NE(json.find("\n  \"" + std::string(key) + "\": null,\n"), std::string::npos) << key;
  }
  EXPECT_NE(json.find("\n  \"exitCode\": 1,\n"), std::string::npos);
}

// setup.exe's architecture is read from the file in the folder; a missing file has none and no row.
TEST(CheckReport, NamesTheArchitectureOfSetupExe) {
  const struct {
    std::optional<std::string> setupExe;  // none: not in the folder
    const char* json;
    const char* row;  // none: no row
  } cases[] = {
      {ProgramHeader(0x8664, 0x20B), "\"x64\"", "  architecture        x64, 64-bit: does not start on 32-bit Windows\n"},
      {"MZ", "null", "  architecture        none: not a Windows program\n"},
      {std::nullopt, "null", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row != nullptr ? c.row : "no setup.exe");
    CheckFolder folder;
    if (c.setupExe) folder.dir.Write("setup.exe", *c.setupExe);
    const CheckResult checked = folder.Check();
    EXPECT_NE(JsonReport(checked).find("\"exists\": " + std::string(c.setupExe ? "true" : "false") +
                                        ",\n      \"architecture\": " + c.json + ",\n"),
              std::string::npos);
    const std::string text = TextReport(checked);
    if (c.row != nullptr) {
      EXPECT_NE(text.find(std::string(c.row) + "  signature "), std::string::npos) << text;
    } else {
      EXPECT_EQ(text.find("  architecture "), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace setup::check::testing
