#include "tools/setup-check/check/findings.h"

#include <algorithm>

#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/cmdline/setup_options.h"
#include "setup/decisions/os_requirements.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/run.h"
#include "setup/driver/version_number.h"
#include "tools/setup-check/check/finding_kinds.h"
#include "tools/setup-check/check/report.h"
#include "tools/setup-check/shared/fill.h"
#include "tools/setup-check/shared/result_codes.h"

namespace setup::check {
namespace {

const std::string& SettingsName() {
  static const std::string name = ToUtf8(kSettingsFileName);
  return name;
}
constexpr char kCommandLine[] = "command line";

std::string U(TextView text) { return ToUtf8(text); }

// Edits that turn a into b: a letter inserted, removed, replaced, or two neighbours swapped; the
// case of A-Z does not count.
size_t EditDistance(TextView a, TextView b) {
  const auto same = [](char16_t x, char16_t y) { return FoldAsciiCase(x) == FoldAsciiCase(y); };
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same(a[i - 1], b[j - 1]) ? 0 : 1)});
      if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

using Holes = std::initializer_list<std::pair<std::string_view, std::string>>;

class Findings {
 public:
  void Add(KindOfOneSeverity named, std::string file, size_t line, Holes holes = {}) {
    const FindingKind& kind = *named.kind;
    Push(kind, kind.severity == KindSeverity::kError ? Severity::kError : Severity::kWarning, std::move(file), line,
         holes);
  }
  // Only the call knows whether the name is a near miss, which loses a setting, or mere clutter.
  void Add(KindOfEitherSeverity named, Severity severity, std::string file, size_t line, Holes holes) {
    Push(*named.kind, severity, std::move(file), line, holes);
  }
  std::vector<Finding> list;

 private:
  void Push(const FindingKind& kind, Severity severity, std::string file, size_t line, Holes holes) {
    list.push_back({severity, std::string(kind.code), std::move(file), line, Fill(kind.message, holes)});
  }
};

size_t SectionLine(const SettingsScan& scan, TextView name) {
  const ScannedSection* section = scan.Find(name);
  return section == nullptr ? 0 : section->line;
}

// "MinorVer 0" becomes the key "MinorVer 0": the likely meaning is its first word "=" the rest.
std::string MeantLine(const std::string& line) {
  const size_t space = line.find_first_of(" \t:");
  return space == std::string::npos ? line + "=..."
                                    : line.substr(0, space) + "=" + line.substr(line.find_first_not_of(" \t:", space));
}

// A bracket anywhere starts a section, and a repeated section name is dropped whole.
void CheckDocumentShape(const SettingsScan& scan, const std::string& file, uint32_t codePage, Findings& out) {
  if (scan.utf8WithoutMark) out.Add("utf8-without-mark", file, 0);
  if (scan.ansiBeyondAscii) out.Add("ansi-code-page", file, 0, {{"{codePage}", std::to_string(codePage)}});
  for (const ScannedSection& section : scan.sections) {
    for (const ScannedKey& key : section.keys) {
      if (key.hasEquals) continue;
      const std::string line = U(key.key);
      out.Add("missing-equals", file, key.line, {{"{line}", line}, {"{meant}", MeantLine(line)}});
    }
  }
  for (const StrayBracket& stray : scan.strayBrackets)
    out.Add("bracket-in-line", file, stray.line, {{"{line}", U(stray.lineText)}});
  for (const ScannedSection& section : scan.sections) {
    if (!section.ignored) continue;
    out.Add("duplicate-section", file, section.line,
            {{"{section}", U(section.name)}, {"{first}", std::to_string(SectionLine(scan, section.name))}});
  }
}

// The instance reader folds A-Z; the settings reader compares names exactly.
bool SameName(TextView a, TextView b, bool ignoreCase) {
  return a == b || (ignoreCase && EqualsIgnoringAsciiCase(a, b));
}

// A section setup.exe reads, with the keys it reads there.
struct KnownSection {
  Text name;
  std::vector<Text> keys;
  bool anyKey = false;      // its keys are names the file chooses (versions, entries, instances)
  bool ignoreCase = false;  // read by the instance reader, which ignores the case of A-Z
};

struct KnownSections : std::vector<KnownSection> {
  void Add(const Text& name, std::vector<Text> keys, bool anyKey = false, bool ignoreCase = false) {
    if (name.empty()) return;
    if (KnownSection* known = Find(name)) {
      known->keys.insert(known->keys.end(), keys.begin(), keys.end());
      known->anyKey = known->anyKey || anyKey;
      return;
    }
    push_back({name, std::move(keys), anyKey, ignoreCase});
  }
  KnownSection* Find(TextView name) {
    const auto found =
        std::find_if(begin(), end(), [&](const KnownSection& k) { return SameName(k.name, name, k.ignoreCase); });
    return found == end() ? nullptr : &*found;
  }
};

// Everything setup.exe read of Setup.ini, as the run noted it.
KnownSections SectionsRead(const std::vector<SectionRead>& read) {
  KnownSections known;
  for (const SectionRead& section : read)
    known.Add(section.name, {section.keys.begin(), section.keys.end()}, section.anyKey, section.ignoreCase);
  return known;
}

bool HasKey(const ScannedSection& section, TextView key, bool ignoreCase) {
  return std::any_of(section.keys.begin(), section.keys.end(),
                     [&](const ScannedKey& scanned) { return SameName(scanned.key, key, ignoreCase); });
}

// A near miss of a name the file lacks loses a setting: an error. Anything else only clutters.
void CheckKeys(const ScannedSection& section, const KnownSection& known, Findings& out) {
  if (known.anyKey) return;
  for (const ScannedKey& key : section.keys) {
    if (!key.hasEquals) continue;
    const bool read = std::any_of(known.keys.begin(), known.keys.end(),
                                  [&](const Text& name) { return SameName(name, key.key, known.ignoreCase); });
    if (read) continue;
    const std::optional<Text> meant = NearestName(key.key, known.keys);
    const bool nearMiss = meant && !HasKey(section, *meant, known.ignoreCase);
    const std::string tail =
        meant ? Fill(nearMiss ? hint::kKeyNearMiss : hint::kKeyGuess, {{"{meant}", U(*meant)}}) : "";
    out.Add("unknown-key", nearMiss ? Severity::kError : Severity::kWarning, SettingsName(), key.line,
            {{"{key}", U(key.key)}, {"{section}", U(section.name)}, {"{hint}", tail}});
  }
}

// With [Startup] misspelt, its PackageName still tells which section was meant for the package.
Text IntendedPackageName(const SettingsScan& scan, const Text& packageName) {
  if (!packageName.empty() || scan.Find(kStartupSection) != nullptr) return packageName;
  for (const ScannedSection& section : scan.sections) {
    if (section.ignored || NearestName(section.name, {kStartupSection}) == std::nullopt) continue;
    for (const ScannedKey& key : section.keys) {
      if (key.key == kPackageNameKey) return key.value;
    }
  }
  return packageName;
}

void CheckNames(const SettingsView& settings, Findings& out) {
  const SettingsScan& scan = settings.scan;
  KnownSections known = SectionsRead(settings.read);
  const Text packageName = settings.Startup(kPackageNameKey);
  if (const Text intended = IntendedPackageName(scan, packageName); intended != packageName) known.Add(intended, {kLocationKey});
  std::vector<Text> names;
  for (const KnownSection& read : known) names.push_back(read.name);
  for (const ScannedSection& section : scan.sections) {
    if (section.ignored) continue;
    if (const KnownSection* read = known.Find(section.name)) {
      CheckKeys(section, *read, out);
      continue;
    }
    const std::optional<Text> meant = NearestName(section.name, names);
    const bool nearMiss = meant && scan.Find(*meant) == nullptr;
    const std::string tail =
        meant ? Fill(nearMiss ? hint::kSectionNearMiss : hint::kSectionGuess, {{"{meant}", U(*meant)}}) : "";
    out.Add("unknown-section", nearMiss ? Severity::kError : Severity::kWarning, SettingsName(), section.line,
            {{"{section}", U(section.name)}, {"{hint}", tail}});
  }
}

bool CheckSettingsFile(const Observation& seen, Findings& out) {
  if (!seen.settings.exists) {
    out.Add("settings-missing", SettingsName(), 0);
    return false;
  }
  if (!seen.settings.scan.opened) {
    out.Add("settings-unreadable", SettingsName(), 0, {{"{error}", U(seen.settings.scan.openError)}});
    return false;
  }
  CheckDocumentShape(seen.settings.scan, SettingsName(), seen.options.codePage, out);
  return true;
}

void CheckPackageIdentity(const Observation& seen, Findings& out) {
  const SettingsView& settings = seen.settings;
  const PackageInfo& package = seen.package.info;
  if (package.productCode.empty()) return;
  const size_t startup = SectionLine(settings.scan, kStartupSection);
  const Text productVersion = settings.Startup(kProductVersionKey);
  if (settings.productCode != package.productCode) {
    out.Add("product-code-mismatch", SettingsName(),
            settings.scan.LineOf(kStartupSection, kProductCodeKey).value_or(startup),
            {{"{ours}", U(settings.productCode)}, {"{package}", U(package.productCode)}});
  }
  if (CompareVersions(ParseVersion(productVersion), ParseVersion(package.productVersion)) != 0) {
    out.Add("product-version-mismatch", SettingsName(),
            settings.scan.LineOf(kStartupSection, kProductVersionKey).value_or(startup),
            {{"{ours}", U(productVersion)}, {"{package}", U(package.productVersion)}});
  }
}

void CheckPackageReading(const Observation& seen, const std::string& packageFile, Findings& out) {
  const PackageView& package = seen.package;
  if (package.check.result == kMsiSuccess) return;
  // After the key file's query setup.exe reads nothing more, the instance file included.
  if (package.check.failedQuery == PackageQuery::kKeyFile) {
    if (seen.instance.declaredName.empty()) return;
    out.Add("instances-unread", packageFile, 0,
            {{"{file}", U(kKeyFileId)}, {"{instance}", U(seen.instance.declaredName)}});
    return;
  }
  out.Add("package-unreadable", packageFile, 0, {{"{result}", ResultCodeText(package.check.result)}});
}

// Where the instance is installed, setup.exe asks for the transform inside the package.
void CheckInstanceTransform(const Observation& seen, const std::string& packageFile, Findings& out) {
  const Text& transform = seen.install.plan.instanceTransform;
  if (transform.empty() || seen.package.holdsInstanceTransform != false) return;
  out.Add("instance-transform-missing", packageFile, 0,
          {{"{instance}", U(seen.package.info.instanceName)}, {"{transform}", U(transform)}});
}

void CheckPackage(const Observation& seen, Findings& out) {
  const SettingsView& settings = seen.settings;
  const SettingsScan& scan = settings.scan;
  const Text packageName = settings.Startup(kPackageNameKey);
  if (packageName.empty()) {
    out.Add("package-name-missing", SettingsName(), SectionLine(scan, kStartupSection));
    return;
  }
  const ScannedSection* section = scan.Find(packageName);
  if (section == nullptr) {
    out.Add("package-section-missing", SettingsName(), scan.LineOf(kStartupSection, kPackageNameKey).value_or(0),
            {{"{section}", U(packageName)}});
    return;
  }
  if (settings.location.empty()) {
    out.Add("location-missing", SettingsName(), section->line, {{"{section}", U(packageName)}});
    return;
  }
  const std::string location = U(settings.location);
  if (!seen.package.exists) {
    out.Add("package-file-missing", SettingsName(), scan.LineOf(packageName, kLocationKey).value_or(0),
            {{"{location}", location}, {"{path}", U(seen.package.path)}});
    return;
  }
  if (!seen.package.check.reached) return;
  CheckPackageReading(seen, location, out);
  CheckPackageIdentity(seen, out);
  CheckInstanceTransform(seen, location, out);
}

// "MinorVer 0": the line meant for the key, which the reader took whole.
const ScannedKey* LineWithoutEquals(const ScannedSection& section, TextView key) {
  for (const ScannedKey& scanned : section.keys) {
    if (!scanned.hasEquals && scanned.key.starts_with(key)) return &scanned;
  }
  return nullptr;
}

// A missing or malformed number makes that part and all after it 0xFFFFFFFF, which no system
// meets; a dotted one shifts the parts after it instead.
void CheckEntryNumbers(const ScannedSection& section, const OsEntry& entry, Findings& out) {
  const std::string name = U(section.name);
  const std::string consequence =
      IsNeverMet(entry.requirement)
          ? std::string(hint::kNeverMet)
          : Fill(hint::kAsksInstead, {{"{requirement}", RequirementText(entry.requirement)}});
  for (const TextView key : {kMajorVersionKey, kMinorVersionKey, kBuildNumberKey}) {
    const ScannedKey* found = section.KeptKey(key);
    if (found == nullptr) found = LineWithoutEquals(section, key);
    if (found == nullptr || found->value.empty()) {
      out.Add("os-entry-key-missing", SettingsName(), found == nullptr ? section.line : found->line,
              {{"{entry}", name}, {"{key}", U(key)}, {"{consequence}", consequence}});
    } else if (ParseVersionPart(found->value).value_or(-1) < 0) {
      out.Add("os-entry-malformed", SettingsName(), found->line,
              {{"{entry}", name}, {"{key}", U(key)}, {"{value}", U(found->value)}, {"{consequence}", consequence}});
    }
  }
}

// A word below 256 holds a minor number only: service pack 0.N, which no service pack is.
void CheckServicePack(const ScannedSection& section, const OsRequirement& requirement, Findings& out) {
  const ScannedKey* found = section.KeptKey(kServicePackKey);
  if (found == nullptr || requirement.servicePackMajor != 0 || requirement.servicePackMinor == 0) return;
  const uint16_t meant = requirement.servicePackMinor;
  out.Add("service-pack-encoding", SettingsName(), found->line,
          {{"{entry}", U(section.name)},
           {"{value}", U(found->value)},
           {"{number}", std::to_string(meant)},
           {"{word}", std::to_string(ServicePackWord(meant, 0))}});
}

// True when the entry could be met by some system.
bool CheckEntry(const OsView& os, const OsEntry& entry, const SettingsScan& scan, Findings& out) {
  const size_t line = scan.LineOf(os.listSection, entry.name).value_or(0);
  if (!entry.enabled) {
    if (entry.value == u"0") return false;  // turned off on purpose
    out.Add("os-list-value", SettingsName(), line, {{"{entry}", U(entry.name)}, {"{value}", U(entry.value)}});
    return false;
  }
  const ScannedSection* section = scan.Find(entry.name);
  if (section == nullptr) {
    out.Add("os-entry-missing", SettingsName(), line, {{"{entry}", U(entry.name)}});
    return false;
  }
  CheckEntryNumbers(*section, entry, out);
  CheckServicePack(*section, entry.requirement, out);
  return !IsNeverMet(entry.requirement);
}

void CheckOperatingSystems(const Observation& seen, Findings& out) {
  const OsView& os = seen.os;
  const SettingsScan& scan = seen.settings.scan;
  if (os.engineKeyCount == 0) {
    out.Add("msiversion-missing", SettingsName(), SectionLine(scan, kMsiVersionSection));
    return;
  }
  const ScannedSection* msiVersion = scan.Find(kMsiVersionSection);
  for (const ScannedKey& key : msiVersion->keys) {
    if (os.engineKeyCount < 2 || key.key == os.requiredEngine) continue;
    out.Add("msiversion-several-keys", SettingsName(), key.line,
            {{"{count}", std::to_string(os.engineKeyCount)}, {"{first}", U(os.requiredEngine)}, {"{key}", U(key.key)}});
  }
  if (!os.listFound) {
    out.Add("os-list-missing", SettingsName(), scan.LineOf(kMsiVersionSection, os.requiredEngine).value_or(0),
            {{"{list}", U(os.listSection)}});
    return;
  }
  bool anySatisfiable = false;
  for (const OsEntry& entry : os.entries) anySatisfiable = CheckEntry(os, entry, scan, out) || anySatisfiable;
  if (!anySatisfiable) {
    out.Add("os-none-satisfiable", SettingsName(), SectionLine(scan, os.listSection), {{"{list}", U(os.listSection)}});
  }
}

void CheckEngineUpdate(const Observation& seen, Findings& out) {
  const EngineView& engine = seen.engine;
  if (!engine.updateNeeded || engine.installerFound) return;
  out.Add("engine-installer-missing", SettingsName(),
          seen.settings.scan.LineOf(kMsiVersionSection, seen.os.requiredEngine).value_or(0),
          {{"{installed}", U(engine.installed)}, {"{required}", U(engine.required)},
           {"{installer}", U(kEngineInstallerName)}});
}

void CheckLanguageFile(const LanguageFileView& file, uint32_t codePage, Findings& out) {
  const std::string name = U(file.fileName);
  if (!file.nameIsLookedFor) out.Add("language-file-name", name, 0, {{"{section}", U(file.expectedSection)}});
  if (!file.scan.opened) {
    out.Add("language-file-unreadable", name, 0, {{"{error}", U(file.scan.openError)}});
    return;
  }
  CheckDocumentShape(file.scan, name, codePage, out);
  const ScannedSection* section = file.scan.Find(file.expectedSection);
  if (section == nullptr) {
    std::string found;
    for (const ScannedSection& other : file.scan.sections)
      found += (found.empty() ? "" : ", ") + ("[" + U(other.name) + "]");
    const std::string instead =
        found.empty() ? std::string(hint::kNoSections) : Fill(hint::kFoundSections, {{"{sections}", found}});
    out.Add("language-section-mismatch", name, file.scan.sections.empty() ? 0 : file.scan.sections.front().line,
            {{"{section}", U(file.expectedSection)}, {"{found}", instead}});
    return;
  }
  if (section->KeptKey(kUnsupportedSystemMessage) == nullptr) {
    out.Add("language-file-no-1150", name, section->line, {{"{section}", U(section->name)}});
  }
}

void CheckLanguages(const Observation& seen, Findings& out) {
  const LanguageView& language = seen.language;
  // A chosen file that is there but unreadable has a finding of its own.
  if (language.reached && language.choice.fellBack && !language.choice.loaded && !language.fileFound) {
    out.Add("language-file-missing", U(language.fileName), 0,
            {{"{wanted}", U(language.choice.wanted)}, {"{file}", U(language.fileName)}});
  }
  for (const LanguageFileView& file : seen.languageFiles) CheckLanguageFile(file, seen.options.codePage, out);
}

// "English (0x0409)" for a language of setup.exe's /l table; "0x0c0a" for others.
std::string LanguageName(uint32_t languageId) {
  std::string hex = ToUtf8(FormatHex4(languageId));
  for (const LanguageCode& language : kLanguageCodes) {
    if (language.languageId == languageId) return std::string(language.englishName) + " (" + hex + ")";
  }
  return hex;
}

void CheckCommandLine(const Observation& seen, Findings& out) {
  const CommandLineView& commandLine = seen.commandLine;
  if (commandLine.parseResult == kParseRejected) {
    out.Add("command-line-rejected", kCommandLine, 0,
            {{"{error}", U(commandLine.parseError.substr(0, commandLine.parseError.find(u'\n')))}});
  }
  // The run applies /l only once it has its settings.
  if (commandLine.languageCode && seen.settings.exists && !commandLine.languageCodeKnown) {
    out.Add("language-code-unknown", kCommandLine, 0,
            {{"{code}", U(*commandLine.languageCode)}, {"{language}", LanguageName(commandLine.languageId)}});
    return;
  }
  const InstallPlan& plan = seen.install.plan;
  if (commandLine.languageCode && !plan.languageTransformPath.empty() && !plan.languageTransformFound) {
    const Text& path = plan.languageTransformPath;
    out.Add("language-transform-missing", kCommandLine, 0,
            {{"{code}", U(*commandLine.languageCode)},
             {"{transform}", U(path.substr(std::min(path.size(), seen.moduleDirectory.size())))}});
  }
}

}  // namespace

std::vector<Finding> FindProblems(const Observation& seen) {
  Findings out;
  CheckCommandLine(seen, out);
  if (CheckSettingsFile(seen, out)) {
    CheckNames(seen.settings, out);
    CheckPackage(seen, out);
    CheckOperatingSystems(seen, out);
    CheckEngineUpdate(seen, out);
  }
  CheckLanguages(seen, out);
  return out.list;
}

std::optional<Text> NearestName(TextView name, const std::vector<Text>& known) {
  std::optional<Text> nearest;
  size_t best = 0;
  for (const Text& candidate : known) {
    const size_t distance = EditDistance(name, candidate);
    const size_t allowed = std::min(name.size(), candidate.size()) <= 4 ? 1 : 2;
    if (distance > allowed || (nearest && distance >= best)) continue;
    nearest = candidate;
    best = distance;
  }
  return nearest;
}

CheckExitCode ExitCodeFor(const std::vector<Finding>& findings) {
  CheckExitCode code = kCheckClean;
  for (const Finding& finding : findings)
    code = std::max(code, finding.severity == Severity::kError ? kCheckErrors : kCheckWarnings);
  return code;
}

}  // namespace setup::check
