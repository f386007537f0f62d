// The starting distribution's texts: what --init writes must be what the check accepts.

#include "tools/setup-check/init/init_distribution.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "setup/base/numbers.h"
#include "setup/decisions/settings_names.h"
#include "tests/unit/check/check_folder.h"
#include "tools/setup-check/init/init_command.h"
#include "tools/setup-check/shared/host_paths.h"

namespace setup::check::testing {
namespace {

PackageFacts Widget() {
  PackageFacts facts;
  facts.productName = u"Widget";
  facts.productCode = kProductCode;
  facts.productVersion = u"2.0.1";
  facts.engineVersion = 301;
  return facts;
}

InitOptions WithMinimum(const Text& name) {
  InitOptions options;
  options.minimum = ParseInitArguments({u"p.msi", u"d", u"--min-os", name}).options->minimum;
  return options;
}

TEST(StartingSettings, WritesTheEntryOfTheMinimumWindowsWithItsServicePackWord) {
  const struct {
    Text minimum;
    std::string entry;
  } cases[] = {
      {u"xp-sp2", "[Systems]\r\nWinXPSP2=1\r\n"},
      {u"xp-sp2", "[WinXPSP2]\r\nMajorVer=5\r\nMinorVer=1\r\nBuildNo=2600\r\nServicePack=512\r\n"},
      {u"Vista-SP1", "MajorVer=6\r\nMinorVer=0\r\nBuildNo=6001\r\nServicePack=256\r\n"},
      {u"7", "[Win7]\r\nMajorVer=6\r\nMinorVer=1\r\nBuildNo=7600\r\n"},
      {u"10", "[Win10]\r\nMajorVer=10\r\nMinorVer=0\r\nBuildNo=10240\r\n"},
      {u"5.1.2600.3.0", "[Windows]\r\nMajorVer=5\r\nMinorVer=1\r\nBuildNo=2600\r\nServicePack=768\r\n"},
      {u"6.1.7601.1.2", "ServicePack=258\r\n"},
  };
  for (const auto& c : cases) {
    const std::string text = StartingSettings(Widget(), u"w.msi", WithMinimum(c.minimum));
    EXPECT_NE(text.find(c.entry), std::string::npos) << ToUtf8(c.minimum) << "\n" << text;
  }
  EXPECT_EQ(StartingSettings(Widget(), u"w.msi", WithMinimum(u"10")).find("ServicePack="), std::string::npos);
}

TEST(StartingSettings, TakesTheEngineFromThePackagesPageCount) {
  const struct {
    int32_t pageCount;
    const char* key;
  } cases[] = {{200, "[MsiVersion]\r\n2.0=Systems\r\n"},
               {301, "[MsiVersion]\r\n3.1=Systems\r\n"},
               {405, "[MsiVersion]\r\n4.5=Systems\r\n"},
               {0, "[MsiVersion]\r\n2.0=Systems\r\n"}};
  for (const auto& c : cases) {
    PackageFacts facts = Widget();
    facts.engineVersion = c.pageCount;
    EXPECT_NE(StartingSettings(facts, u"w.msi", InitOptions{}).find(c.key), std::string::npos) << c.pageCount;
  }
}

TEST(StartingSettings, KeepsANameWithTheReadersCutCharactersWhole) {
  PackageFacts facts = Widget();
  facts.productName = u"C# Tools [Beta]; Pro";
  const std::string text = StartingSettings(facts, u"w.msi", InitOptions{});
  EXPECT_TRUE(text.starts_with("\xEF\xBB\xBF")) << "UTF-8 with its mark, as the name is no longer ASCII";
  EXPECT_NE(text.find("Product=C\xEF\xBC\x83 Tools \xEF\xBC\xBB"
                      "Beta\xEF\xBC\xBD\xEF\xBC\x9B Pro\r\n"),
            std::string::npos);
}

// The folder the check builds holds the package; --init's texts replace its two settings files.
TEST(StartingDistribution, PassesTheCheckAndInstallsWithTheGivenProperties) {
  CheckFolder folder;
  folder.Package().properties[u"ProductName"] = u"Widget";
  InitOptions options = WithMinimum(u"7-sp1");
  options.cmdLine = u"REBOOT=ReallySuppress";
  folder.dir.Write("Setup.ini", StartingSettings(Widget(), u"product.msi", options));
  folder.dir.Write("0x0409.ini", LanguageMessages(Widget(), options.minimum, *FindLanguageCode(u"en")));
  const Observation seen = folder.Run({u"/S"});
  for (const Finding& finding : FindProblems(seen)) ADD_FAILURE() << finding.code << " " << finding.message;
  EXPECT_EQ(seen.install.commandLine, u" REBOOT=ReallySuppress");
  EXPECT_EQ(seen.os.requiredEngine, u"3.1");

  folder.options.system = {5, 1, 2600, 3, 0};
  const Observation onXp = folder.Run();
  ASSERT_EQ(onXp.end.messageBoxes.size(), 1u);
  EXPECT_EQ(onXp.end.messageBoxes[0].text, u"Widget needs Windows 7 Service Pack 1 or later. Setup cannot continue.");
}

std::vector<Text> LinesOf(const Text& text) {
  std::vector<Text> lines(1);
  for (const char16_t c : text) {
    if (c == u'\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  return lines;
}

// --languages all, then setup.exe's own run in the folder reads each file back by /l: message
// 1150 on a Windows older than the files name, and the usage text for /?.
TEST(StartingDistribution, WritesEveryLanguageOfSlashLWhereSetupExeFindsItAndTheCheckAcceptsIt) {
  CheckFolder folder;
  folder.Package().properties[u"ProductName"] = u"Ledgr Sample";
  const std::string package = HostPathOf(folder.dir.PathOf("product.msi"));
  const setup::testing::FakePackage product = folder.Package();
  // The writer opens the package by its absolute host path.
  folder.msi.packages[TextOf(std::filesystem::absolute(package).lexically_normal())] = product;
  const ParsedInit parsed = ParseInitArguments(
      {FromUtf8(package), FromUtf8(HostPathOf(folder.dir.folder())), u"--languages", u"all", u"--force"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  std::string report;
  ASSERT_EQ(WriteStartingDistribution(*parsed.options, folder.msi.Module(), report), 0) << report;
  const Observation clean = folder.Run();
  for (const Finding& finding : FindProblems(clean)) ADD_FAILURE() << finding.code << " " << finding.message;

  folder.options.system = {5, 1, 2600, 2, 0};
  const auto shown = [&](const LanguageCode& language, std::vector<Text> arguments) {
    arguments.insert(arguments.begin(), {u"/l", language.code});
    const Observation seen = folder.Run(arguments);
    return seen.end.messageBoxes.size() == 1 ? seen.end.messageBoxes[0].text : Text(u"no box");
  };
  const LanguageCode& english = *FindLanguageCode(u"en");
  const Text english1150 = shown(english, {});
  const std::vector<Text> englishUsage = LinesOf(shown(english, {u"/?"}));
  EXPECT_EQ(english1150, u"Ledgr Sample needs Windows XP Service Pack 3 or later. Setup cannot continue.");
  for (const LanguageCode& language : kLanguageCodes) {
    const Text name = FormatHex4(language.languageId) + kLanguageFileExtension;
    const bool isEnglish = language.languageId == english.languageId;
    const auto file = std::ranges::find(clean.languageFiles, name, &LanguageFileView::fileName);
    ASSERT_NE(file, clean.languageFiles.end()) << ToUtf8(name);
    EXPECT_TRUE(isEnglish || file->scan.encoding == SettingsEncoding::kUtf8) << ToUtf8(name);

    const Text unsupported = shown(language, {});
    EXPECT_NE(unsupported.find(u"Ledgr Sample"), Text::npos) << ToUtf8(unsupported);
    EXPECT_TRUE(isEnglish || unsupported != english1150) << ToUtf8(unsupported);
    const std::vector<Text> usage = LinesOf(shown(language, {u"/?"}));
    ASSERT_EQ(usage.size(), kUsageMessages.size()) << ToUtf8(name);
    for (size_t i = 0; i < usage.size(); ++i) {
      EXPECT_FALSE(usage[i].empty()) << ToUtf8(name) << " " << i;
      EXPECT_TRUE(isEnglish || usage[i] != englishUsage[i]) << ToUtf8(usage[i]);
    }
  }
}

TEST(ParseInitArguments, RefusesAnUnknownLanguageCodeNamingTheKnownOnes) {
  const ParsedInit parsed = ParseInitArguments({u"w.msi", u"d", u"--languages", u"ru,RU,de,en"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  ASSERT_EQ(parsed.options->languages.size(), 3u);
  EXPECT_EQ(parsed.options->languages[1].languageId, 0x0407);
  for (const Text wrong : {u"ru,xx", u"ru,", u"ru-RU"}) {
    const ParsedInit refused = ParseInitArguments({u"w.msi", u"d", u"--languages", wrong});
    EXPECT_FALSE(refused.options) << ToUtf8(wrong);
    for (const LanguageCode& known : kLanguageCodes) {
      EXPECT_NE(refused.error.find(ToUtf8(known.code)), std::string::npos) << ToUtf8(known.code);
    }
  }
}

TEST(ParseInitArguments, TakesNamesOrNumbersAndRefusesTheRest) {
  const ParsedInit parsed = ParseInitArguments({u"--force", u"w.msi", u"--min-os=xp-sp3", u"/out", u"--cmdline",
                                                u"A=1 B=2", u"--setup-exe", u"s.exe", u"--no-copy"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->package, u"w.msi");
  EXPECT_EQ(parsed.options->folder, u"/out");
  EXPECT_EQ(parsed.options->minimum.servicePack, 0x0300);
  EXPECT_EQ(parsed.options->cmdLine, u"A=1 B=2");
  EXPECT_EQ(parsed.options->setupExe, u"s.exe");
  EXPECT_TRUE(parsed.options->force);
  EXPECT_FALSE(parsed.options->copyPackage);
  const std::vector<std::vector<Text>> wrong = {
      {u"w.msi"},                                        // no folder
      {u"w.msi", u"d", u"e"},                            // two folders
      {u"w.msi", u"d", u"--min-os", u"xp-sp4"},          // no such name
      {u"w.msi", u"d", u"--min-os", u"6.1.7601.256.0"},  // a service pack beyond its byte
      {u"w.msi", u"d", u"--min-os", u"6.1.7601.1"},
      {u"w.msi", u"d", u"--cmdline"},
      {u"w.msi", u"d", u"--copy"},
  };
  for (const auto& arguments : wrong) EXPECT_FALSE(ParseInitArguments(arguments).options) << ToUtf8(arguments.back());
}

}  // namespace
}  // namespace setup::check::testing
