#include "tools/setup-check/findings.h"

#include <algorithm>

#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/cmdline/setup_options.h"
#include "setup/decisions/os_requirements.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/run.h"
#include "setup/driver/version_number.h"
#include "tools/setup-check/report.h"
#include "tools/setup-check/result_codes.h"

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

class Findings {
 public:
  void Error(std::string code, std::string file, size_t line, std::string message) {
    list.push_back({Severity::kError, std::move(code), std::move(file), line, std::move(message)});
  }
  void Warning(std::string code, std::string file, size_t line, std::string message) {
    list.push_back({Severity::kWarning, std::move(code), std::move(file), line, std::move(message)});
  }
  std::vector<Finding> list;
};

size_t SectionLine(const SettingsScan& scan, TextView name) {
  const ScannedSection* section = scan.Find(name);
  return section == nullptr ? 0 : section->line;
}

// "MinorVer 0" becomes the key "MinorVer 0": the likely meaning is its first word "=" the rest.
std::string WithoutEqualsMessage(const ScannedKey& key) {
  const std::string line = U(key.key);
  const size_t space = line.find_first_of(" \t:");
  const std::string meant = space == std::string::npos
                                ? line + "=..."
                                : line.substr(0, space) + "=" + line.substr(line.find_first_not_of(" \t:", space));
  return "\"" + line + "\" has no \"=\": setup.exe takes the whole line for a key with an empty value; did you mean " +
         meant + "?";
}

// A bracket anywhere starts a section, and a repeated section name is dropped whole.
void CheckDocumentShape(const SettingsScan& scan, const std::string& file, uint32_t codePage, Findings& out) {
  if (scan.utf8WithoutMark) {
    out.Warning("utf8-without-mark", file, 0,
                "UTF-8 text without a byte-order mark: setup.exe reads it in the ANSI code page, so letters "
                "beyond ASCII come out garbled; save it with a byte-order mark");
  }
  if (scan.ansiBeyondAscii) {
    out.Warning("ansi-code-page", file, 0,
                "ANSI text with characters beyond ASCII: setup.exe reads them in the target machine's ANSI code "
                "page, so they read as here (code page " +
                    std::to_string(codePage) +
                    ") only where that is the system's; save the file as UTF-8 with a byte-order mark");
  }
  for (const ScannedSection& section : scan.sections) {
    for (const ScannedKey& key : section.keys) {
      if (!key.hasEquals) out.Warning("missing-equals", file, key.line, WithoutEqualsMessage(key));
    }
  }
  for (const StrayBracket& stray : scan.strayBrackets) {
    out.Warning("bracket-in-line", file, stray.line,
                "\"[\" inside a line starts a new section there, cutting the line short: " + U(stray.lineText));
  }
  for (const ScannedSection& section : scan.sections) {
    if (!section.ignored) continue;
    out.Warning("duplicate-section", file, section.line,
                "section [" + U(section.name) + "] appears again (first at line " +
                    std::to_string(SectionLine(scan, section.name)) + "); setup.exe ignores this one");
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
    const std::string where = U(key.key) + " in [" + U(section.name) + "]";
    const std::optional<Text> meant = NearestName(key.key, known.keys);
    if (meant && !HasKey(section, *meant, known.ignoreCase)) {
      out.Error("unknown-key", SettingsName(), key.line,
                "setup.exe never reads " + where + ": did you mean " + U(*meant) +
                    "? Names count letter for letter, case included, so this value is lost");
    } else {
      out.Warning("unknown-key", SettingsName(), key.line,
                  "setup.exe never reads " + where + (meant ? "; did you mean " + U(*meant) + "?" : ""));
    }
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
    const std::string name = "[" + U(section.name) + "]";
    if (meant && scan.Find(*meant) == nullptr) {
      out.Error("unknown-section", SettingsName(), section.line,
                "setup.exe never reads " + name + ": did you mean [" + U(*meant) +
                    "]? Names count letter for letter, case included, and Setup.ini has no [" + U(*meant) + "]");
    } else {
      out.Warning("unknown-section", SettingsName(), section.line,
                  "setup.exe never reads " + name + (meant ? "; did you mean [" + U(*meant) + "]?" : ""));
    }
  }
}

bool CheckSettingsFile(const Observation& seen, Findings& out) {
  if (!seen.settings.exists) {
    out.Error("settings-missing", SettingsName(), 0,
              "Setup.ini is missing: setup.exe shows nothing, writes its usage text and ends with exit code 1");
    return false;
  }
  if (!seen.settings.scan.opened) {
    out.Error("settings-unreadable", SettingsName(), 0,
              "Setup.ini cannot be read (" + U(seen.settings.scan.openError) +
                  "): setup.exe reads ANSI, UTF-8 with a byte-order mark and UTF-16LE, and refuses UTF-16BE; "
                  "every run ends with message 1150");
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
    out.Error("product-code-mismatch", SettingsName(),
              settings.scan.LineOf(kStartupSection, kProductCodeKey).value_or(startup),
              "ProductCode \"" + U(settings.productCode) + "\" differs from the package's own \"" +
                  U(package.productCode) + "\": setup.exe asks whether the wrong product is installed");
  }
  if (CompareVersions(ParseVersion(productVersion), ParseVersion(package.productVersion)) != 0) {
    out.Error("product-version-mismatch", SettingsName(),
              settings.scan.LineOf(kStartupSection, kProductVersionKey).value_or(startup),
              "ProductVersion \"" + U(productVersion) + "\" differs from the package's own \"" +
                  U(package.productVersion) +
                  "\" (all four parts count, a missing part as -1): setup.exe never recognises the installed "
                  "product or instance");
  }
}

void CheckPackageReading(const Observation& seen, const std::string& packageFile, Findings& out) {
  const PackageView& package = seen.package;
  if (package.check.result == kMsiSuccess) return;
  // After the key file's query setup.exe reads nothing more, the instance file included.
  if (package.check.failedQuery == PackageQuery::kKeyFile) {
    if (seen.instance.declaredName.empty()) return;
    out.Warning("instances-unread", packageFile, 0,
                "the package has no File row \"" + U(kKeyFileId) +
                    "\", so setup.exe stops reading it before the instance "
                    "file: the instance \"" +
                    U(seen.instance.declaredName) + "\" of setup.ini is never used");
    return;
  }
  out.Error("package-unreadable", packageFile, 0,
            "the package cannot be read as a Windows Installer package (result " + ResultCodeText(package.check.result) +
                "); setup.exe still hands it to the installer");
}

// Where the instance is installed, setup.exe asks for the transform inside the package.
void CheckInstanceTransform(const Observation& seen, const std::string& packageFile, Findings& out) {
  const Text& transform = seen.install.plan.instanceTransform;
  if (transform.empty() || seen.package.holdsInstanceTransform != false) return;
  const std::string name = U(seen.package.info.instanceName);
  out.Error("instance-transform-missing", packageFile, 0,
            "setup.ini names the instance \"" + name + "\", but the package holds no transform " + U(transform) +
                ": where that instance is installed, setup.exe asks for TRANSFORMS=:" + U(transform) +
                "; and the installation fails");
}

void CheckPackage(const Observation& seen, Findings& out) {
  const SettingsView& settings = seen.settings;
  const SettingsScan& scan = settings.scan;
  const Text packageName = settings.Startup(kPackageNameKey);
  if (packageName.empty()) {
    out.Error("package-name-missing", SettingsName(), SectionLine(scan, kStartupSection),
              "[Startup] has no PackageName: setup.exe takes the folder itself for the package");
    return;
  }
  const ScannedSection* section = scan.Find(packageName);
  if (section == nullptr) {
    out.Error("package-section-missing", SettingsName(), scan.LineOf(kStartupSection, kPackageNameKey).value_or(0),
              "PackageName names the section [" + U(packageName) +
                  "], which Setup.ini does not have: setup.exe takes the folder itself for the package");
    return;
  }
  if (settings.location.empty()) {
    out.Error("location-missing", SettingsName(), section->line,
              "[" + U(packageName) + "] has no Location: setup.exe takes the folder itself for the package");
    return;
  }
  const std::string location = U(settings.location);
  if (!seen.package.exists) {
    out.Error("package-file-missing", SettingsName(), scan.LineOf(packageName, kLocationKey).value_or(0),
              "the package \"" + location + "\" does not exist (looked for as " + U(seen.package.path) + ")");
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
  const std::string consequence = IsNeverMet(entry.requirement)
                                      ? "this entry can never be satisfied"
                                      : "the entry asks for " + RequirementText(entry.requirement) + " instead";
  for (const TextView key : {kMajorVersionKey, kMinorVersionKey, kBuildNumberKey}) {
    const ScannedKey* found = section.KeptKey(key);
    if (found == nullptr) found = LineWithoutEquals(section, key);
    std::string message = "[" + name + "] ";
    if (found == nullptr || found->value.empty()) {
      message.append("has no ").append(U(key)).append(": ").append(consequence);
      out.Warning("os-entry-key-missing", SettingsName(), found == nullptr ? section.line : found->line, message);
    } else if (ParseVersionPart(found->value).value_or(-1) < 0) {
      message.append(U(key)).append("=").append(U(found->value)).append(" is not a whole decimal number: ");
      out.Warning("os-entry-malformed", SettingsName(), found->line, message.append(consequence));
    }
  }
}

// A word below 256 holds a minor number only: service pack 0.N, which no service pack is.
void CheckServicePack(const ScannedSection& section, const OsRequirement& requirement, Findings& out) {
  const ScannedKey* found = section.KeptKey(kServicePackKey);
  if (found == nullptr || requirement.servicePackMajor != 0 || requirement.servicePackMinor == 0) return;
  const uint16_t meant = requirement.servicePackMinor;
  out.Warning("service-pack-encoding", SettingsName(), found->line,
              "[" + U(section.name) + "] ServicePack=" + U(found->value) + " asks for service pack 0." +
                  std::to_string(meant) + "; service pack " + std::to_string(meant) + ".0 is written " +
                  std::to_string(ServicePackWord(meant, 0)));
}

// True when the entry could be met by some system.
bool CheckEntry(const OsView& os, const OsEntry& entry, const SettingsScan& scan, Findings& out) {
  const size_t line = scan.LineOf(os.listSection, entry.name).value_or(0);
  if (!entry.enabled) {
    if (entry.value == u"0") return false;  // turned off on purpose
    out.Warning("os-list-value", SettingsName(), line,
                U(entry.name) + "=" + U(entry.value) + ": only \"1\" enables an entry and \"0\" turns it off; [" +
                    U(entry.name) + "] is skipped");
    return false;
  }
  const ScannedSection* section = scan.Find(entry.name);
  if (section == nullptr) {
    out.Warning("os-entry-missing", SettingsName(), line,
                "the list enables [" + U(entry.name) + "], which Setup.ini does not have: it can never be satisfied");
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
    out.Error("msiversion-missing", SettingsName(), SectionLine(scan, kMsiVersionSection),
              "no key in [MsiVersion]: no operating system can pass, every run ends with message 1150");
    return;
  }
  const ScannedSection* msiVersion = scan.Find(kMsiVersionSection);
  for (const ScannedKey& key : msiVersion->keys) {
    if (os.engineKeyCount < 2 || key.key == os.requiredEngine) continue;
    out.Warning("msiversion-several-keys", SettingsName(), key.line,
                "[MsiVersion] has " + std::to_string(os.engineKeyCount) + " keys; only the first in key order, \"" +
                    U(os.requiredEngine) + "\", counts: \"" + U(key.key) + "\" is ignored");
  }
  if (!os.listFound) {
    out.Error("os-list-missing", SettingsName(), scan.LineOf(kMsiVersionSection, os.requiredEngine).value_or(0),
              "[MsiVersion] names the list [" + U(os.listSection) +
                  "], which Setup.ini does not have: every run ends with message 1150");
    return;
  }
  bool anySatisfiable = false;
  for (const OsEntry& entry : os.entries) anySatisfiable = CheckEntry(os, entry, scan, out) || anySatisfiable;
  if (!anySatisfiable) {
    out.Error("os-none-satisfiable", SettingsName(), SectionLine(scan, os.listSection),
              "no entry of [" + U(os.listSection) + "] can ever be satisfied: every run ends with message 1150");
  }
}

void CheckEngineUpdate(const Observation& seen, Findings& out) {
  const EngineView& engine = seen.engine;
  if (!engine.updateNeeded || engine.installerFound) return;
  out.Warning("engine-installer-missing", SettingsName(),
              seen.settings.scan.LineOf(kMsiVersionSection, seen.os.requiredEngine).value_or(0),
              "the installed engine (msi.dll " + U(engine.installed) + ") is older than " + U(engine.required) +
                  ", the first key of [MsiVersion], but " + U(kEngineInstallerName) +
                  " is not in the folder: setup.exe goes on "
                  "with the old engine, and the installation may fail");
}

void CheckLanguageFile(const LanguageFileView& file, uint32_t codePage, Findings& out) {
  const std::string name = U(file.fileName);
  if (!file.nameIsLookedFor) {
    out.Warning("language-file-name", name, 0,
                "setup.exe never looks for this name: it formats the language as " + U(file.expectedSection) + ".ini");
  }
  if (!file.scan.opened) {
    out.Warning("language-file-unreadable", name, 0, "cannot be read (" + U(file.scan.openError) + ")");
    return;
  }
  CheckDocumentShape(file.scan, name, codePage, out);
  const ScannedSection* section = file.scan.Find(file.expectedSection);
  if (section == nullptr) {
    std::string found;
    for (const ScannedSection& other : file.scan.sections)
      found += (found.empty() ? "" : ", ") + ("[" + U(other.name) + "]");
    out.Warning("language-section-mismatch", name, file.scan.sections.empty() ? 0 : file.scan.sections.front().line,
                "no section [" + U(file.expectedSection) + "] (" + (found.empty() ? "no sections" : "found " + found) +
                    "): setup.exe finds none of its messages");
    return;
  }
  if (section->KeptKey(kUnsupportedSystemMessage) == nullptr) {
    out.Warning("language-file-no-1150", name, section->line,
                "[" + U(section->name) + "] has no message 1150, the text shown when the system is not supported");
  }
}

void CheckLanguages(const Observation& seen, Findings& out) {
  const LanguageView& language = seen.language;
  // A chosen file that is there but unreadable has a finding of its own.
  if (language.reached && language.choice.fellBack && !language.choice.loaded && !language.fileFound) {
    out.Warning("language-file-missing", U(language.fileName), 0,
                "no language file for " + U(language.choice.wanted) + " and no fallback " + U(language.fileName) +
                    ": message boxes show empty texts");
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
    out.Warning("command-line-rejected", kCommandLine, 0,
                "setup.exe rejects an argument and ignores it and everything after it: " +
                    U(commandLine.parseError.substr(0, commandLine.parseError.find(u'\n'))));
  }
  // The run applies /l only once it has its settings.
  if (commandLine.languageCode && seen.settings.exists && !commandLine.languageCodeKnown) {
    const std::string code = U(*commandLine.languageCode);
    out.Warning("language-code-unknown", kCommandLine, 0,
                "/l " + code + ": " + code + " is not a language setup.exe knows; it keeps the user's language, " +
                    LanguageName(commandLine.languageId) + ", for its messages and transform");
    return;
  }
  const InstallPlan& plan = seen.install.plan;
  if (commandLine.languageCode && !plan.languageTransformPath.empty() && !plan.languageTransformFound) {
    const Text& path = plan.languageTransformPath;
    out.Warning("language-transform-missing", kCommandLine, 0,
                "/l " + U(*commandLine.languageCode) + " names the transform " +
                    U(path.substr(std::min(path.size(), seen.moduleDirectory.size()))) +
                    ", which is not in the folder: the installation runs untranslated");
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
