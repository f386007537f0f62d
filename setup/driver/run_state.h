#pragma once
// What one run decided, written down by the step that decides it. The later steps act on it;
// a reader that reports on a run copies it and never decides a second time.

#include <cstdint>
#include <span>
#include <vector>

#include "setup/base/text.h"
#include "setup/installer/msi_library.h"
#include "setup/platform/platform.h"

namespace setup {

// A section the run reads from a settings file, with the keys it reads there.
struct SectionRead {
  Text name;
  std::span<const char16_t* const> keys;  // names spelt once in the program
  bool anyKey = false;      // the file chooses its keys' names: versions, entries, instances
  bool ignoreCase = false;  // read by the instance reader, which compares A-Z without case
};

struct LanguageChoice {
  bool codeKnown = false;  // /l named a language of the program's table
  Text wanted;             // "0x0419": the language of the user or of /l
  Text chosen;             // the file's name without ".ini", and the section read in it
  bool fellBack = false;   // the wanted language's file is not in the folder
  bool loaded = false;     // the chosen file could be read
};

enum class EntryAnswer : uint8_t { kNotAsked, kMet, kNotMet };

// One key of the list of systems in key order: only the value "1" enables its entry.
struct OsEntry {
  Text name;
  Text value;
  bool enabled = false;
  bool sectionFound = false;
  OsRequirement requirement;
  EntryAnswer answer = EntryAnswer::kNotAsked;  // the system is asked until one entry is met
};

struct SystemsCheck {
  bool reached = false;
  size_t engineKeyCount = 0;  // keys of [MsiVersion]; only the first counts
  Text requiredEngine;        // that key: the lowest engine
  Text listSection;           // its value: the list of systems
  bool listFound = false;
  std::vector<OsEntry> entries;
  bool supported = false;
};

struct EngineCheck {
  bool reached = false;
  Text installed;  // msi.dll's product version; empty when it has none
  Text required;
  bool updateNeeded = false;
  bool installerFound = false;
  bool installerStarted = false;
};

// The query of the package inspection that failed first, in the order they are made.
enum class PackageQuery : uint8_t { kNone, kOpen, kSummary, kProductCode, kProductVersion, kKeyFile };

enum class InstalledProduct : int32_t {
  kNeither = -1,    // neither is installed in the product version, or msi.dll is unavailable
  kProduct = 1,     // productCode is installed in exactly productVersion
  kInstance = 2,    // instanceProductCode is, and productCode is not
};

struct PackageCheck {
  bool reached = false;
  MsiResult result = kMsiSuccess;
  PackageQuery failedQuery = PackageQuery::kNone;
  InstalledProduct detection = InstalledProduct::kNeither;
};

// What goes to MsiInstallProductW, composed once and read by the launch.
struct InstallPlan {
  bool composed = false;
  Text modePrefix;         // "ACTION=ADMIN ", "REMOVE=ALL " or nothing
  Text propertyString;     // everything after the prefix
  Text instanceTransform;  // "Second.mst": the transform asked for where the instance is installed
  bool instanceTransformApplied = false;
  Text languageTransformPath;  // looked for beside the program when a language is set
  bool languageTransformFound = false;

  Text CommandLine() const { return modePrefix + propertyString; }
};

struct RunState {
  std::vector<SectionRead> settingsRead;  // of Setup.ini; the instance file's are the package's
  Text packageLocation;                   // Location as written; packagePath is the folder and it
  LanguageChoice language;
  SystemsCheck systems;
  EngineCheck engine;
  PackageCheck package;
  InstallPlan plan;
  bool exitIsInstallers = false;  // the exit code is the installer's result, not the program's own
};

}  // namespace setup
