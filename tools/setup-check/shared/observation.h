#pragma once
// Everything the check learns about a distribution folder, from one run of the program's own
// run sequence on the dry-run platform: the context as the run left it, the calls it made, and
// what its steps noted as they decided.

#include <optional>
#include <vector>

#include "setup/cmdline/command_line_parser.h"
#include "setup/driver/run.h"
#include "setup/driver/run_state.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/package_inspection.h"
#include "tools/setup-check/shared/dry_run.h"
#include "tools/setup-check/shared/package_facts.h"
#include "tools/setup-check/shared/settings_scan.h"

namespace setup::check {

struct CommandLineView {
  Text processCommandLine;
  ParseResult parseResult = kParseAccepted;
  Text parseError;
  std::vector<Text> freeParameters;
  std::optional<Text> languageCode;  // the value of "l" when given
  bool languageCodeKnown = false;    // one of the codes that name a language of their own
  std::optional<Text> instance;      // accepted, never used by the program
  // The context's fields once the command line is applied.
  InstallMode installMode = kInstall;
  int32_t uiLevel = kUiLevelFull;
  uint32_t languageId = 0;
  Text debugLogPath;
  bool usageRequested = false;
};

struct SettingsView {
  Text path;
  bool exists = false;
  SettingsScan scan;
  SettingsSection startup;  // as the run parsed it, the values as written
  Text product, productCode, packageCode, location, packagePath, installProperties;
  std::vector<SectionRead> read;  // what the run read of it, the instance reader's part included
  Text Startup(const char16_t* key) const { return startup.GetValue(key); }
};

struct LanguageView {
  bool reached = false;  // settings loading got as far as choosing it
  LanguageChoice choice;
  uint32_t languageId = 0;
  Text fileName, message1150;
  bool fileFound = false;  // the chosen file is in the folder, whether readable or not
  bool hasSection = false, has1150 = false;
};

struct LanguageFileView {
  Text fileName;
  Text expectedSection;          // the section the program looks up in it
  bool nameIsLookedFor = false;  // the program's own formatting of its number gives this name
  SettingsScan scan;
};

using OsView = SystemsCheck;
using EngineView = EngineCheck;

struct PackageView {
  PackageCheck check;  // reached, the inspection's result and the query that failed
  Text path;
  bool exists = false;
  PackageInfo info;                            // what the inspection read (database closed)
  std::optional<bool> holdsInstanceTransform;  // the instance's Name.mst among its storages
  PackageFacts facts;                          // read while the run held the package open
};

struct InstanceView {
  Text file;
  bool fileExists = false;
  Text declaredName, declaredProductCode;  // what the file names, whether the run reads it or not
  bool adminUpdateMarker = false;
  Text transform;  // the one asked for where the instance is installed
  // What the instance reader read, or would have read where the inspection stopped before it.
  std::vector<SectionRead> sectionsRead;
};

struct InstallView {
  bool reached = false;  // MsiInstallProductW was called
  InstallPlan plan;
  Text packagePath, commandLine;  // as MsiInstallProductW was handed them
  std::optional<int32_t> uiLevel;
  std::optional<LogCall> log;
  std::vector<std::string> calls;
};

struct EndView {
  ExitCode exitCode = kExitBeforeInstaller;
  bool exitIsInstallers = false;
  std::vector<MessageBoxCall> messageBoxes;
  Text standardOutput;
  std::vector<Text> programsRun;
};

struct Observation {
  CheckOptions options;
  Text moduleDirectory, modulePath;
  CommandLineView commandLine;
  SettingsView settings;
  LanguageView language;
  std::vector<LanguageFileView> languageFiles;
  OsView os;
  EngineView engine;
  PackageView package;
  InstanceView instance;
  InstallView install;
  EndView end;
};

// distributionFolder is the Windows path of DIST_DIR (a final '\' optional); setup.exe is
// taken to stand in it.
Observation Observe(const CheckOptions& options, const Text& distributionFolder, const FakeModule& packageReader);

}  // namespace setup::check
