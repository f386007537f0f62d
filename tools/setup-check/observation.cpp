#include "tools/setup-check/observation.h"

#include <algorithm>
#include <filesystem>

#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/base/path.h"
#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/setup_options.h"
#include "setup/decisions/os_requirements.h"
#include "setup/driver/run.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/engine_update.h"
#include "setup/installer/install_launch.h"
#include "tools/setup-check/host_paths.h"
#include "tools/setup-check/package_facts.h"

namespace setup::check {
namespace {

constexpr char16_t kSettingsFileName[] = u"Setup.ini";
constexpr uint32_t kNeverMet = 0xFFFFFFFF;

bool EndsWithIgnoringCase(TextView text, TextView end) {
  return text.size() >= end.size() && EqualsIgnoringAsciiCase(text.substr(text.size() - end.size()), end);
}

// The whole run sequence, as setup.exe's entry runs it: what reaches the Windows Installer and
// how the run ends come from here and nowhere else.
void ObserveRunSequence(Observation& seen, const FakeModule& packageReader) {
  DryRun run(seen.options, seen.modulePath, packageReader);
  seen.end.exitCode = RunSetup(run.platform, run.msi);
  seen.end.messageBoxes = run.platform.messageBoxes;
  seen.end.standardOutput = run.platform.standardOutput;
  seen.end.programsRun = run.platform.runRequests;
  seen.install.reached = run.install.has_value();
  if (run.install) {
    seen.install.packagePath = run.install->packagePath;
    seen.install.commandLine = run.install->commandLine;
  }
  seen.install.uiLevel = run.uiLevel;
  seen.install.log = run.log;
  seen.install.calls = run.calls;
  for (const FileProbe& probe : run.platform.probes) {
    if (EndsWithIgnoringCase(probe.path, u".mst")) seen.install.languageTransform = probe;
  }
}

void ObserveCommandLine(CommandLineView& view, DryRun& run) {
  view.processCommandLine = run.platform.commandLine;
  CommandLineParser parser;
  view.parseResult = ParseSetupCommandLine(parser, view.processCommandLine);
  view.parseError = parser.ErrorText();
  for (size_t i = 0; i < parser.PositionalCount(); ++i) view.freeParameters.push_back(parser.GetPositional(i));
  if (parser.IsPresent(u"l")) view.languageCode = parser.GetText(u"l");
  if (parser.IsPresent(u"instance")) view.instance = parser.GetText(u"instance");

  SetupContext applied(run.platform, run.msi);
  if (view.languageCode) {
    // A code of the program's table names its language whatever the user's is; any other
    // text keeps the user's.
    applied.languageId = 0x0409;
    const uint32_t asEnglish = applied.LanguageFromCode(*view.languageCode);
    applied.languageId = 0x0419;
    view.languageCodeKnown = applied.LanguageFromCode(*view.languageCode) == asEnglish;
    applied.languageId = run.platform.userLanguage;
  }
  applied.ApplyCommandLine();
  view.installMode = applied.installMode;
  view.uiLevel = applied.uiLevel;
  view.languageId = applied.languageId;
  view.debugLogPath = applied.debugLogPath;
  view.usageRequested = applied.usageRequested;
}

void ObserveSettingsValues(SettingsView& view, const SetupContext& context) {
  const SettingsSection startup = context.settings.GetSection(u"Startup");
  view.product = context.productName;
  view.productVersion = startup.GetValue(u"ProductVersion");
  view.productCode = context.productCode;
  view.packageCode = context.packageCode;
  view.logResults = startup.GetValue(u"LogResults");
  view.cmdLine = startup.GetValue(u"CmdLine");
  view.packageName = startup.GetValue(u"PackageName");
  view.location = context.settings.GetSection(view.packageName).GetValue(u"Location");
  view.packagePath = context.packagePath;
  view.installProperties = context.installProperties;
}

// Settings loading reads Setup.ini and then the language file it chose.
void ObserveLanguage(LanguageView& view, const SetupContext& context, const std::vector<Text>& reads,
                     Platform& platform) {
  if (reads.size() < 2) return;
  view.reached = true;
  view.languageId = context.languageId;
  const Text& path = reads[1];
  view.fileName = path.substr(std::min(path.size(), context.moduleDirectory.size()));
  view.fallback = view.fileName != FormatHex4(context.languageId) + u".ini";
  view.exists = platform.FileExists(path);
  view.section = view.fileName.substr(0, view.fileName.size() - 4);
  view.hasSection = context.messages.GetName() == view.section;
  for (size_t i = 0; i < context.messages.GetKeyCount(); ++i) {
    view.has1150 = view.has1150 || context.messages.GetKeyAt(i) == u"1150";
  }
  view.message1150 = context.messages.GetValue(u"1150");
}

void ObserveOperatingSystems(OsView& view, const SetupContext& context, const SettingsScan& scan,
                             const SystemVersion& system) {
  const SettingsSection msiVersion = context.settings.GetSection(u"MsiVersion");
  view.msiVersionKeyCount = msiVersion.GetKeyCount();
  view.engineKey = msiVersion.GetKeyAt(0);
  view.listSection = msiVersion.GetValue(view.engineKey);
  view.listFound = scan.Find(view.listSection) != nullptr;
  const SettingsSection list = context.settings.GetSection(view.listSection);
  for (size_t i = 0; i < list.GetKeyCount(); ++i) {
    OsEntryView entry;
    entry.key = list.GetKeyAt(i);
    entry.value = list.GetValue(entry.key);
    entry.enabled = entry.value == u"1";
    entry.sectionFound = scan.Find(entry.key) != nullptr;
    entry.requirement = OsRequirementOf(context.settings.GetSection(entry.key));
    const OsRequirement& r = entry.requirement;
    entry.neverSatisfied = r.major == kNeverMet || r.minor == kNeverMet || r.build == kNeverMet;
    entry.satisfied = entry.enabled && SystemSatisfies(system, r);
    view.entries.push_back(entry);
  }
  view.passes = context.CheckOperatingSystem(view.listSection);
}

void ObservePackage(Observation& seen, DryRun& run) {
  PackageView& package = seen.package;
  package.path = seen.settings.packagePath;
  package.exists = run.platform.FileExists(package.path);
  package.inspection = InspectPackage(package.info, package.path, run.platform, run.msi);
  if (!package.info.instanceName.empty()) {
    package.holdsInstanceTransform =
        PackageHoldsStorage(run.msi, package.info.database.get(), package.info.instanceName + u".mst");
  }
  package.info.database.Close();

  InstanceView& instance = seen.instance;
  const PathParts parts = SplitPath(package.path);
  instance.file = parts.drive + parts.directory + u"setup.ini";
  instance.fileExists = run.platform.FileExists(instance.file);
  instance.adminUpdateMarker = run.platform.FileExists(seen.moduleDirectory + u"admupdt.cfg");
  if (!instance.fileExists) return;
  const FileContent content = run.platform.ReadWholeFile(instance.file);
  const std::optional<Text> text = content.opened ? DecodeInstanceFile(content.bytes.View(), run.platform) : std::nullopt;
  if (!text) return;
  PackageInfo declared;
  ScanInstanceFile(*text, declared);
  instance.declaredName = declared.instanceName;
  instance.declaredProductCode = declared.instanceProductCode;
}

// The install step as the run takes it, for the engine decision and the installed product.
void ObserveInstallStep(Observation& seen, SetupContext& context, DryRun& run) {
  const size_t probesBefore = run.platform.probes.size();
  ComposeAndInstall(context);
  EngineView& engine = seen.engine;
  engine.reached = true;
  engine.installed = ReadEngineVersion(run.platform, run.msi);
  engine.required = seen.os.engineKey;
  const Text installer = context.moduleDirectory + u"instmsi30.exe";
  for (size_t i = probesBefore; i < run.platform.probes.size(); ++i) {
    if (run.platform.probes[i].path != installer) continue;
    engine.updateNeeded = true;
    engine.installerPresent = run.platform.probes[i].found;
  }
  seen.instance.detectionReached = true;
  seen.instance.detection = DetectInstalledProduct(context);
}

void ObserveSteps(Observation& seen, DryRun& run) {
  SetupContext context(run.platform, run.msi);
  SettingsView& settings = seen.settings;
  settings.path = context.moduleDirectory + kSettingsFileName;
  settings.exists = run.platform.FileExists(settings.path);
  settings.scan = ScanSettingsFile(settings.path, run.platform);

  const size_t readsBefore = run.platform.reads.size();
  const bool loaded = context.LoadSettings(kSettingsFileName);
  const std::vector<Text> reads(run.platform.reads.begin() + static_cast<std::ptrdiff_t>(readsBefore),
                                run.platform.reads.end());
  if (!settings.exists) return;
  ObserveSettingsValues(settings, context);
  ObserveLanguage(seen.language, context, reads, run.platform);
  ObserveOperatingSystems(seen.os, context, settings.scan, seen.options.system);
  ObservePackage(seen, run);
  if (loaded) ObserveInstallStep(seen, context, run);
}

std::optional<uint32_t> LanguageFileNumber(TextView name) {
  if (!EndsWithIgnoringCase(name, u".ini") || name.size() < 7 || name.size() > 14) return std::nullopt;
  if (!EqualsIgnoringAsciiCase(name.substr(0, 2), u"0x")) return std::nullopt;
  uint32_t number = 0;
  for (const char16_t c : name.substr(2, name.size() - 6)) {
    const char16_t folded = FoldAsciiCase(c);
    if (folded >= u'0' && folded <= u'9') {
      number = number * 16 + (folded - u'0');
    } else if (folded >= u'a' && folded <= u'f') {
      number = number * 16 + (folded - u'a' + 10);
    } else {
      return std::nullopt;
    }
  }
  return number;
}

// Every file named like a language file, whichever language the run chooses.
void ObserveLanguageFiles(Observation& seen, Platform& platform) {
  std::vector<Text> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(ResolveHostPath(seen.moduleDirectory), error), end; !error && it != end;
       it.increment(error)) {
    const std::u8string name = it->path().filename().u8string();
    names.push_back(FromUtf8(std::string(name.begin(), name.end())));
  }
  std::sort(names.begin(), names.end());
  for (const Text& name : names) {
    const std::optional<uint32_t> number = LanguageFileNumber(name);
    if (!number) continue;
    LanguageFileView file;
    file.fileName = name;
    file.expectedSection = FormatHex4(*number);
    Text folded = name;
    for (char16_t& c : folded) c = FoldAsciiCase(c);
    file.nameIsLookedFor = folded == file.expectedSection + u".ini";
    file.scan = ScanSettingsFile(seen.moduleDirectory + name, platform);
    seen.languageFiles.push_back(std::move(file));
  }
}

}  // namespace

Observation Observe(const CheckOptions& options, const Text& distributionFolder, const FakeModule& packageReader) {
  Observation seen;
  seen.options = options;
  seen.moduleDirectory = distributionFolder;
  if (seen.moduleDirectory.empty() || seen.moduleDirectory.back() != u'\\') seen.moduleDirectory += u'\\';
  seen.modulePath = seen.moduleDirectory + u"setup.exe";

  ObserveRunSequence(seen, packageReader);
  {
    DryRun run(options, seen.modulePath, packageReader);
    ObserveCommandLine(seen.commandLine, run);
    ObserveSteps(seen, run);
    ObserveLanguageFiles(seen, run.platform);
  }
  seen.install.modePrefix = ModePrefixOf(seen.commandLine.installMode);
  if (seen.install.reached && seen.install.commandLine.starts_with(seen.install.modePrefix)) {
    seen.install.propertyString = seen.install.commandLine.substr(seen.install.modePrefix.size());
  }
  return seen;
}

}  // namespace setup::check
