#include "tools/setup-check/shared/observation.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/cmdline/setup_options.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/run.h"
#include "setup/installer/engine_update.h"
#include "setup/installer/install_launch.h"
#include "tools/setup-check/shared/host_paths.h"
#include "tools/setup-check/shared/package_facts.h"

namespace setup::check {
namespace {

// Listens to the run: each settings file it reads is scanned, the package it holds open is read
// for what the run does not read itself, and its state is copied once it ends.
class RunRecorder : public RunObserver {
 public:
  RunRecorder(Observation& seen, DryRun& run) : seen_(seen), run_(run) {}

  SettingsObserver* Settings() override { return &scanner_; }
  const SettingsScanner& scanner() const { return scanner_; }
  void CommandLineParsed(const CommandLineParser& parser, int parseResult) override;
  void PackageOpened(const SetupContext& context) override;
  void RunEnded(const SetupContext& context) override;

 private:
  void KeepSettings(const SetupContext& context);
  void KeepLanguage(const SetupContext& context);
  void KeepPackage(const SetupContext& context);

  Observation& seen_;
  DryRun& run_;
  SettingsScanner scanner_;
};

void RunRecorder::CommandLineParsed(const CommandLineParser& parser, int parseResult) {
  CommandLineView& view = seen_.commandLine;
  view.parseResult = static_cast<ParseResult>(parseResult);
  view.parseError = parser.ErrorText();
  for (size_t i = 0; i < parser.PositionalCount(); ++i) view.freeParameters.push_back(parser.GetPositional(i));
  if (parser.IsPresent(kLanguageOption)) view.languageCode = parser.GetText(kLanguageOption);
  if (parser.IsPresent(kInstanceOption)) view.instance = parser.GetText(kInstanceOption);
}

// Whether the package holds the instance's transform is a fact the run never asks about.
void RunRecorder::PackageOpened(const SetupContext& context) {
  PackageView& package = seen_.package;
  const MsiHandle database = context.package.database.get();
  package.facts = ReadPackageFacts(context.msi(), database);
  const Text& transform = context.state.plan.instanceTransform;
  if (!transform.empty()) package.holdsInstanceTransform = PackageHoldsStorage(context.msi(), database, transform);
}

void RunRecorder::RunEnded(const SetupContext& context) {
  CommandLineView& options = seen_.commandLine;
  options.installMode = context.installMode;
  options.uiLevel = context.uiLevel;
  options.languageId = context.languageId;
  options.debugLogPath = context.debugLogPath;
  options.usageRequested = context.usageRequested;
  options.languageCodeKnown = context.state.language.codeKnown;
  seen_.end.exitIsInstallers = context.state.exitIsInstallers;
  KeepSettings(context);
  if (!seen_.settings.exists) return;
  seen_.os = context.state.systems;
  seen_.engine = context.state.engine;
  KeepLanguage(context);
  KeepPackage(context);
  // The instance reader may read Setup.ini itself, by another name.
  const std::vector<SectionRead>& instance = seen_.instance.sectionsRead;
  if (SameFile(seen_.instance.file, seen_.settings.path))
    seen_.settings.read.insert(seen_.settings.read.end(), instance.begin(), instance.end());
}

void RunRecorder::KeepSettings(const SetupContext& context) {
  SettingsView& settings = seen_.settings;
  settings.path = context.moduleDirectory + kSettingsFileName;
  settings.exists = run_.platform.Probed(settings.path).value_or(false);
  if (!settings.exists) return;
  settings.scan = scanner_.scans[settings.path];
  settings.scan.NoteBytes(run_.platform.bytesRead[settings.path]);
  settings.startup = context.settings.GetSection(kStartupSection);
  settings.product = context.productName;
  settings.productCode = context.productCode;
  settings.packageCode = context.packageCode;
  settings.location = context.state.packageLocation;
  settings.packagePath = context.packagePath;
  settings.installProperties = context.installProperties;
  settings.read = context.state.settingsRead;
}

void RunRecorder::KeepLanguage(const SetupContext& context) {
  LanguageView& view = seen_.language;
  view.choice = context.state.language;
  if (view.choice.chosen.empty()) return;
  view.reached = true;
  view.languageId = context.languageId;
  view.fileName = view.choice.chosen + kLanguageFileExtension;
  view.fileFound = run_.platform.Found(context.moduleDirectory + view.fileName);
  view.hasSection = context.messages.GetName() == view.choice.chosen;
  for (size_t i = 0; i < context.messages.GetKeyCount(); ++i) {
    view.has1150 = view.has1150 || context.messages.GetKeyAt(i) == kUnsupportedSystemMessage;
  }
  view.message1150 = context.messages.GetValue(kUnsupportedSystemMessage);
}

void RunRecorder::KeepPackage(const SetupContext& context) {
  PackageView& package = seen_.package;
  InstanceView& instance = seen_.instance;
  package.check = context.state.package;
  package.path = context.packagePath;
  package.exists = run_.platform.Found(package.path);
  instance.file = InstanceFilePath(package.path);
  instance.fileExists = run_.platform.Found(instance.file);
  instance.adminUpdateMarker = run_.platform.Found(context.moduleDirectory + kAdministrativeUpdateMarker);
  seen_.install.plan = context.state.plan;
  instance.transform = context.state.plan.instanceTransform;
  if (!package.check.reached) return;
  const PackageInfo& info = context.package;
  for (Text PackageInfo::*field :
       {&PackageInfo::packagePath, &PackageInfo::productCode, &PackageInfo::packageCode, &PackageInfo::productVersion,
        &PackageInfo::keyFileVersion, &PackageInfo::instanceProductCode, &PackageInfo::instanceName}) {
    package.info.*field = info.*field;
  }
  package.info.failedQuery = info.failedQuery;
  package.facts.productCode = info.productCode;
  package.facts.productVersion = info.productVersion;
  // The codes are the run's: what stopped it before them stops the facts too.
  const PackageQuery failed = package.check.failedQuery;
  if (package.facts.result == kMsiSuccess && failed != PackageQuery::kNone && failed != PackageQuery::kKeyFile)
    package.facts.result = package.check.result;
  instance.declaredName = info.instanceName;
  instance.declaredProductCode = info.instanceProductCode;
  instance.sectionsRead = info.sectionsRead;
  if (package.check.result != kMsiSuccess && instance.fileExists) {
    // The inspection stopped before the instance file: what it would have read there.
    const FileContent content = run_.platform.ReadWholeFile(instance.file);
    const std::optional<Text> text = DecodeInstanceFile(content.bytes.View(), run_.platform);
    PackageInfo declared;
    if (content.opened && text) ScanInstanceFile(*text, declared);
    instance.declaredName = declared.instanceName;
    instance.declaredProductCode = declared.instanceProductCode;
    instance.sectionsRead = declared.sectionsRead;
  }
}

void KeepInstall(Observation& seen, const DryRun& run) {
  InstallView& install = seen.install;
  install.reached = run.install.has_value();
  if (run.install) {
    install.packagePath = run.install->packagePath;
    install.commandLine = run.install->commandLine;
  }
  install.uiLevel = run.uiLevel;
  install.log = run.log;
  install.calls = run.calls;
  seen.end.messageBoxes = run.platform.messageBoxes;
  seen.end.standardOutput = run.platform.standardOutput;
  seen.end.programsRun = run.platform.runRequests;
}

// "0x0419.ini" gives 0x0419, as does any name the file system takes for it; other names, none.
std::optional<uint32_t> LanguageFileNumber(const Text& folder, TextView name) {
  const size_t dot = name.rfind(u'.');
  if (dot == TextView::npos || dot < 3 || name[0] != u'0' || FoldAsciiCase(name[1]) != u'x') return std::nullopt;
  if (!SameFile(folder + Text(name), folder + Text(name.substr(0, dot)) + kLanguageFileExtension)) return std::nullopt;
  const std::string digits = ToUtf8(name.substr(2, dot - 2));
  uint32_t number = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, number, 16);
  if (error != std::errc() || stop != end) return std::nullopt;
  return number;
}

// Every file named like a language file, whichever language the run chooses: the one the run
// read as its parser told the run, the others read by the same reader and parser.
void ObserveLanguageFiles(Observation& seen, DryRunPlatform& platform, const SettingsScanner& runScans) {
  std::vector<Text> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(ResolveHostPath(seen.moduleDirectory), error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(TextOf(it->path().filename()));
  }
  std::sort(names.begin(), names.end());
  const Text& folder = seen.moduleDirectory;
  const Text runRead = seen.language.reached ? folder + seen.language.fileName : Text();
  for (const Text& name : names) {
    const std::optional<uint32_t> number = LanguageFileNumber(folder, name);
    if (!number) continue;
    LanguageFileView& file = seen.languageFiles.emplace_back();
    file.fileName = name;
    file.expectedSection = FormatHex4(*number);
    file.nameIsLookedFor = SameFile(folder + name, folder + file.expectedSection + kLanguageFileExtension);
    const auto read = runScans.scans.find(runRead);
    if (!runRead.empty() && read != runScans.scans.end() && SameFile(folder + name, runRead)) {
      file.scan = read->second;
      file.scan.NoteBytes(platform.bytesRead[runRead]);
    } else {
      file.scan = ScanSettingsFile(folder + name, platform);
      file.scan.NoteBytes(platform.bytesRead[folder + name]);
    }
  }
}

}  // namespace

Observation Observe(const CheckOptions& options, const Text& distributionFolder, const FakeModule& packageReader) {
  Observation seen;
  seen.options = options;
  seen.moduleDirectory = distributionFolder;
  if (seen.moduleDirectory.empty() || seen.moduleDirectory.back() != u'\\') seen.moduleDirectory += u'\\';
  seen.modulePath = seen.moduleDirectory + kProgramFileName;

  DryRun run(options, seen.modulePath, packageReader);
  seen.commandLine.processCommandLine = run.platform.commandLine;
  RunRecorder recorder(seen, run);
  seen.end.exitCode = RunSetup(run.platform, run.msi, recorder);
  seen.options.system = run.platform.system;
  KeepInstall(seen, run);
  ObserveLanguageFiles(seen, run.platform, recorder.scanner());
  return seen;
}

}  // namespace setup::check
