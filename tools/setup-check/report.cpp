#include "tools/setup-check/report.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "setup/base/numbers.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/run.h"
#include "setup/installer/engine_update.h"
#include "tools/setup-check/result_codes.h"

namespace setup::check {
namespace {

using Json = nlohmann::ordered_json;

std::string U(TextView text) { return ToUtf8(text); }
std::string Quoted(TextView text) { return "\"" + ToUtf8(text) + "\""; }
std::string OrNone(TextView text) { return text.empty() ? "(none)" : ToUtf8(text); }
Json Hex(uint32_t value) { return U(FormatHex4(value)); }
template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json();
}

// The report as it is described: every field once, with its JSON name and value, and where
// the text form shows it, its label and how it reads there.
class Report {
 public:
  Report() : open_{&json_} {}

  // A part of the report: an object in JSON, a heading in text.
  void Begin(const char* key, const std::string& heading) {
    if (!heading.empty()) text_ += (text_.empty() ? "" : "\n") + heading + "\n";
    open_.push_back(&(*open_.back())[key]);
    *open_.back() = Json::object();
  }
  void End() { open_.pop_back(); }
  // A field both forms show; the text leaves out a field without a label.
  void Field(const char* key, const std::string& label, Json value, const std::string& shown) {
    Value(key, std::move(value));
    if (!label.empty()) Row(label, shown);
  }
  // A field only JSON has: the text says it inside another field's words.
  void Value(const char* key, Json value) { (*open_.back())[key] = std::move(value); }
  // One more element of the array key, shown as a row of its own.
  void Item(const char* key, Json element, const std::string& label, const std::string& shown) {
    Json& array = (*open_.back())[key];
    if (!array.is_array()) array = Json::array();
    array.push_back(std::move(element));
    if (!label.empty()) Row(label, shown);
  }
  void Row(const std::string& label, const std::string& shown) {
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
  std::vector<Json*> open_;
  std::string text_;
};

std::string UiLevelText(int32_t level) {
  return std::to_string(level) + (level == kUiLevelFull ? " (full)" : level == kUiLevelNone ? " (none)" : "");
}

std::string InstallModeName(InstallMode installMode) {
  switch (installMode) {
    case kAdministrativeInstall: return "administrative";
    case kRemoval: return "removal";
    default: return "install";
  }
}

std::string DetectionName(InstalledProduct detection) {
  switch (detection) {
    case InstalledProduct::kProduct: return "product";
    case InstalledProduct::kInstance: return "instance";
    default: return "neither";
  }
}

std::string ParseName(ParseResult result) {
  return result == kParseAccepted ? "accepted" : result == kParseRejected ? "rejected" : "usage";
}

std::string FirstLine(TextView text) { return U(text.substr(0, text.find(u'\n'))); }

Json RequirementJson(const OsRequirement& r) {
  return {{"major", r.major}, {"minor", r.minor}, {"build", r.build},
          {"servicePackMajor", r.servicePackMajor}, {"servicePackMinor", r.servicePackMinor}};
}

void DescribeAssumed(Report& report, const Observation& seen) {
  const CheckOptions& options = seen.options;
  Json installed = Json::array();
  std::string installedText;
  for (const InstalledProductOption& product : options.installed) {
    installed.push_back({{"productCode", U(product.productCode)}, {"version", U(product.version)}});
    installedText += (installedText.empty() ? "" : ", ") + U(product.productCode) + " " + U(product.version);
  }
  report.Value("schemaVersion", 1);
  report.Value("distribution", U(options.distribution));
  report.Value("modulePath", U(seen.modulePath));
  report.Text("setup-check " + U(options.distribution) + " (setup.exe as " + U(seen.modulePath) + ")\n");
  report.Begin("assumed", "");
  report.Value("os", RequirementJson(options.system));
  report.Value("language", Hex(options.language));
  report.Value("engine", U(FormatVersionWords(options.engine)));
  report.Value("codePage", options.codePage);
  report.Value("installed", installed);
  report.End();
  report.Text("assumed: Windows " + RequirementText(options.system) + ", user language " + U(FormatHex4(options.language)) +
              ", msi.dll " + U(FormatVersionWords(options.engine)) + ", ANSI code page " +
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
  report.Field("parse", "parse", ParseName(view.parseResult),
               view.parseResult == kParseRejected ? "rejected: " + FirstLine(view.parseError)
               : view.parseResult == kParseHelp   ? "usage asked for"
                                                  : "accepted");
  report.Value("parseError", U(view.parseError));
  report.Field("installMode", "install mode", InstallModeName(view.installMode), InstallModeName(view.installMode));
  report.Field("uiLevel", "UI level", view.uiLevel, UiLevelText(view.uiLevel));
  const std::string code = view.languageCode ? U(*view.languageCode) : std::string();
  report.Field("languageId", "language", Hex(view.languageId),
               U(FormatHex4(view.languageId)) +
                   (!view.languageCode        ? " (the user's default)"
                    : view.languageCodeKnown ? " (from /l " + code + ")"
                                             : " (/l " + code + " is no code it knows: the user's)"));
  report.Value("languageOption", view.languageCode ? Json(code) : Json());
  report.Value("languageOptionKnown", view.languageCodeKnown);
  report.Field("debugLog", "debug log", U(view.debugLogPath), OrNone(view.debugLogPath));
  report.Field("instanceOption", "instance", view.instance ? Json(U(*view.instance)) : Json(),
               view.instance ? U(*view.instance) + " (accepted, not used by setup.exe)" : "(not given)");
  Json parameters = Json::array();
  std::string parametersText;
  for (const Text& parameter : view.freeParameters) {
    parameters.push_back(U(parameter));
    parametersText += (parametersText.empty() ? "" : " ") + U(parameter);
  }
  report.Field("freeParameters", "free parameters", parameters, parametersText.empty() ? "(none)" : parametersText);
  report.Value("usageRequested", view.usageRequested);
  report.End();
}

void DescribeSettings(Report& report, const SettingsView& view) {
  report.Begin("settings", "Settings from " + U(kSettingsFileName));
  report.Value("file", U(view.path));
  report.Value("exists", view.exists);
  report.Value("readable", view.scan.opened);
  report.Value("readError", U(view.scan.openError));
  if (!view.exists) report.Line(U(kSettingsFileName) + " is missing");
  if (view.exists && !view.scan.opened) report.Line(U(kSettingsFileName) + " cannot be read: " + U(view.scan.openError));
  const bool shown = view.exists && view.scan.opened;
  const auto field = [&](const char* key, const char* label, const Text& value) {
    report.Field(key, shown ? label : "", U(value), shown ? OrNone(value) : "");
  };
  field("product", "Product", view.product);
  field("productVersion", "ProductVersion", view.Startup(kProductVersionKey));
  field("productCode", "ProductCode", view.productCode);
  report.Value("packageCode", U(view.packageCode));
  report.Value("logResults", U(view.Startup(kLogResultsKey)));
  field("packageName", "PackageName", view.Startup(kPackageNameKey));
  field("location", "Location", view.location);
  report.Field("packagePath", shown ? "package path" : "", U(view.packagePath), shown ? U(view.packagePath) : "");
  field("cmdLine", "CmdLine", view.Startup(kCmdLineKey));
  report.Field("installProperties", shown ? "properties" : "", U(view.installProperties),
               shown ? Quoted(view.installProperties) + " (CmdLine, then the free parameters)" : "");
  report.End();
}

void DescribeLanguage(Report& report, const LanguageView& view) {
  report.Begin("language", "Language file");
  report.Value("reached", view.reached);
  if (!view.reached) report.Line("not reached: settings loading stops before choosing one");
  report.Value("languageId", Hex(view.languageId));
  report.Field("file", view.reached ? "file" : "", U(view.fileName),
               view.reached ? U(view.fileName) + (view.exists ? "" : " (missing)") +
                                  (view.fallback ? " (fallback: no " + U(FormatHex4(view.languageId)) + ".ini)" : "")
                            : "");
  report.Value("fallback", view.fallback);
  report.Value("exists", view.exists);
  report.Field("section", view.reached ? "section" : "", U(view.section),
               view.reached ? "[" + U(view.section) + "]" + (view.hasSection ? "" : " (not in the file)") : "");
  report.Value("sectionFound", view.hasSection);
  report.Value("has1150", view.has1150);
  report.Field("message1150", view.reached ? "message 1150" : "", U(view.message1150),
               !view.reached ? "" : view.has1150 ? "present: " + Quoted(view.message1150) : "missing");
  report.End();
}

std::string EntryState(const OsEntryView& entry) {
  if (!entry.enabled) return "skipped (value is not \"1\")";
  if (!entry.sectionFound) return "section missing: never satisfied";
  const std::string requirement = RequirementText(entry.requirement) + ": ";
  if (IsNeverMet(entry.requirement)) return requirement + "never satisfied";
  return requirement + (entry.satisfied ? "satisfied" : "not satisfied");
}

void DescribeOperatingSystems(Report& report, const OsView& view, const CheckOptions& options) {
  report.Begin("operatingSystems", "Operating-system entries (given system " + RequirementText(options.system) + ")");
  const bool any = view.msiVersionKeyCount > 0;
  if (!any) report.Line("[MsiVersion] has no key: no entry is looked at");
  report.Field("requiredEngine", any ? "[MsiVersion]" : "", U(view.list.requiredEngine),
               U(view.list.requiredEngine) + "=" + U(view.list.listSection) +
                   (view.msiVersionKeyCount > 1 ? " (first of " + std::to_string(view.msiVersionKeyCount) + " keys)" : ""));
  report.Value("msiVersionKeys", view.msiVersionKeyCount);
  report.Value("listSection", U(view.list.listSection));
  report.Value("listFound", view.listFound);
  if (any && !view.listFound) report.Line("[" + U(view.list.listSection) + "] is missing");
  report.Value("entries", Json::array());
  for (const OsEntryView& entry : view.entries) {
    Json element = {{"name", U(entry.name)}, {"value", U(entry.value)}, {"enabled", entry.enabled},
                    {"sectionFound", entry.sectionFound}};
    element.update(RequirementJson(entry.requirement));
    element["neverSatisfied"] = IsNeverMet(entry.requirement);
    element["satisfied"] = entry.satisfied;
    report.Item("entries", element, U(entry.name) + "=" + U(entry.value), EntryState(entry));
  }
  report.Field("passes", any ? "result" : "", OrNull(view.passes),
               !view.passes ? "not checked: the run ends before it"
               : *view.passes ? "passes"
                              : "fails: setup.exe shows message 1150 and ends");
  report.End();
}

void DescribeEngine(Report& report, const EngineView& view, const EndView& end) {
  report.Begin("engine", "Installer engine");
  report.Value("reached", view.reached);
  if (!view.reached) report.Line("not reached: the run ends before the engine check");
  report.Field("installed", view.reached ? "installed" : "", U(view.installed), OrNone(view.installed));
  report.Field("required", view.reached ? "required" : "", U(view.required), OrNone(view.required));
  const std::string installer = U(kEngineInstallerName);
  report.Field("updateNeeded", view.reached ? "update" : "", view.updateNeeded,
               !view.updateNeeded          ? "not needed"
               : !view.installerPresent    ? "needed, but " + installer + " is missing: nothing runs"
               : end.programsRun.empty()   ? "needed; " + installer + " is present"
                                           : "needed: " + installer + " runs");
  report.Value("installerPresent", view.installerPresent);
  report.Value("installerRuns", !end.programsRun.empty());
  report.End();
}

void DescribePackage(Report& report, const PackageView& package) {
  report.Begin("package", "Package and instance");
  const bool shown = !package.path.empty();
  if (!shown) report.Line("not reached: no settings");
  report.Value("reached", package.reached);
  report.Field("path", shown ? "package" : "", U(package.path), U(package.path) + (package.exists ? "" : " (missing)"));
  report.Value("exists", package.exists);
  report.Field("inspectionResult", shown ? "reading" : "", package.inspection,
               !package.reached          ? "not reached: the run ends before it"
               : package.inspection == 0 ? "complete"
                                         : "stops with result " + ResultCodeText(package.inspection));
  report.Value("inspectionMeaning", ResultCodeMeaning(package.inspection));
  report.Field("productCode", package.reached ? "ProductCode" : "", U(package.info.productCode), OrNone(package.info.productCode));
  report.Field("productVersion", package.reached ? "ProductVersion" : "", U(package.info.productVersion),
               OrNone(package.info.productVersion));
  report.Value("packageCode", U(package.info.packageCode));
  report.Value("keyFileVersion", U(package.info.keyFileVersion));
  report.Value("holdsInstanceTransform", OrNull(package.holdsInstanceTransform));
  report.End();
}

void DescribeInstance(Report& report, const PackageView& package, const InstanceView& instance) {
  report.Begin("instance", "");
  const bool shown = !package.path.empty();
  const PackageInfo& info = package.info;
  report.Field("file", shown ? "instance file" : "", U(instance.file),
               U(instance.file) + (instance.fileExists ? "" : " (missing)"));
  report.Value("fileExists", instance.fileExists);
  report.Field("name", package.reached ? "instance" : "", U(info.instanceName),
               info.instanceName.empty() ? std::string("(none)")
                                         : Quoted(info.instanceName) + ", ProductCode " + OrNone(info.instanceProductCode));
  report.Value("productCode", U(info.instanceProductCode));
  report.Value("declaredName", U(instance.declaredName));
  if (shown && info.instanceName.empty() && !instance.declaredName.empty()) {
    report.Row("", U(kInstanceFileName) + " names " + Quoted(instance.declaredName) + ", but the run never reads it");
  }
  report.Value("declaredProductCode", U(instance.declaredProductCode));
  if (shown && package.holdsInstanceTransform) {
    const std::string transform = U(info.instanceName) + U(kTransformExtension);
    report.Row("transform", transform + (*package.holdsInstanceTransform ? " is" : " is not") + " inside the package");
  }
  report.Field("adminUpdateMarker", shown ? U(kAdministrativeUpdateMarker) : "", instance.adminUpdateMarker,
               instance.adminUpdateMarker ? "present: no instance is taken" : "absent");
  report.Field("detection", shown ? "installed" : "",
               instance.detection ? Json(DetectionName(*instance.detection)) : Json(),
               instance.detection ? DetectionName(*instance.detection) : "not asked (not reached)");
  report.End();
}

void DescribeInstall(Report& report, const InstallView& view) {
  report.Begin("install", "Windows Installer call");
  report.Value("reached", view.reached);
  if (!view.reached) report.Line("not reached");
  const bool shown = view.reached;
  report.Value("packagePath", U(view.packagePath));
  report.Value("modePrefix", U(view.modePrefix));
  report.Value("propertyString", U(view.propertyString));
  report.Value("commandLine", U(view.commandLine));
  report.Value("uiLevel", OrNull(view.uiLevel));
  if (shown && view.log) {
    report.Row("MsiEnableLogW", std::to_string(view.log->mode) + ", " + Quoted(view.log->path) + ", " +
                                    std::to_string(view.log->attributes));
  }
  report.Value("log", view.log ? Json{{"mode", view.log->mode}, {"path", U(view.log->path)},
                                      {"attributes", view.log->attributes}}
                               : Json());
  report.Value("languageTransform", view.languageTransform ? Json{{"path", U(view.languageTransform->path)},
                                                                  {"found", view.languageTransform->found}}
                                                           : Json());
  report.Value("calls", view.calls);
  if (!shown) return report.End();
  report.Row("MsiSetInternalUI", view.uiLevel ? UiLevelText(*view.uiLevel) : "not called");
  report.Row("package", U(view.packagePath));
  report.Row("mode prefix", Quoted(view.modePrefix));
  report.Row("property string", Quoted(view.propertyString));
  report.Row("MsiInstallProductW", Quoted(view.packagePath) + ", " + Quoted(view.commandLine));
  report.End();
}

std::string ExitCodeMeaning(int exitCode, bool installerReached) {
  if (!installerReached) return "setup.exe ends before the installer";
  return "the installer's result, here the dry run's " + ResultCodeMeaning(static_cast<uint32_t>(exitCode));
}

void DescribeEnd(Report& report, const Observation& seen) {
  const EndView& view = seen.end;
  report.Begin("end", "End of the run");
  report.Value("exitCode", view.exitCode);
  const std::string meaning = ExitCodeMeaning(view.exitCode, seen.install.reached);
  report.Value("exitCodeMeaning", meaning);
  report.Value("messageBoxes", Json::array());
  for (const MessageBoxCall& box : view.messageBoxes) {
    report.Item("messageBoxes", {{"text", U(box.text)}, {"caption", U(box.caption)}, {"style", box.style}},
                "message box",
                Quoted(box.text) + " (caption " + Quoted(box.caption) + ", style " + U(FormatHex4(box.style)) + ")");
  }
  report.Field("standardOutput", view.standardOutput.empty() ? "" : "standard output", U(view.standardOutput),
               view.standardOutput.empty() ? "" : "the usage text");
  Json programs = Json::array();
  for (const Text& program : view.programsRun) programs.push_back(U(program));
  report.Value("programsRun", programs);
  report.Row("exit code", std::to_string(view.exitCode) + " (" + meaning + ")");
  report.End();
}

void DescribeFindings(Report& report, const std::vector<Finding>& findings) {
  report.Text("\nProblems\n");
  report.Value("findings", Json::array());
  size_t errors = 0;
  for (const Finding& finding : findings) {
    const bool error = finding.severity == Severity::kError;
    errors += error ? 1 : 0;
    const std::string where = finding.file + (finding.line == 0 ? "" : ":" + std::to_string(finding.line));
    report.Item("findings",
                {{"severity", error ? "error" : "warning"}, {"code", finding.code}, {"file", finding.file},
                 {"line", finding.line == 0 ? Json() : Json(finding.line)}, {"message", finding.message}},
                "", "");
    report.Line(std::string(error ? "error   " : "warning ") + where + ": " + finding.message + " [" + finding.code + "]");
  }
  const size_t warnings = findings.size() - errors;
  report.Line(findings.empty() ? "none"
                               : std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
                                     std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings"));
  report.Begin("summary", "");
  report.Value("errors", errors);
  report.Value("warnings", warnings);
  report.Value("exitCode", ExitCodeFor(findings));
  report.End();
}

Report Describe(const Observation& seen, const std::vector<Finding>& findings) {
  Report report;
  DescribeAssumed(report, seen);
  DescribeOptions(report, seen.commandLine);
  DescribeSettings(report, seen.settings);
  DescribeLanguage(report, seen.language);
  DescribeOperatingSystems(report, seen.os, seen.options);
  DescribeEngine(report, seen.engine, seen.end);
  DescribePackage(report, seen.package);
  DescribeInstance(report, seen.package, seen.instance);
  DescribeInstall(report, seen.install);
  DescribeEnd(report, seen);
  DescribeFindings(report, findings);
  return report;
}

}  // namespace

std::string RequirementText(const OsRequirement& r) {
  return std::to_string(r.major) + "." + std::to_string(r.minor) + "." + std::to_string(r.build) + " SP " +
         std::to_string(r.servicePackMajor) + "." + std::to_string(r.servicePackMinor);
}

std::string TextReport(const Observation& seen, const std::vector<Finding>& findings) {
  return Describe(seen, findings).TextForm();
}

std::string JsonReport(const Observation& seen, const std::vector<Finding>& findings) {
  return Describe(seen, findings).JsonForm();
}

}  // namespace setup::check
