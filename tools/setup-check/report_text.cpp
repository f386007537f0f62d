#include <algorithm>

#include "setup/base/numbers.h"
#include "tools/setup-check/report.h"
#include "tools/setup-check/result_codes.h"

namespace setup::check {
namespace {

std::string U(TextView text) { return ToUtf8(text); }
std::string Quoted(TextView text) { return "\"" + ToUtf8(text) + "\""; }
std::string OrNone(TextView text) { return text.empty() ? "(none)" : ToUtf8(text); }

class TextOut {
 public:
  void Heading(const std::string& title) { out += (out.empty() ? "" : "\n") + title + "\n"; }
  void Row(const std::string& label, const std::string& value) {
    std::string padded = "  " + label;
    padded.resize(std::max<size_t>(padded.size() + 1, 22), ' ');
    out += padded + value + "\n";
  }
  void Line(const std::string& text) { out += "  " + text + "\n"; }
  std::string out;
};

std::string UiLevelText(int32_t level) {
  return std::to_string(level) + (level == 5 ? " (full)" : level == 2 ? " (none)" : "");
}

void Options(TextOut& out, const Observation& seen) {
  const CommandLineView& view = seen.commandLine;
  out.Heading("Options as setup.exe sees them");
  out.Row("command line", U(view.processCommandLine));
  out.Row("parse", view.parseResult == 0   ? "accepted"
                   : view.parseResult == 1 ? "rejected: " + U(view.parseError.substr(0, view.parseError.find(u'\n')))
                                           : "usage asked for");
  out.Row("install mode", InstallModeName(view.installMode));
  out.Row("UI level", UiLevelText(view.uiLevel));
  const std::string code = view.languageCode ? U(*view.languageCode) : std::string();
  out.Row("language", U(FormatHex4(view.languageId)) +
                          (!view.languageCode        ? " (the user's default)"
                           : view.languageCodeKnown ? " (from /l " + code + ")"
                                                    : " (/l " + code + " is no code it knows: the user's)"));
  out.Row("debug log", OrNone(view.debugLogPath));
  out.Row("instance", view.instance ? U(*view.instance) + " (accepted, not used by setup.exe)" : "(not given)");
  std::string parameters;
  for (const Text& parameter : view.freeParameters) parameters += (parameters.empty() ? "" : " ") + U(parameter);
  out.Row("free parameters", parameters.empty() ? "(none)" : parameters);
}

void Settings(TextOut& out, const SettingsView& view) {
  out.Heading("Settings from Setup.ini");
  if (!view.exists) return out.Line("Setup.ini is missing");
  if (!view.scan.opened) return out.Line("Setup.ini cannot be read: " + U(view.scan.openError));
  out.Row("Product", OrNone(view.product));
  out.Row("ProductVersion", OrNone(view.productVersion));
  out.Row("ProductCode", OrNone(view.productCode));
  out.Row("PackageName", OrNone(view.packageName));
  out.Row("Location", OrNone(view.location));
  out.Row("package path", U(view.packagePath));
  out.Row("CmdLine", OrNone(view.cmdLine));
  out.Row("properties", Quoted(view.installProperties) + " (CmdLine, then the free parameters)");
}

void Language(TextOut& out, const LanguageView& view) {
  out.Heading("Language file");
  if (!view.reached) return out.Line("not reached: settings loading stops before choosing one");
  out.Row("file", U(view.fileName) + (view.exists ? "" : " (missing)") +
                      (view.fallback ? " (fallback: no " + U(FormatHex4(view.languageId)) + ".ini)" : ""));
  out.Row("section", "[" + U(view.section) + "]" + (view.hasSection ? "" : " (not in the file)"));
  out.Row("message 1150", view.has1150 ? "present: " + Quoted(view.message1150) : "missing");
}

void OperatingSystems(TextOut& out, const OsView& view, const CheckOptions& options) {
  out.Heading("Operating-system entries (given system " + SystemText(options.system) + ")");
  if (view.msiVersionKeyCount == 0) return out.Line("[MsiVersion] has no key: no entry is looked at");
  out.Row("[MsiVersion]",
          U(view.engineKey) + "=" + U(view.listSection) +
              (view.msiVersionKeyCount > 1 ? " (first of " + std::to_string(view.msiVersionKeyCount) + " keys)" : ""));
  if (!view.listFound) out.Line("[" + U(view.listSection) + "] is missing");
  for (const OsEntryView& entry : view.entries) {
    std::string state = !entry.enabled         ? "skipped (value is not \"1\")"
                        : !entry.sectionFound  ? "section missing: never satisfied"
                        : entry.neverSatisfied ? RequirementText(entry.requirement) + ": never satisfied"
                        : entry.satisfied      ? RequirementText(entry.requirement) + ": satisfied"
                                               : RequirementText(entry.requirement) + ": not satisfied";
    out.Row(U(entry.key) + "=" + U(entry.value), state);
  }
  out.Row("result", view.passes ? "passes" : "fails: setup.exe shows message 1150 and ends");
}

void Engine(TextOut& out, const EngineView& view, const EndView& end) {
  out.Heading("Installer engine");
  if (!view.reached) return out.Line("not reached: the run ends before the engine check");
  out.Row("installed", OrNone(view.installed));
  out.Row("required", OrNone(view.required));
  if (!view.updateNeeded) return out.Row("update", "not needed");
  out.Row("update", !view.installerPresent    ? "needed, but instmsi30.exe is missing: nothing runs"
                    : end.programsRun.empty() ? "needed; instmsi30.exe is present"
                                              : "needed: instmsi30.exe runs");
}

void Instance(TextOut& out, const Observation& seen) {
  const PackageView& package = seen.package;
  const InstanceView& instance = seen.instance;
  out.Heading("Package and instance");
  if (package.path.empty()) return out.Line("not reached: no settings");
  out.Row("package", U(package.path) + (package.exists ? "" : " (missing)"));
  out.Row("reading", package.inspection == 0 ? "complete" : "stops with result " + ResultCodeText(package.inspection));
  out.Row("ProductCode", OrNone(package.info.productCode));
  out.Row("ProductVersion", OrNone(package.info.productVersion));
  out.Row("instance file", U(instance.file) + (instance.fileExists ? "" : " (missing)"));
  out.Row("instance", package.info.instanceName.empty() ? std::string("(none)")
                                                        : Quoted(package.info.instanceName) + ", ProductCode " +
                                                              OrNone(package.info.instanceProductCode));
  if (package.info.instanceName.empty() && !instance.declaredName.empty()) {
    out.Row("", "setup.ini names " + Quoted(instance.declaredName) + ", but the run never reads it");
  }
  if (package.holdsInstanceTransform) {
    const std::string transform = U(package.info.instanceName) + ".mst";
    out.Row("transform", *package.holdsInstanceTransform ? transform + " is inside the package"
                                                         : transform + " is not inside the package");
  }
  out.Row("admupdt.cfg", instance.adminUpdateMarker ? "present: no instance is taken" : "absent");
  out.Row("installed", instance.detectionReached ? DetectionName(instance.detection) : "not asked (not reached)");
}

void Install(TextOut& out, const InstallView& view) {
  out.Heading("Windows Installer call");
  if (!view.reached) return out.Line("not reached");
  if (view.log) {
    out.Row("MsiEnableLogW", std::to_string(view.log->mode) + ", " + Quoted(view.log->path) + ", " +
                                 std::to_string(view.log->attributes));
  }
  out.Row("MsiSetInternalUI", view.uiLevel ? UiLevelText(*view.uiLevel) : "not called");
  out.Row("package", U(view.packagePath));
  out.Row("mode prefix", Quoted(view.modePrefix));
  out.Row("property string", Quoted(view.propertyString));
  out.Row("MsiInstallProductW", Quoted(view.packagePath) + ", " + Quoted(view.commandLine));
}

void End(TextOut& out, const Observation& seen) {
  const EndView& view = seen.end;
  out.Heading("End of the run");
  for (const MessageBoxCall& box : view.messageBoxes) {
    out.Row("message box",
            Quoted(box.text) + " (caption " + Quoted(box.caption) + ", style " + U(FormatHex4(box.style)) + ")");
  }
  if (!view.standardOutput.empty()) out.Row("standard output", "the usage text");
  out.Row("exit code",
          std::to_string(view.exitCode) + " (" + ExitCodeMeaning(view.exitCode, seen.install.reached) + ")");
}

void Problems(TextOut& out, const std::vector<Finding>& findings) {
  out.Heading("Problems");
  size_t errors = 0;
  for (const Finding& finding : findings) {
    const bool error = finding.severity == Severity::kError;
    errors += error ? 1 : 0;
    const std::string where = finding.file + (finding.line == 0 ? "" : ":" + std::to_string(finding.line));
    out.Line(std::string(error ? "error   " : "warning ") + where + ": " + finding.message + " [" + finding.code + "]");
  }
  const size_t warnings = findings.size() - errors;
  out.Line(findings.empty() ? "none"
                            : std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
                                  std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings"));
}

}  // namespace

std::string InstallModeName(int32_t installMode) {
  switch (installMode) {
    case 1: return "administrative";
    case 2: return "removal";
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

std::string SystemText(const SystemVersion& system) {
  return std::to_string(system.major) + "." + std::to_string(system.minor) + "." + std::to_string(system.build) +
         " SP " + std::to_string(system.servicePackMajor) + "." + std::to_string(system.servicePackMinor);
}

std::string RequirementText(const OsRequirement& r) {
  return std::to_string(r.major) + "." + std::to_string(r.minor) + "." + std::to_string(r.build) + " SP " +
         std::to_string(r.servicePackMajor) + "." + std::to_string(r.servicePackMinor);
}

std::string ExitCodeMeaning(int exitCode, bool installerReached) {
  if (!installerReached) return "setup.exe ends before the installer";
  return "the installer's result, here the dry run's " + ResultCodeMeaning(static_cast<uint32_t>(exitCode));
}

std::string TextReport(const Observation& seen, const std::vector<Finding>& findings) {
  TextOut out;
  const CheckOptions& options = seen.options;
  out.out = "setup-check " + U(options.distribution) + " (setup.exe as " + U(seen.modulePath) + ")\n";
  std::string installed;
  for (const InstalledProductOption& product : options.installed) {
    installed += (installed.empty() ? "" : ", ") + U(product.productCode) + " " + U(product.version);
  }
  const ProductVersionWords& engine = options.engine;
  out.out += "assumed: Windows " + SystemText(options.system) + ", user language " + U(FormatHex4(options.language)) +
             ", msi.dll " + std::to_string(engine[0]) + "." + std::to_string(engine[1]) + "." +
             std::to_string(engine[2]) + "." + std::to_string(engine[3]) +
             ", ANSI code page " + std::to_string(options.codePage) +
             ", installed: " + (installed.empty() ? "none" : installed) + "\n";
  Options(out, seen);
  Settings(out, seen.settings);
  Language(out, seen.language);
  OperatingSystems(out, seen.os, seen.options);
  Engine(out, seen.engine, seen.end);
  Instance(out, seen);
  Install(out, seen.install);
  End(out, seen);
  Problems(out, findings);
  return out.out;
}

}  // namespace setup::check
