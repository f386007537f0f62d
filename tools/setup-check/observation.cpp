#include "tools/setup-check/observation.h"

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
#include "tools/setup-check/host_paths.h"
#include "tools/setup-check/package_facts.h"

namespace setup::check {
namespace {

// Listens to the run: each settings file it reads is scanned, and the decisions it notes land in
// the observation.
class RunRecorder : public RunObserver {
 public:
  RunRecorder(Observation& seen, DryRun& run) : seen_(seen), run_(run) {}

  SettingsObserver* Settings() override { return &scanner_; }
  void CommandLineParsed(const CommandLineParser& parser, int parseResult) override;
  void LanguageChosen(TextView language) override { language_ = Text(language); }
  void SystemChecked(bool supported) override { seen_.os.passes = supported; }
  void PackageInspected(uint32_t result) override {
    seen_.package.reached = true;
    seen_.package.inspection = result;
  }
  void ProductDetected(InstalledProduct status) override { seen_.instance.detection = status; }
  void RunEnded(const SetupContext& context) override;

 private:
  void KeepSettings(const SetupContext& context);
  void KeepLanguage(const SetupContext& context);
  void KeepSystems(const SetupContext& context);
  void KeepPackage(const SetupContext& context);

  Observation& seen_;
  DryRun& run_;
  SettingsScanner scanner_;
  Text language_;
};

void RunRecorder::CommandLineParsed(const CommandLineParser& parser, int parseResult) {
  CommandLineView& view = seen_.commandLine;
  view.parseResult = static_cast<ParseResult>(parseResult);
  view.parseError = parser.ErrorText();
  for (size_t i = 0; i < parser.PositionalCount(); ++i) view.freeParameters.push_back(parser.GetPositional(i));
  if (parser.IsPresent(kLanguageOption)) view.languageCode = parser.GetText(kLanguageOption);
  if (parser.IsPresent(kInstanceOption)) view.instance = parser.GetText(kInstanceOption);
  view.languageCodeKnown = view.languageCode && FindLanguageCode(*view.languageCode) != nullptr;
}

void RunRecorder::RunEnded(const SetupContext& context) {
  CommandLineView& options = seen_.commandLine;
  options.installMode = context.installMode;
  options.uiLevel = context.uiLevel;
  options.languageId = context.languageId;
  options.debugLogPath = context.debugLogPath;
  options.usageRequested = context.usageRequested;
  KeepSettings(context);
  if (!seen_.settings.exists) return;
  KeepLanguage(context);
  KeepSystems(context);
  KeepPackage(context);
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
  settings.location = context.settings.GetSection(settings.Startup(kPackageNameKey)).GetValue(kLocationKey);
  settings.packagePath = context.packagePath;
  settings.installProperties = context.installProperties;
}

void RunRecorder::KeepLanguage(const SetupContext& context) {
  LanguageView& view = seen_.language;
  if (language_.empty()) return;
  view.reached = true;
  view.languageId = context.languageId;
  view.section = language_;
  view.fileName = language_ + kLanguageFileExtension;
  view.fallback = language_ != FormatHex4(context.languageId);
  const Text path = context.moduleDirectory + view.fileName;
  view.exists = run_.platform.bytesRead.contains(path);
  view.hasSection = context.messages.GetName() == view.section;
  for (size_t i = 0; i < context.messages.GetKeyCount(); ++i) {
    view.has1150 = view.has1150 || context.messages.GetKeyAt(i) == kUnsupportedSystemMessage;
  }
  view.message1150 = context.messages.GetValue(kUnsupportedSystemMessage);
}

void RunRecorder::KeepSystems(const SetupContext& context) {
  OsView& view = seen_.os;
  const SettingsScan& scan = seen_.settings.scan;
  view.msiVersionKeyCount = context.settings.GetSection(kMsiVersionSection).GetKeyCount();
  view.list = SystemsListOf(context.settings);
  view.listFound = scan.Find(view.list.listSection) != nullptr;
  for (const OsEntry& entry : OsEntriesOf(context.settings, view.list.listSection)) {
    OsEntryView& shown = view.entries.emplace_back();
    static_cast<OsEntry&>(shown) = entry;
    shown.sectionFound = scan.Find(entry.name) != nullptr;
    shown.satisfied = entry.enabled && SystemSatisfies(seen_.options.system, entry.requirement);
  }
}

// Whether the package holds a sub-storage: a fact of the package that the run never asks about.
std::optional<bool> HoldsStorage(DryRun& run, const Text& package, const Text& name) {
  MsiHandle handle = 0;
  if (!run.msi.IsLoaded() && !run.msi.Bind()) return std::nullopt;
  if (run.msi.OpenDatabase(package, handle) != 0) return std::nullopt;
  const ScopedMsiHandle database(run.msi, handle);
  return PackageHoldsStorage(run.msi, database.get(), name);
}

void RunRecorder::KeepPackage(const SetupContext& context) {
  PackageView& package = seen_.package;
  InstanceView& instance = seen_.instance;
  package.path = context.packagePath;
  package.exists = run_.platform.Found(package.path);
  instance.file = InstanceFilePath(package.path);
  instance.fileExists = run_.platform.Found(instance.file);
  instance.adminUpdateMarker = run_.platform.Found(context.moduleDirectory + kAdministrativeUpdateMarker);
  if (!package.reached) return;
  const PackageInfo& info = context.package;
  for (Text PackageInfo::*field :
       {&PackageInfo::packagePath, &PackageInfo::productCode, &PackageInfo::packageCode, &PackageInfo::productVersion,
        &PackageInfo::keyFileVersion, &PackageInfo::instanceProductCode, &PackageInfo::instanceName}) {
    package.info.*field = info.*field;
  }
  instance.declaredName = info.instanceName;
  instance.declaredProductCode = info.instanceProductCode;
  if (!info.instanceName.empty()) {
    package.holdsInstanceTransform = HoldsStorage(run_, package.path, info.instanceName + kTransformExtension);
  } else if (package.inspection != 0 && instance.fileExists) {
    // The inspection stopped before the instance file: what it would have read there.
    const FileContent content = run_.platform.ReadWholeFile(instance.file);
    const std::optional<Text> text = DecodeInstanceFile(content.bytes.View(), run_.platform);
    PackageInfo declared;
    if (content.opened && text) ScanInstanceFile(*text, declared);
    instance.declaredName = declared.instanceName;
    instance.declaredProductCode = declared.instanceProductCode;
  }
}

void KeepEngineAndInstall(Observation& seen, const DryRun& run) {
  EngineView& engine = seen.engine;
  engine.reached = run.platform.engineAsked.has_value() || seen.package.reached;
  if (run.platform.engineAsked) engine.installed = FormatVersionWords(*run.platform.engineAsked);
  if (engine.reached) engine.required = seen.os.list.requiredEngine;
  if (const std::optional<bool> installer = run.platform.Probed(seen.moduleDirectory + kEngineInstallerName)) {
    engine.updateNeeded = true;
    engine.installerPresent = *installer;
  }
  InstallView& install = seen.install;
  install.reached = run.install.has_value();
  if (run.install) {
    install.packagePath = run.install->packagePath;
    install.commandLine = run.install->commandLine;
    install.modePrefix = ModePrefix(seen.commandLine.installMode);
    if (install.commandLine.starts_with(install.modePrefix))
      install.propertyString = install.commandLine.substr(install.modePrefix.size());
  }
  install.uiLevel = run.uiLevel;
  install.log = run.log;
  install.calls = run.calls;
  const Text transform = seen.moduleDirectory + LanguageTransformName(seen.commandLine.languageId);
  if (const std::optional<bool> found = run.platform.Probed(transform)) install.languageTransform = {transform, *found};
  seen.end.messageBoxes = run.platform.messageBoxes;
  seen.end.standardOutput = run.platform.standardOutput;
  seen.end.programsRun = run.platform.runRequests;
}

// "0x0419.ini" gives 0x0419; names of another shape, none.
std::optional<uint32_t> LanguageFileNumber(TextView name) {
  const std::string text = ToUtf8(name);
  const size_t extension = std::size(kLanguageFileExtension) - 1;
  if (text.size() < 3 + extension || FoldAsciiCase(name[1]) != u'x' || name[0] != u'0') return std::nullopt;
  if (!EqualsIgnoringAsciiCase(name.substr(name.size() - extension), kLanguageFileExtension)) return std::nullopt;
  uint32_t number = 0;
  const char* end = text.data() + text.size() - extension;
  const auto [stop, error] = std::from_chars(text.data() + 2, end, number, 16);
  if (error != std::errc() || stop != end) return std::nullopt;
  return number;
}

// Every file named like a language file, whichever language the run chooses, read by the
// program's own reader and parser.
void ObserveLanguageFiles(Observation& seen, DryRunPlatform& platform) {
  std::vector<Text> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(ResolveHostPath(seen.moduleDirectory), error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(TextOf(it->path().filename()));
  }
  std::sort(names.begin(), names.end());
  for (const Text& name : names) {
    const std::optional<uint32_t> number = LanguageFileNumber(name);
    if (!number) continue;
    LanguageFileView& file = seen.languageFiles.emplace_back();
    file.fileName = name;
    file.expectedSection = FormatHex4(*number);
    file.nameIsLookedFor = EqualsIgnoringAsciiCase(name, file.expectedSection + kLanguageFileExtension);
    file.scan = ScanSettingsFile(seen.moduleDirectory + name, platform);
    file.scan.NoteBytes(platform.bytesRead[seen.moduleDirectory + name]);
  }
}

}  // namespace

Observation Observe(const CheckOptions& options, const Text& distributionFolder, const FakeModule& packageReader) {
  Observation seen;
  seen.options = options;
  seen.moduleDirectory = distributionFolder;
  if (seen.moduleDirectory.empty() || seen.moduleDirectory.back() != u'\\') seen.moduleDirectory += u'\\';
  seen.modulePath = seen.moduleDirectory + u"setup.exe";

  DryRun run(options, seen.modulePath, packageReader);
  seen.commandLine.processCommandLine = run.platform.commandLine;
  {
    RunRecorder recorder(seen, run);
    seen.end.exitCode = RunSetup(run.platform, run.msi, recorder);
  }
  KeepEngineAndInstall(seen, run);
  ObserveLanguageFiles(seen, run.platform);
  seen.setupExe = ReadExecutableIdentity(ResolveHostPath(seen.modulePath));
  if (seen.package.exists) seen.packageSignature = ReadPackageSignature(ResolveHostPath(seen.package.path));
  return seen;
}

}  // namespace setup::check
