// One distribution folder per problem the check reports, and the clean one it must accept.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>

#include "tests/unit/check/check_folder.h"
#include "tools/setup-check/check/finding_kinds.h"
#include "tools/setup-check/shared/host_paths.h"

namespace setup::check::testing {
namespace {

struct ProblemCase {
  const char* name;
  std::function<void(CheckFolder&)> make;
  std::vector<Text> setupArguments;
  Severity severity;
  std::string code;
  std::string file;
  size_t line;
  int exitCode;           // of the check: the finding's own severity plus what follows from it
  const char* says = "";  // a part of the message that tells the person what to do
};

void PrintTo(const ProblemCase& problem, std::ostream* out) { *out << problem.name; }

void Remove(CheckFolder& folder, std::string_view name) {
  std::filesystem::remove(ResolveHostPath(folder.dir.PathOf(name)));
}

void Edit(CheckFolder& folder, std::string_view from, std::string_view to) { folder.EditSettings(from, to); }

std::string Utf16Be(std::string_view ascii) {
  std::string bytes = "\xFE\xFF";
  for (const char c : ascii) bytes += std::string{'\0', c};
  return bytes;
}

const Severity E = Severity::kError;
const Severity W = Severity::kWarning;

// clang-format off
const ProblemCase kProblems[] = {
    {"SettingsMissing", [](CheckFolder& f) { Remove(f, "Setup.ini"); },
     {}, E, "settings-missing", "Setup.ini", 0, 2},
    {"SettingsInUtf16Be", [](CheckFolder& f) { f.dir.Write("Setup.ini", Utf16Be(kCleanSettings)); },
     {}, E, "settings-unreadable", "Setup.ini", 0, 2},
    {"PackageNameMissing", [](CheckFolder& f) { Edit(f, "PackageName=Package\r\n", "\r\n"); },
     {}, E, "package-name-missing", "Setup.ini", 1, 2},
    {"PackageSectionMissing", [](CheckFolder& f) { Edit(f, "PackageName=Package", "PackageName=Pkg"); },
     {}, E, "package-section-missing", "Setup.ini", 3, 2},
    {"LocationMissing", [](CheckFolder& f) { Edit(f, "Location=product.msi", ""); },
     {}, E, "location-missing", "Setup.ini", 8, 2},
    {"PackageFileMissing", [](CheckFolder& f) { Edit(f, "Location=product.msi", "Location=other.msi"); },
     {}, E, "package-file-missing", "Setup.ini", 9, 2},
    {"PackageUnreadable", [](CheckFolder& f) { f.msi.packages.clear(); },
     {}, E, "package-unreadable", "product.msi", 0, 2},
    {"ProductCodeDiffers", [](CheckFolder& f) { Edit(f, "{11111111-1111-1111-1111-111111111111}", "{9}"); },
     {}, E, "product-code-mismatch", "Setup.ini", 5, 2},
    {"ProductCodeMissing", [](CheckFolder& f) { Edit(f, "ProductCode={11111111-1111-1111-1111-111111111111}", ""); },
     {}, E, "product-code-mismatch", "Setup.ini", 1, 2},
    {"ProductVersionLonger", [](CheckFolder& f) { Edit(f, "ProductVersion=2.0.1", "ProductVersion=2.0.1.0"); },
     {}, E, "product-version-mismatch", "Setup.ini", 4, 2},
    {"MsiVersionMissing", [](CheckFolder& f) { Edit(f, "[MsiVersion]\r\n3.1=Systems", ""); },
     {}, E, "msiversion-missing", "Setup.ini", 0, 2},
    {"MsiVersionSeveralKeys", [](CheckFolder& f) { Edit(f, "3.1=Systems\r\n", "3.1=Systems\r\n4.5=Systems\r\n"); },
     {}, W, "msiversion-several-keys", "Setup.ini", 13, 1},
    {"OsListMissing", [](CheckFolder& f) { Edit(f, "3.1=Systems", "3.1=Others"); },
     {}, E, "os-list-missing", "Setup.ini", 12, 2},
    {"OsListValueNotOne", [](CheckFolder& f) { Edit(f, "Xp=1", "Xp=Yes"); },
     {}, W, "os-list-value", "Setup.ini", 15, 2},
    {"OsEntrySectionMissing", [](CheckFolder& f) { Edit(f, "Xp=1", "Xp=1\r\nVista=1"); },
     {}, W, "os-entry-missing", "Setup.ini", 16, 1},
    {"BuildNoMissing", [](CheckFolder& f) { Edit(f, "BuildNo=2600\r\n", ""); },
     {}, W, "os-entry-key-missing", "Setup.ini", 17, 2},
    {"MinorVerMalformed", [](CheckFolder& f) { Edit(f, "MinorVer=1", "MinorVer=1a"); },
     {}, W, "os-entry-malformed", "Setup.ini", 19, 2},
    {"NoEntryCanPass", [](CheckFolder& f) { Edit(f, "BuildNo=2600", "BuildNo=26OO"); },
     {}, E, "os-none-satisfiable", "Setup.ini", 14, 2},
    {"MajorVerDotted", [](CheckFolder& f) { Edit(f, "MajorVer=5", "MajorVer=5.1"); },
     {}, W, "os-entry-malformed", "Setup.ini", 18, 1},
    {"ServicePackNumber", [](CheckFolder& f) { Edit(f, "ServicePack=512", "ServicePack=2"); },
     {}, W, "service-pack-encoding", "Setup.ini", 21, 1},
    {"BracketInValue", [](CheckFolder& f) { Edit(f, "CmdLine=A=1", "CmdLine=A=[1]"); },
     {}, W, "bracket-in-line", "Setup.ini", 6, 1},
    {"DuplicateSection",
     [](CheckFolder& f) { Edit(f, "ServicePack=512\r\n", "ServicePack=512\r\n[Package]\r\nLocation=x\r\n"); },
     {}, W, "duplicate-section", "Setup.ini", 22, 1},
    {"LanguageFileWithout1150", [](CheckFolder& f) { f.dir.Write("0x0409.ini", "\n[0x0409]\n1203=Usage\n"); },
     {}, W, "language-file-no-1150", "0x0409.ini", 2, 1},
    {"LanguageFileInUtf8WithoutMark",
     [](CheckFolder& f) { f.dir.Write("0x0419.ini", "[0x0419]\n1150=\xD0\x9D\xD0\xB5\xD1\x82\n"); },
     {}, W, "utf8-without-mark", "0x0419.ini", 0, 1},
    {"LanguageSectionMisnamed", [](CheckFolder& f) { f.dir.Write("0x0419.ini", "[0x0409]\n1150=x\n"); },
     {}, W, "language-section-mismatch", "0x0419.ini", 1, 1},
    {"LanguageFileNameNeverFormed", [](CheckFolder& f) { f.dir.Write("0x419.ini", "[0x0419]\n1150=x\n"); },
     {}, W, "language-file-name", "0x419.ini", 0, 1},
    {"NoLanguageFile", [](CheckFolder& f) { Remove(f, "0x0409.ini"); },
     {}, W, "language-file-missing", "0x0409.ini", 0, 1},
    {"LanguageFileIsAFolder",
     [](CheckFolder& f) {
       f.options.language = 0x0419;
       std::filesystem::create_directory(ResolveHostPath(f.dir.PathOf("0x0419.ini")));
     },
     {}, W, "language-file-unreadable", "0x0419.ini", 0, 1, "cannot be read ("},
    {"LanguageTransformMissing", [](CheckFolder&) {},
     {u"/l", u"ru"}, W, "language-transform-missing", "command line", 0, 1},
    {"ArgumentRejected", [](CheckFolder&) {},
     {u"/q"}, W, "command-line-rejected", "command line", 0, 1},
    {"InstancesNeverRead",
     [](CheckFolder& f) {
       f.Package().fileVersions.clear();
       Edit(f, "[Package]", "[Instances]\r\nI1=Inst2\r\n[Package]");
     },
     {}, W, "instances-unread", "product.msi", 0, 1},
    // Slips that setup.exe passes over in silence.
    {"KeyInTheWrongCase", [](CheckFolder& f) { Edit(f, "CmdLine=A=1", "Cmdline=A=1"); },
     {}, E, "unknown-key", "Setup.ini", 6, 2, "did you mean CmdLine?"},
    {"KeyALetterOff", [](CheckFolder& f) { Edit(f, "Location=", "Locaton="); },
     {}, E, "unknown-key", "Setup.ini", 9, 2, "did you mean Location?"},
    {"KeyNobodyReads", [](CheckFolder& f) { Edit(f, "CmdLine=A=1", "CmdLine=A=1\r\nVendor=Acme"); },
     {}, W, "unknown-key", "Setup.ini", 7, 1, "never reads Vendor in [Startup]"},
    {"SectionInTheWrongCase", [](CheckFolder& f) { Edit(f, "[Startup]", "[StartUp]"); },
     {}, E, "unknown-section", "Setup.ini", 1, 2, "did you mean [Startup]?"},
    {"SectionTwoLettersOff", [](CheckFolder& f) { Edit(f, "[MsiVersion]", "[MsiVrsoin]"); },
     {}, E, "unknown-section", "Setup.ini", 11, 2, "did you mean [MsiVersion]?"},
    {"SectionNobodyReads", [](CheckFolder& f) { Edit(f, "ServicePack=512", "ServicePack=512\r\n[Notes]\r\nx=1"); },
     {}, W, "unknown-section", "Setup.ini", 22, 1, "never reads [Notes]"},
    {"LineWithoutEquals", [](CheckFolder& f) { Edit(f, "MinorVer=1", "MinorVer 1"); },
     {}, W, "missing-equals", "Setup.ini", 19, 2, "did you mean MinorVer=1?"},
    {"KeyAloneOnItsLine", [](CheckFolder& f) { Edit(f, "CmdLine=A=1", "CmdLine=A=1\r\nLogResults"); },
     {}, W, "missing-equals", "Setup.ini", 7, 1, "has no \"=\""},
    {"EngineUpdateWithoutInstaller", [](CheckFolder& f) { f.options.engine = {2, 0, 2600, 0}; },
     {}, W, "engine-installer-missing", "Setup.ini", 12, 1, "instmsi30.exe is not in the folder"},
    {"InstanceTransformNotInThePackage",
     [](CheckFolder& f) { Edit(f, "[Package]", "[Instances]\r\nI1=Inst2\r\n[Inst2]\r\nProductCode={2}\r\n[Package]"); },
     {}, E, "instance-transform-missing", "product.msi", 0, 2, "holds no transform Inst2.mst"},
    {"LanguageCodeUnknown", [](CheckFolder&) {},
     {u"/l", u"fr"}, W, "language-code-unknown", "command line", 0, 1,
     "fr is not a language setup.exe knows; it keeps the user's language, English (0x0409)"},
    {"LanguageCodeUnknownToARussianUser", [](CheckFolder& f) { f.options.language = 0x0419; },
     {u"/l", u"fr"}, W, "language-code-unknown", "command line", 0, 1, "Russian (0x0419)"},
    {"AnsiBeyondAscii", [](CheckFolder& f) { Edit(f, "Product=Example", "Product=Caf\xE9"); },
     {}, W, "ansi-code-page", "Setup.ini", 0, 1, "code page 1252"},
    {"AnsiInAnotherCodePage",
     [](CheckFolder& f) { f.options.codePage = 1251; f.dir.Write("0x0419.ini", "[0x0419]\n1150=\xCD\xE5\xF2\n"); },
     {}, W, "ansi-code-page", "0x0419.ini", 0, 1, "code page 1251"},
};
// clang-format on

class CheckProblem : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(CheckProblem, IsReportedWithItsFileAndLine) {
  const ProblemCase& problem = GetParam();
  CheckFolder folder;
  problem.make(folder);
  const std::vector<Finding> findings = FindProblems(folder.Run(problem.setupArguments));
  const auto found =
      std::find_if(findings.begin(), findings.end(), [&](const Finding& f) { return f.code == problem.code; });
  ASSERT_NE(found, findings.end()) << "findings: " << findings.size();
  EXPECT_EQ(found->severity, problem.severity);
  EXPECT_EQ(found->file, problem.file);
  EXPECT_EQ(found->line, problem.line);
  EXPECT_EQ(ExitCodeFor(findings), problem.exitCode);
  EXPECT_NE(found->message.find(problem.says), std::string::npos) << found->message;
  static const std::regex hole(R"(\{[a-z][A-Za-z]*\})");
  EXPECT_FALSE(std::regex_search(found->message, hole)) << "a hole left unfilled: " << found->message;
}

TEST(CheckFinding, EveryKindHasAFolderThatRaisesIt) {
  for (const FindingKind& kind : kFindingKinds) {
    EXPECT_TRUE(std::ranges::any_of(kProblems, [&](const ProblemCase& p) { return p.code == kind.code; })) << kind.code;
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, CheckProblem, ::testing::ValuesIn(kProblems),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CheckFinding, NothingInTheCleanFolder) {
  CheckFolder folder;
  const std::vector<Finding> findings = FindProblems(folder.Run());
  for (const Finding& finding : findings) ADD_FAILURE() << finding.code << " " << finding.message;
  EXPECT_EQ(ExitCodeFor(findings), 0);
}

struct CleanCase {
  const char* name;
  std::function<void(CheckFolder&)> make;
  std::vector<Text> setupArguments;
};

// What looks like a slip but is what setup.exe reads as meant.
const CleanCase kCleanVariants[] = {
    {"EntryTurnedOffWithZero", [](CheckFolder& f) { Edit(f, "Xp=1", "Xp=1\r\nVista=0"); }, {}},
    {"InstanceTransformInThePackage",
     [](CheckFolder& f) {
       Edit(f, "[Package]", "[instances]\r\ncount=1\r\nI1=Inst2\r\n[Inst2]\r\nproductcode={2}\r\n[Package]");
       f.Package().storages.insert(u"Inst2.mst");
     },
     {}},
    {"EngineUpdateWithInstaller",
     [](CheckFolder& f) {
       f.options.engine = {2, 0, 2600, 0};
       f.dir.Write("instmsi30.exe", "MZ");
     },
     {}},
    {"KnownLanguageCodeInCapitals", [](CheckFolder& f) { f.dir.Write("1031.mst", "t"); }, {u"/l", u"DE"}},
    {"AsciiOnlyInTheAnsiFile", [](CheckFolder& f) { Edit(f, "Product=Example", "Product=Cafe #1"); }, {}},
    // The instance reader reads Setup.ini itself, named by a path of its own.
    {"InstanceFileIsSetupIniByAnotherPath",
     [](CheckFolder& f) {
       Edit(f, "Location=product.msi",
            "Location=sub\\..\\product.msi\r\n[Instances]\r\ncount=1\r\nI1=Second\r\n[Second]\r\nProductCode={2}");
       f.Package().storages.insert(u"Second.mst");
       f.msi.packages[f.dir.PathOf("sub\\..\\product.msi")] = f.Package();
     },
     {}},
};

TEST(CheckFinding, NothingWhereSetupReadsWhatWasMeant) {
  for (const CleanCase& variant : kCleanVariants) {
    CheckFolder folder;
    variant.make(folder);
    for (const Finding& finding : FindProblems(folder.Run(variant.setupArguments)))
      ADD_FAILURE() << variant.name << ": " << finding.code << " " << finding.message;
  }
}

// The chosen file is there, and opening it fails: that is the whole story, not a missing fallback.
TEST(CheckFinding, AnUnreadableLanguageFileIsNotAlsoMissing) {
  CheckFolder folder;
  folder.options.language = 0x0419;
  std::filesystem::create_directory(ResolveHostPath(folder.dir.PathOf("0x0419.ini")));
  std::vector<std::string> codes;
  for (const Finding& finding : FindProblems(folder.Run())) codes.push_back(finding.code + " " + finding.file);
  EXPECT_EQ(codes, std::vector<std::string>{"language-file-unreadable 0x0419.ini"});
}

TEST(CheckFinding, TheCodePageGivenDecidesHowAnsiTextReads) {
  const struct {
    uint32_t codePage;
    Text product;
  } cases[] = {{1252, u"\u00CF\u00F0\u00E8\u00EC\u00E5\u00F0"}, {1251, u"\u041F\u0440\u0438\u043C\u0435\u0440"}};
  for (const auto& c : cases) {
    CheckFolder folder;
    folder.EditSettings("Product=Example", "Product=\xCF\xF0\xE8\xEC\xE5\xF0");
    folder.options.codePage = c.codePage;
    EXPECT_EQ(folder.Run().settings.product, c.product) << c.codePage;
  }
}

TEST(CheckFinding, FileNamesDifferingOnlyInCaseAreFoundAsOnWindows) {
  CheckFolder folder;
  std::string settings = kCleanSettings;
  settings.replace(settings.find("product.msi"), 11, "PRODUCT.MSI");
  Remove(folder, "Setup.ini");
  folder.dir.Write("SETUP.INI", settings);
  const Observation seen = folder.Run();
  EXPECT_TRUE(seen.settings.exists);
  EXPECT_EQ(seen.settings.product, u"Example");
  EXPECT_TRUE(seen.package.exists);
}

}  // namespace
}  // namespace setup::check::testing
