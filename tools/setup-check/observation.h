#pragma once
// Everything the check learns about a distribution folder, from two runs of the program's own
// code on the dry-run platform: one through the program's whole run sequence, for what reaches
// the Windows Installer and how the run ends; one step by step, for the run's context.

#include <optional>
#include <vector>

#include "setup/driver/version_number.h"
#include "setup/installer/msi_library.h"
#include "setup/installer/package_inspection.h"
#include "setup/platform/host/host_platform.h"
#include "tools/setup-check/check_options.h"
#include "tools/setup-check/dry_run.h"
#include "tools/setup-check/settings_scan.h"

namespace setup::check {

struct CommandLineView {
  Text processCommandLine;
  int parseResult = 0;  // 0 accepted, 1 an argument rejected, -1 usage asked for
  Text parseError;
  std::vector<Text> freeParameters;
  std::optional<Text> languageCode;  // the value of "l" when given
  bool languageCodeKnown = false;    // one of the codes that name a language of their own
  std::optional<Text> instance;      // accepted, never used by the program
  // The context's fields once the command line is applied.
  int32_t installMode = 0;
  int32_t uiLevel = 0;
  uint32_t languageId = 0;
  Text debugLogPath;
  bool usageRequested = false;
};

struct SettingsView {
  Text path;
  bool exists = false;
  SettingsScan scan;
  Text product;
  Text productVersion;  // as written
  Text productCode;
  Text packageCode;
  Text logResults;
  Text cmdLine;
  Text packageName;
  Text location;
  Text packagePath;        // as settings loading resolves it
  Text installProperties;  // CmdLine, then the free parameters
};

struct LanguageView {
  bool reached = false;  // settings loading got as far as choosing it
  uint32_t languageId = 0;
  Text fileName;
  bool fallback = false;  // the language's own file is missing
  bool exists = false;
  Text section;
  bool hasSection = false;
  bool has1150 = false;
  Text message1150;
};

struct LanguageFileView {
  Text fileName;
  Text expectedSection;          // the section the program looks up in it
  bool nameIsLookedFor = false;  // the program's own formatting of its number gives this name
  SettingsScan scan;
};

struct OsEntryView {
  Text key;
  Text value;
  bool enabled = false;
  bool sectionFound = false;
  OsRequirement requirement;
  bool neverSatisfied = false;
  bool satisfied = false;  // by the system given to the check
};

struct OsView {
  size_t msiVersionKeyCount = 0;
  Text engineKey;    // the first key of [MsiVersion]: the required engine
  Text listSection;  // its value
  bool listFound = false;
  std::vector<OsEntryView> entries;
  bool passes = false;
};

struct EngineView {
  bool reached = false;
  Text installed;
  Text required;
  bool updateNeeded = false;
  bool installerPresent = false;
};

struct PackageView {
  Text path;
  bool exists = false;
  MsiResult inspection = 0;                    // InspectPackage's result
  PackageInfo info;                            // what the inspection read (database closed)
  std::optional<bool> holdsInstanceTransform;  // the instance's Name.mst among its storages
};

struct InstanceView {
  Text file;
  bool fileExists = false;
  Text declaredName;  // what the file names, whether the run reads it or not
  Text declaredProductCode;
  bool adminUpdateMarker = false;
  bool detectionReached = false;
  InstalledProduct detection = InstalledProduct::kNeither;
};

struct InstallView {
  bool reached = false;
  Text packagePath;
  Text modePrefix;
  Text propertyString;
  Text commandLine;  // the mode prefix and the property string
  std::optional<int32_t> uiLevel;
  std::optional<LogCall> log;
  std::optional<FileProbe> languageTransform;
  std::vector<std::string> calls;
};

struct EndView {
  int exitCode = 0;
  std::vector<MessageBoxCall> messageBoxes;
  Text standardOutput;
  std::vector<Text> programsRun;
};

struct Observation {
  CheckOptions options;
  Text moduleDirectory;
  Text modulePath;
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
