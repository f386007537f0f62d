#include <algorithm>

#include "setup/base/numbers.h"
#include "tools/setup-check/json_writer.h"
#include "tools/setup-check/report.h"
#include "tools/setup-check/result_codes.h"

namespace setup::check {
namespace {

std::string VersionWords(const ProductVersionWords& words) {
  return std::to_string(words[0]) + "." + std::to_string(words[1]) + "." + std::to_string(words[2]) + "." +
         std::to_string(words[3]);
}

std::string ParseName(int parseResult) {
  return parseResult == 0 ? "accepted" : parseResult == 1 ? "rejected" : "usage";
}

void WriteAssumed(JsonWriter& json, const CheckOptions& options) {
  json.BeginObject("assumed");
  json.BeginObject("os");
  json.Number("major", options.system.major);
  json.Number("minor", options.system.minor);
  json.Number("build", options.system.build);
  json.Number("servicePackMajor", options.system.servicePackMajor);
  json.Number("servicePackMinor", options.system.servicePackMinor);
  json.EndObject();
  json.String("language", FormatHex4(options.language));
  json.String("engine", VersionWords(options.engine));
  json.Number("codePage", options.codePage);
  json.BeginArray("installed");
  for (const InstalledProductOption& product : options.installed) {
    json.BeginObject();
    json.String("productCode", product.productCode);
    json.String("version", product.version);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void WriteOptions(JsonWriter& json, const CommandLineView& view) {
  json.BeginObject("options");
  json.String("processCommandLine", view.processCommandLine);
  json.String("parse", ParseName(view.parseResult));
  json.String("parseError", view.parseError);
  json.String("installMode", InstallModeName(view.installMode));
  json.Number("uiLevel", view.uiLevel);
  json.String("languageId", FormatHex4(view.languageId));
  json.Optional("languageOption", view.languageCode);
  json.Bool("languageOptionKnown", view.languageCodeKnown);
  json.String("debugLog", view.debugLogPath);
  json.Optional("instanceOption", view.instance);
  json.BeginArray("freeParameters");
  for (const Text& parameter : view.freeParameters) json.String(nullptr, parameter);
  json.EndArray();
  json.Bool("usageRequested", view.usageRequested);
  json.EndObject();
}

void WriteSettings(JsonWriter& json, const SettingsView& view) {
  json.BeginObject("settings");
  json.String("file", view.path);
  json.Bool("exists", view.exists);
  json.Bool("readable", view.scan.opened);
  json.String("readError", view.scan.openError);
  json.String("product", view.product);
  json.String("productVersion", view.productVersion);
  json.String("productCode", view.productCode);
  json.String("packageCode", view.packageCode);
  json.String("logResults", view.logResults);
  json.String("packageName", view.packageName);
  json.String("location", view.location);
  json.String("packagePath", view.packagePath);
  json.String("cmdLine", view.cmdLine);
  json.String("installProperties", view.installProperties);
  json.EndObject();
}

void WriteLanguage(JsonWriter& json, const LanguageView& view) {
  json.BeginObject("language");
  json.Bool("reached", view.reached);
  json.String("languageId", FormatHex4(view.languageId));
  json.String("file", view.fileName);
  json.Bool("fallback", view.fallback);
  json.Bool("exists", view.exists);
  json.String("section", view.section);
  json.Bool("sectionFound", view.hasSection);
  json.Bool("has1150", view.has1150);
  json.String("message1150", view.message1150);
  json.EndObject();
}

void WriteOperatingSystems(JsonWriter& json, const OsView& view) {
  json.BeginObject("operatingSystems");
  json.String("requiredEngine", view.engineKey);
  json.Number("msiVersionKeys", static_cast<int64_t>(view.msiVersionKeyCount));
  json.String("listSection", view.listSection);
  json.Bool("listFound", view.listFound);
  json.BeginArray("entries");
  for (const OsEntryView& entry : view.entries) {
    json.BeginObject();
    json.String("name", entry.key);
    json.String("value", entry.value);
    json.Bool("enabled", entry.enabled);
    json.Bool("sectionFound", entry.sectionFound);
    json.Number("major", entry.requirement.major);
    json.Number("minor", entry.requirement.minor);
    json.Number("build", entry.requirement.build);
    json.Number("servicePackMajor", entry.requirement.servicePackMajor);
    json.Number("servicePackMinor", entry.requirement.servicePackMinor);
    json.Bool("neverSatisfied", entry.neverSatisfied);
    json.Bool("satisfied", entry.satisfied);
    json.EndObject();
  }
  json.EndArray();
  json.Bool("passes", view.passes);
  json.EndObject();
}

void WriteEngine(JsonWriter& json, const EngineView& view, const EndView& end) {
  json.BeginObject("engine");
  json.Bool("reached", view.reached);
  json.String("installed", view.installed);
  json.String("required", view.required);
  json.Bool("updateNeeded", view.updateNeeded);
  json.Bool("installerPresent", view.installerPresent);
  json.Bool("installerRuns", !end.programsRun.empty());
  json.EndObject();
}

void WritePackageAndInstance(JsonWriter& json, const PackageView& package, const InstanceView& instance) {
  json.BeginObject("package");
  json.String("path", package.path);
  json.Bool("exists", package.exists);
  json.Number("inspectionResult", package.inspection);
  json.String("inspectionMeaning", FromUtf8(ResultCodeMeaning(package.inspection)));
  json.String("productCode", package.info.productCode);
  json.String("productVersion", package.info.productVersion);
  json.String("packageCode", package.info.packageCode);
  json.String("keyFileVersion", package.info.keyFileVersion);
  if (package.holdsInstanceTransform) {
    json.Bool("holdsInstanceTransform", *package.holdsInstanceTransform);
  } else {
    json.Null("holdsInstanceTransform");
  }
  json.EndObject();

  json.BeginObject("instance");
  json.String("file", instance.file);
  json.Bool("fileExists", instance.fileExists);
  json.String("name", package.info.instanceName);
  json.String("productCode", package.info.instanceProductCode);
  json.String("declaredName", instance.declaredName);
  json.String("declaredProductCode", instance.declaredProductCode);
  json.Bool("adminUpdateMarker", instance.adminUpdateMarker);
  if (instance.detectionReached) {
    json.String("detection", DetectionName(instance.detection));
  } else {
    json.Null("detection");
  }
  json.EndObject();
}

void WriteInstall(JsonWriter& json, const InstallView& view) {
  json.BeginObject("install");
  json.Bool("reached", view.reached);
  json.String("packagePath", view.packagePath);
  json.String("modePrefix", view.modePrefix);
  json.String("propertyString", view.propertyString);
  json.String("commandLine", view.commandLine);
  json.Optional("uiLevel", view.uiLevel);
  if (view.log) {
    json.BeginObject("log");
    json.Number("mode", view.log->mode);
    json.String("path", view.log->path);
    json.Number("attributes", view.log->attributes);
    json.EndObject();
  } else {
    json.Null("log");
  }
  if (view.languageTransform) {
    json.BeginObject("languageTransform");
    json.String("path", view.languageTransform->path);
    json.Bool("found", view.languageTransform->found);
    json.EndObject();
  } else {
    json.Null("languageTransform");
  }
  json.BeginArray("calls");
  for (const std::string& call : view.calls) json.String(nullptr, call);
  json.EndArray();
  json.EndObject();
}

void WriteEnd(JsonWriter& json, const EndView& view, bool installerReached) {
  json.BeginObject("end");
  json.Number("exitCode", view.exitCode);
  json.String("exitCodeMeaning", FromUtf8(ExitCodeMeaning(view.exitCode, installerReached)));
  json.BeginArray("messageBoxes");
  for (const MessageBoxCall& box : view.messageBoxes) {
    json.BeginObject();
    json.String("text", box.text);
    json.String("caption", box.caption);
    json.Number("style", box.style);
    json.EndObject();
  }
  json.EndArray();
  json.String("standardOutput", view.standardOutput);
  json.BeginArray("programsRun");
  for (const Text& program : view.programsRun) json.String(nullptr, program);
  json.EndArray();
  json.EndObject();
}

void WriteFindings(JsonWriter& json, const std::vector<Finding>& findings) {
  json.BeginArray("findings");
  for (const Finding& finding : findings) {
    json.BeginObject();
    json.String("severity", std::string(finding.severity == Severity::kError ? "error" : "warning"));
    json.String("code", finding.code);
    json.String("file", finding.file);
    if (finding.line == 0) {
      json.Null("line");
    } else {
      json.Number("line", static_cast<int64_t>(finding.line));
    }
    json.String("message", finding.message);
    json.EndObject();
  }
  json.EndArray();
  const auto errors =
      std::count_if(findings.begin(), findings.end(), [](const Finding& f) { return f.severity == Severity::kError; });
  json.BeginObject("summary");
  json.Number("errors", errors);
  json.Number("warnings", static_cast<int64_t>(findings.size()) - errors);
  json.Number("exitCode", ExitCodeFor(findings));
  json.EndObject();
}

}  // namespace

std::string JsonReport(const Observation& seen, const std::vector<Finding>& findings) {
  JsonWriter json;
  json.BeginObject();
  json.Number("schemaVersion", 1);
  json.String("distribution", seen.options.distribution);
  json.String("modulePath", seen.modulePath);
  WriteAssumed(json, seen.options);
  // What an end-to-end test compares with the installer calls of setup.exe itself.
  if (seen.install.reached) {
    json.String("commandLine", seen.install.commandLine);
    json.String("packagePath", seen.install.packagePath);
  } else {
    json.Null("commandLine");
    json.Null("packagePath");
  }
  json.Optional("uiLevel", seen.install.uiLevel);
  json.Optional("logPath", seen.install.log ? std::optional<Text>(seen.install.log->path) : std::nullopt);
  json.Number("exitCode", seen.end.exitCode);
  json.Bool("installerReached", seen.install.reached);
  WriteOptions(json, seen.commandLine);
  WriteSettings(json, seen.settings);
  WriteLanguage(json, seen.language);
  WriteOperatingSystems(json, seen.os);
  WriteEngine(json, seen.engine, seen.end);
  WritePackageAndInstance(json, seen.package, seen.instance);
  WriteInstall(json, seen.install);
  WriteEnd(json, seen.end, seen.install.reached);
  WriteFindings(json, findings);
  json.EndObject();
  return json.Finish();
}

}  // namespace setup::check
