#pragma once
// Everything the check learns about a distribution folder, from one run of the program's own
// run sequence on the dry-run platform: the context as the run left it, the calls it made, and
// what its steps noted as they decided.

#include <optional>
#include <vector>

#include "setup/cmdline/command_line_parser.h"
#include "setup/decisions/os_requirements.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/package_inspection.h"
#include "tools/setup-check/check_options.h"
#include "tools/setup-check/dry_run.h"
#include "tools/setup-check/file_identity.h"
#include "tools/setup-check/settings_scan.h"

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
  Text Startup(const char16_t* key) const { return startup.GetValue(key); }
};

struct LanguageView {
  bool reached = false;  // settings loading got as far as choosing it
  uint32_t languageId = 0;
  Text fileName, section, message1150;
  bool fallback = false;  // the language's own file is missing
  bool exists = false, hasSection = false, has1150 = false;
};

struct LanguageFileView {
  Text fileName;
  Text expectedSection;          // the section the program looks up in it
  bool nameIsLookedFor = false;  // the program's own formatting of its number gives this name
  SettingsScan scan;
};

struct OsEntryView : OsEntry {
  bool sectionFound = false;
  bool satisfied = false;  // by the system given to the check
};

struct OsView {
  size_t msiVersionKeyCount = 0;
  SystemsList list;
  bool listFound = false;
  std::vector<OsEntryView> entries;
  std::optional<bool> passes;  // as the run decided; none when it never checked
};

struct EngineView {
  bool reached = false, updateNeeded = false, installerPresent = false;
  Text installed, required;
};

struct PackageView {
  bool reached = false;  // the run inspected it
  Text path;
  bool exists = false;
  MsiResult inspection = 0;
  PackageInfo info;                            // what the inspection read (database closed)
  std::optional<bool> holdsInstanceTransform;  // the instance's Name.mst among its storages
};

struct InstanceView {
  Text file;
  bool fileExists = false;
  Text declaredName, declaredProductCode;  // what the file names, whether the run reads it or not
  bool adminUpdateMarker = false;
  std::optional<InstalledProduct> detection;
};

struct InstallView {
  bool reached = false;
  Text packagePath, modePrefix, propertyString;
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
  // What Windows shows of the files before anything runs, whatever the run decides.
  ExecutableIdentity setupExe;
  Signature packageSignature;
};

// distributionFolder is the Windows path of DIST_DIR (a final '\' optional); setup.exe is
// taken to stand in it.
Observation Observe(const CheckOptions& options, const Text& distributionFolder, const FakeModule& packageReader);

}  // namespace setup::check
