#include "tools/setup-check/check/report.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/decisions/os_requirements.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/run.h"
#include "setup/installer/engine_update.h"
#include "tools/setup-check/shared/result_codes.h"

namespace setup::check {
namespace {

using Json = nlohmann::ordered_json;

std::string U(TextView text) { return ToUtf8(text); }
std::string Quoted(TextView text) { return "\"" + ToUtf8(text) + "\""; }
std::string OrNone(TextView text) { return text.empty() ? "(none)" : ToUtf8(text); }
Json Hex(uint32_t value) { return U(FormatHex4(value)); }
template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(U(*value)) : Json();
}
Json OrNull(const std::optional<int32_t>& value) { return value ? Json(*value) : Json(); }
Json OrNull(const std::optional<bool>& value) { return value ? Json(*value) : Json(); }

// The report as it is described: every field once, with its JSON name and value, and where the
// text form shows it, its label and how it reads there.
class Report {
 public:
  // A part of the report: an object in JSON, a heading in text.
  void Begin(const char* key, const std::string& heading) {
    if (!heading.empty()) text_ += "\n" + heading + "\n";
    open_.push_back(&(*open_.back())[key]);
    *open_.back() = Json::object();
  }
  // A part the run never reached says so in text, and its fields stay in JSON only.
  void NotReached(bool notReached, const std::string& line) {
    if (notReached && !quiet_ && !line.empty()) Line(line);
    quiet_ = quiet_ || notReached;
  }
  void End() {
    open_.pop_back();
    quiet_ = false;
  }
  void Field(const char* key, const std::string& label, Json value, const std::string& shown) {
    Value(key, std::move(value));
    if (!label.empty()) Row(label, shown);
  }
  // A field the text shows as it is, "(none)" when empty.
  void Field(const char* key, const std::string& label, const Text& value) {
    Field(key, label, U(value), OrNone(value));
  }
  // A field only JSON has: the text says it inside another field's words, or not at all.
  void Value(const char* key, Json value) { (*open_.back())[key] = std::move(value); }
  // One more element of the array key, shown as a row of its own.
  void Item(const char* key, Json element, const std::string& label, const std::string& shown) {
    Json& array = (*open_.back())[key];
    array.push_back(std::move(element));
    if (!label.empty()) Row(label, shown);
  }
  void Row(const std::string& label, const std::string& shown) {
    if (quiet_) return;
    std::string padded = "  " + label;
    padded.resize(std::max<size_t>(padded.size() + 1, 22), ' ');
    text_ += padded + shown + "\n";
  }
  void Line(const std::string& line) { text_ += "  " + line + "\n"; }
  void Text(const std::string& lines) { text_ += lines; }

  std::string TextForm() const { return text_; }
  std::string JsonForm() const { return json_.dump(2, ' ', false, Json::error_handler_t::replace) + "\n"; }

 private:
  Json json_ = Json::object();
  std::vector<Json*> open_{&json_};
  std::string text_;
  bool quiet_ = false;
};

std::string UiLevelText(int32_t level) {
  return std::to_string(level) + (level == kUiLevelFull ? " (full)" : level == kUiLevelNone ? " (none)" : "");
}

std::string InstallModeName(InstallMode mode) {
  return mode == kAdministrativeInstall ? "administrative" : mode == kRemoval ? "removal" : "install";
}

std::string DetectionName(InstalledProduct detection) {
  return detection == InstalledProduct::kProduct    ? "product"
         : detection == InstalledProduct::kInstance ? "instance"
                                                    : "neither";
}

Json RequirementJson(const OsRequirement& r) {
  return {{"major", r.major},
          {"minor", r.minor},
          {"build", r.build},
          {"servicePackMajor", r.servicePackMajor},
          {"servicePackMinor", r.servicePackMinor}};
}

// Texts as a JSON array and as words joined by separator.
std::pair<Json, std::string> Listed(const std::vector<Text>& texts, const std::string& separator) {
  std::pair<Json, std::string> listed{Json::array(), ""};
  for (const Text& text : texts) {
    listed.first.push_back(U(text));
    listed.second += (listed.second.empty() ? "" : separator) + U(text);
  }
  return listed;
}

void DescribeAssumed(Report& report, const Observation& seen) {
  const CheckOptions& options = seen.options;
  std::vector<Text> installed;
  Json installedJson = Json::array();
  for (const InstalledProductOption& product : options.installed) {
    installed.push_back(product.productCode + u" " + product.version);
    installedJson.push_back({{"productCode", U(product.productCode)}, {"version", U(product.version)}});
  }
  const std::string engine = U(FormatVersionWords(options.engine));
  report.Value("schemaVersion", 1);
  report.Value("distribution", U(options.distribution));
  report.Value("modulePath", U(seen.modulePath));
  report.Value("assumed", {{"os", RequirementJson(options.system)},
                           {"language", Hex(options.language)},
                           {"engine", engine},
                           {"codePage", options.codePage},
                           {"installed", installedJson}});
  const std::string installedText = Listed(installed, ", ").second;
  report.Text("setup-check " + U(options.distribution) + " (setup.exe as " + U(seen.modulePath) +
              ")\nassumed: Windows " + RequirementText(options.system) + ", user language " +
              U(FormatHex4(options.language)) + ", msi.dll " + engine + ", ANSI code page " +
              std::to_string(options.codePage) + ", installed: " + (installedText.empty() ? "none" : installedText) +
              "\n");
  // What an end-to-end test compares with the installer calls of setup.exe itself.
  const InstallView& install = seen.install;
  report.Value("commandLine", install.reached ? Json(U(install.commandLine)) : Json());
  report.Value("packagePath", install.reached ? Json(U(install.packagePath)) : Json());
  report.Value("uiLevel", OrNull(install.uiLevel));
  report.Value("logPath", install.log ? Json(U(install.log->path)) : Json());
  report.Value("exitCode", seen.end.exitCode);
  report.Value("installerReached", install.reached);
}

void DescribeOptions(Report& report, const CommandLineView& view) {
  report.Begin("options", "Options as setup.exe sees them");
  report.Field("processCommandLine", "command line", U(view.processCommandLine), U(view.processCommandLine));
  const std::string parse = view.parseResult == kParseAccepted   ? "accepted"
                            : view.parseResult == kParseRejected ? "rejected"
                                                                 : "usage";
  report.Field("parse", "parse", parse,
               view.parseResult == kParseRejected
                   ? "rejected: " + U(view.parseError.substr(0, view.parseError.find(u'\n')))
               : view.parseResult == kParseHelp ? "usage asked for"
                                                : parse);
  report.Value("parseError", U(view.parseError));
  report.Field("installMode", "install mode", InstallModeName(view.installMode), InstallModeName(view.installMode));
  report.Field("uiLevel", "UI level", view.uiLevel, UiLevelText(view.uiLevel));
  const std::string code = U(view.languageCode.value_or(Text()));
  report.Field("languageId", "language", Hex(view.languageId),
               U(FormatHex4(view.languageId)) + (!view.languageCode ? " (the user's default)"
                                                 : view.languageCodeKnown
                                                     ? " (from /l " + code + ")"
                                                     : " (/l " + code + " is no code it knows: the user's)"));
  report.Value("languageOption", OrNull(view.languageCode));
  report.Value("languageOptionKnown", view.languageCodeKnown);
  report.Field("debugLog", "debug log", view.debugLogPath);
  report.Field("instanceOption", "instance", OrNull(view.instance),
               view.instance ? U(*view.instance) + " (accepted, not used by setup.exe)" : "(not given)");
  const auto [parameters, parametersText] = Listed(view.freeParameters, " ");
  report.Field("freeParameters", "free parameters", parameters, parametersText.empty() ? "(none)" : parametersText);
  report.Value("usageRequested", view.usageRequested);
  report.End();
}

void DescribeSettings(Report& report, const SettingsView& view) {
  const std::string name = U(kSettingsFileName);
  report.Begin("settings", "Settings from " + name);
  report.NotReached(!view.exists, name + " is missing");
  report.NotReached(!view.scan.opened, name + " cannot be read: " + U(view.scan.openError));
  report.Value("file", U(view.path));
  report.Value("exists", view.exists);
  report.Value("readable", view.scan.opened);
  report.Value("readError", U(view.scan.openError));
  report.Field("product", "Product", view.product);
  report.Field("productVersion", "ProductVersion", view.Startup(kProductVersionKey));
  report.Field("productCode", "ProductCode", view.productCode);
  report.Value("packageCode", U(view.packageCode));
  report.Value("logResults", U(view.Startup(kLogResultsKey)));
  report.Field("packageName", "PackageName", view.Startup(kPackageNameKey));
  report.Field("location", "Location", view.location);
  report.Field("packagePath", "package path", U(view.packagePath), U(view.packagePath));
  report.Field("cmdLine", "CmdLine", view.Startup(kCmdLineKey));
  report.Field("installProperties", "properties", U(view.installProperties),
               Quoted(view.installProperties) + " (CmdLine, then the free parameters)");
  report.End();
}

void DescribeLanguage(Report& report, const LanguageView& view) {
  report.Begin("language", "Language file");
  report.NotReached(!view.reached, "not reached: settings loading stops before choosing one");
  report.Value("reached", view.reached);
  report.Value("languageId", Hex(view.languageId));
  const LanguageChoice& choice = view.choice;
  report.Field("file", "file", U(view.fileName),
               U(view.fileName) + (choice.loaded ? "" : view.fileFound ? " (unreadable)" : " (missing)") +
                   (choice.fellBack ? " (fallback: no " + U(choice.wanted) + U(kLanguageFileExtension) + ")" : ""));
  report.Value("fallback", choice.fellBack);
  report.Value("exists", view.fileFound);
  report.Field("section", "section", U(choice.chosen),
               "[" + U(choice.chosen) + "]" + (view.hasSection ? "" : " (not in the file)"));
  report.Value("sectionFound", view.hasSection);
  report.Value("has1150", view.has1150);
  report.Field("message1150", "message 1150", U(view.message1150),
               view.has1150 ? "present: " + Quoted(view.message1150) : "missing");
  report.End();
}

std::string EntryState(const OsEntry& entry) {
  if (!entry.enabled) return "skipped (value is not \"1\")";
  if (!entry.sectionFound) return "section missing: never satisfied";
  const std::string requirement = RequirementText(entry.requirement) + ": ";
  if (IsNeverMet(entry.requirement)) return requirement + "never satisfied";
  switch (entry.answer) {
    case EntryAnswer::kMet: return requirement + "satisfied";
    case EntryAnswer::kNotMet: return requirement + "not satisfied";
    case EntryAnswer::kNotAsked: break;
  }
  return requirement + "not asked: the check ended before it";
}

Json AnswerJson(EntryAnswer answer) {
  return answer == EntryAnswer::kNotAsked ? Json() : Json(answer == EntryAnswer::kMet);
}

void DescribeOperatingSystems(Report& report, const OsView& view, const CheckOptions& options) {
  report.Begin("operatingSystems", "Operating-system entries (given system " + RequirementText(options.system) + ")");
  report.NotReached(view.engineKeyCount == 0, "[MsiVersion] has no key: no entry is looked at");
  report.Field("requiredEngine", "[MsiVersion]", U(view.requiredEngine),
               U(view.requiredEngine) + "=" + U(view.listSection) +
                   (view.engineKeyCount > 1 ? " (first of " + std::to_string(view.engineKeyCount) + " keys)" : ""));
  report.Value("msiVersionKeys", view.engineKeyCount);
  report.Value("listSection", U(view.listSection));
  report.Field("listFound", view.listFound ? "" : "[" + U(view.listSection) + "]", view.listFound, "is missing");
  report.Value("entries", Json::array());
  for (const OsEntry& entry : view.entries) {
    Json element = {{"name", U(entry.name)},
                    {"value", U(entry.value)},
                    {"enabled", entry.enabled},
                    {"sectionFound", entry.sectionFound}};
    element.update(RequirementJson(entry.requirement));
    element["neverSatisfied"] = IsNeverMet(entry.requirement);
    element["satisfied"] = AnswerJson(entry.answer);
    report.Item("entries", element, U(entry.name) + "=" + U(entry.value), EntryState(entry));
  }
  report.Field("passes", "result", view.reached ? Json(view.supported) : Json(),
               !view.reached    ? "not checked: the run ends before it"
               : view.supported ? "passes"
                                : "fails: setup.exe shows message 1150 and ends");
  report.End();
}

void DescribeEngine(Report& report, const EngineView& view, const EndView& end) {
  report.Begin("engine", "Installer engine");
  report.NotReached(!view.reached, "not reached: the run ends before the engine check");
  report.Value("reached", view.reached);
  report.Field("installed", "installed", view.installed);
  report.Field("required", "required", view.required);
  const std::string installer = U(kEngineInstallerName);
  report.Field("updateNeeded", "update", view.updateNeeded,
               !view.updateNeeded        ? "not needed"
               : !view.installerFound    ? "needed, but " + installer + " is missing: nothing runs"
               : end.programsRun.empty() ? "needed; " + installer + " is present"
                                         : "needed: " + installer + " runs");
  report.Value("installerPresent", view.installerFound);
  report.Value("installerRuns", view.installerStarted);
  report.End();
}

void DescribePackage(Report& report, const PackageView& package, const InstanceView& instance) {
  const PackageInfo& info = package.info;
  report.Begin("package", "Package and instance");
  report.NotReached(package.path.empty(), "not reached: no settings");
  const PackageCheck& check = package.check;
  report.Value("reached", check.reached);
  report.Field("path", "package", U(package.path), U(package.path) + (package.exists ? "" : " (missing)"));
  report.Value("exists", package.exists);
  report.Field("inspectionResult", "reading", check.result,
               !check.reached      ? "not reached: the run ends before it"
               : check.result == kMsiSuccess ? "complete"
                                   : "stops with result " + ResultCodeText(check.result));
  report.Value("inspectionMeaning", ResultCodeMeaning(check.result));
  report.Field("productCode", check.reached ? "ProductCode" : "", info.productCode);
  report.Field("productVersion", check.reached ? "ProductVersion" : "", info.productVersion);
  report.Value("packageCode", U(info.packageCode));
  report.Value("keyFileVersion", U(info.keyFileVersion));
  report.Value("holdsInstanceTransform", OrNull(package.holdsInstanceTransform));
  report.End();

  report.Begin("instance", "");
  report.NotReached(package.path.empty(), "");
  report.Field("file", "instance file", U(instance.file), U(instance.file) + (instance.fileExists ? "" : " (missing)"));
  report.Value("fileExists", instance.fileExists);
  report.Field("name", check.reached ? "instance" : "", U(info.instanceName),
               info.instanceName.empty()
                   ? "(none)"
                   : Quoted(info.instanceName) + ", ProductCode " + OrNone(info.instanceProductCode));
  report.Value("productCode", U(info.instanceProductCode));
  report.Value("declaredName", U(instance.declaredName));
  if (info.instanceName.empty() && !instance.declaredName.empty()) {
    report.Row("", U(kInstanceFileName) + " names " + Quoted(instance.declaredName) + ", but the run never reads it");
  }
  report.Value("declaredProductCode", U(instance.declaredProductCode));
  if (package.holdsInstanceTransform) {
    report.Row("transform", U(instance.transform) + (*package.holdsInstanceTransform ? " is" : " is not") +
                                " inside the package");
  }
  report.Field("adminUpdateMarker", U(kAdministrativeUpdateMarker), instance.adminUpdateMarker,
               instance.adminUpdateMarker ? "present: no instance is taken" : "absent");
  report.Field("detection", "installed", check.reached ? Json(DetectionName(check.detection)) : Json(),
               check.reached ? DetectionName(check.detection) : "not asked (not reached)");
  report.End();
}

void DescribeInstall(Report& report, const InstallView& view) {
  report.Begin("install", "Windows Installer call");
  report.NotReached(!view.reached, "not reached");
  report.Value("reached", view.reached);
  report.Field("packagePath", "package", U(view.packagePath), U(view.packagePath));
  const InstallPlan& plan = view.plan;
  report.Field("modePrefix", "mode prefix", U(plan.modePrefix), Quoted(plan.modePrefix));
  report.Field("propertyString", "property string", U(plan.propertyString), Quoted(plan.propertyString));
  report.Field("commandLine", ExportName(MsiEntry::kInstallProduct), U(view.commandLine),
               Quoted(view.packagePath) + ", " + Quoted(view.commandLine));
  report.Field("uiLevel", ExportName(MsiEntry::kSetInternalUI), OrNull(view.uiLevel),
               view.uiLevel ? UiLevelText(*view.uiLevel) : "not called");
  report.Field(
      "log", view.log ? ExportName(MsiEntry::kEnableLog) : "",
      view.log ? Json{{"mode", view.log->mode}, {"path", U(view.log->path)}, {"attributes", view.log->attributes}}
               : Json(),
      view.log
          ? std::to_string(view.log->mode) + ", " + Quoted(view.log->path) + ", " + std::to_string(view.log->attributes)
          : "");
  report.Value("languageTransform", plan.languageTransformPath.empty()
                                        ? Json()
                                        : Json{{"path", U(plan.languageTransformPath)}, {"found", plan.languageTransformFound}});
  report.Value("calls", view.calls);
  report.End();
}

void DescribeEnd(Report& report, const Observation& seen) {
  const EndView& view = seen.end;
  report.Begin("end", "End of the run");
  const std::string meaning = !view.exitIsInstallers ? "setup.exe ends before the installer"
                                                     : "the installer's result, here the dry run's " +
                                                           ResultCodeMeaning(static_cast<uint32_t>(view.exitCode));
  report.Value("exitCode", view.exitCode);
  report.Value("exitCodeMeaning", meaning);
  report.Value("messageBoxes", Json::array());
  for (const MessageBoxCall& box : view.messageBoxes) {
    report.Item("messageBoxes", {{"text", U(box.text)}, {"caption", U(box.caption)}, {"style", box.style}},
                "message box",
                Quoted(box.text) + " (caption " + Quoted(box.caption) + ", style " + U(FormatHex4(box.style)) + ")");
  }
  report.Field("standardOutput", view.standardOutput.empty() ? "" : "standard output", U(view.standardOutput),
               "the usage text");
  report.Value("programsRun", Listed(view.programsRun, "").first);
  report.Row("exit code", std::to_string(view.exitCode) + " (" + meaning + ")");
  report.End();
}

// A file's signature, its fields and a row of words (none where the file is not there):
// SmartScreen names the publisher of a signed file and warns of an unknown one otherwise.
// Windows words its verdict in the user's language where it can.
void DescribeSignature(Report& report, const Signature& signature, const std::string& label) {
  const std::optional<uint32_t>& result = signature.verification;
  const Text systemWords = TrimWhitespace(signature.verdict);  // FormatMessage ends it with CR LF
  const std::string meaning = !result ? "" : systemWords.empty() ? ResultCodeMeaning(*result) : U(systemWords);
  report.Value("signed", signature.present);
  report.Value("verification", result ? Json(*result) : Json());
  report.Value("verificationMeaning", meaning);
  std::string words = signature.present ? "present" : "none: Windows names no publisher";
  if (!result) {
    words += signature.present ? " (only Windows judges it)" : "";
  } else {
    if (signature.present) words += *result == 0 ? "; Windows trusts it" : ", but Windows does not trust it";
    if (*result != 0) words += " (" + U(FormatHex4(*result)) + ": " + meaning + ")";
  }
  if (!label.empty()) report.Row(label, words);
}

// What the architecture means to whoever starts setup.exe: an x86 program starts on every Windows
// (through WoW64 on 64-bit Windows, by emulation on Arm), a 64-bit one never on 32-bit Windows.
std::string ArchitectureWords(const std::optional<Text>& architecture) {
  if (!architecture) return "none: not a Windows program";
  if (*architecture == u"x86") return "x86, 32-bit: starts on 32- and 64-bit Windows";
  if (*architecture == u"x64") return "x64, 64-bit: does not start on 32-bit Windows";
  if (*architecture == u"arm64") return "arm64: starts on Arm Windows only";
  return U(*architecture);
}

void DescribeFiles(Report& report, const Observation& seen, const FileIdentities& files) {
  const ExecutableIdentity& program = files.setupExe;
  report.Begin("files", "What Windows shows of the files");
  report.Begin("setupExe", "");
  report.Value("path", U(seen.modulePath));
  report.Value("exists", program.exists);
  report.Value("architecture", OrNull(program.architecture));
  report.Value("versionResource", program.version.has_value());
  const VersionResource version = program.version.value_or(VersionResource());
  report.Value("productName", U(version.productName));
  report.Value("productVersion", U(version.productVersion));
  report.Value("fileVersion", U(version.fileVersion));
  report.Value("companyName", U(version.companyName));
  report.Value("fileDescription", U(version.fileDescription));
  const std::string company = version.companyName.empty() ? "" : ", " + U(version.companyName);
  report.Row(U(kProgramFileName), !program.exists    ? "not in the folder"
                          : !program.version ? "no version resource: Explorer shows no name or version"
                                             : Quoted(version.productName) + " " + U(version.productVersion) + company +
                                                   " (file version " + U(version.fileVersion) + ", " +
                                                   Quoted(version.fileDescription) + ")");
  if (program.exists) report.Row("architecture", ArchitectureWords(program.architecture));
  DescribeSignature(report, program.signature, program.exists ? "signature" : "");
  report.End();
  report.Begin("package", "");
  report.Value("path", U(seen.package.path));
  report.Value("exists", seen.package.exists);
  DescribeSignature(report, files.packageSignature, seen.package.exists ? "package signature" : "");
  report.End();
  report.End();
}

void DescribeFindings(Report& report, const std::vector<Finding>& findings) {
  report.Text("\nProblems\n");
  report.Value("findings", Json::array());
  size_t errors = 0;
  for (const Finding& finding : findings) {
    const bool error = finding.severity == Severity::kError;
    errors += error ? 1 : 0;
    report.Item("findings",
                {{"severity", error ? "error" : "warning"},
                 {"code", finding.code},
                 {"file", finding.file},
                 {"line", finding.line == 0 ? Json() : Json(finding.line)},
                 {"message", finding.message}},
                "", "");
    const std::string where = finding.file + (finding.line == 0 ? "" : ":" + std::to_string(finding.line));
    report.Line(std::string(error ? "error   " : "warning ") + where + ": " + finding.message + " [" + finding.code +
                "]");
  }
  const size_t warnings = findings.size() - errors;
  report.Line(findings.empty() ? "none"
                               : std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
                                     std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings"));
  report.Value("summary", {{"errors", errors}, {"warnings", warnings}, {"exitCode", ExitCodeFor(findings)}});
}

Report Describe(const CheckResult& result) {
  const Observation& seen = result.seen;
  Report report;
  DescribeAssumed(report, seen);
  DescribeOptions(report, seen.commandLine);
  DescribeSettings(report, seen.settings);
  DescribeLanguage(report, seen.language);
  DescribeOperatingSystems(report, seen.os, seen.options);
  DescribeEngine(report, seen.engine, seen.end);
  DescribePackage(report, seen.package, seen.instance);
  DescribeInstall(report, seen.install);
  DescribeEnd(report, seen);
  DescribeFiles(report, seen, result.files);
  DescribeFindings(report, result.findings);
  return report;
}

}  // namespace

std::string RequirementText(const OsRequirement& r) {
  return std::to_string(r.major) + "." + std::to_string(r.minor) + "." + std::to_string(r.build) + " SP " +
         std::to_string(r.servicePackMajor) + "." + std::to_string(r.servicePackMinor);
}

std::string TextReport(const CheckResult& result) { return Describe(result).TextForm(); }

std::string JsonReport(const CheckResult& result) { return Describe(result).JsonForm(); }

}  // namespace setup::check
