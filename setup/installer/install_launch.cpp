#include "setup/installer/install_launch.h"

#include "setup/base/numbers.h"
#include "setup/decisions/settings_names.h"
#include "setup/installer/engine_update.h"
#include "setup/installer/package_inspection.h"

namespace setup {
namespace {

constexpr TextView kTransformsKey = u"TRANSFORMS=";
constexpr uint32_t kLogModeVerbose = 0x1000;        // INSTALLLOGMODE_VERBOSE
constexpr uint32_t kLogFlushEachLine = 2;           // INSTALLLOGATTRIBUTES_FLUSHEACHLINE, no append

// SETUPEXEDIR is the directory without its final '\'. A directory left empty (no module path)
// has no separator to lose.
Text AdministrativeProperties(const SetupContext& context) {
  const Text& directory = context.moduleDirectory;
  const TextView withoutSeparator = TextView(directory).substr(0, directory.empty() ? 0 : directory.size() - 1);
  return u"SETUPEXEDIR=\"" + Text(withoutSeparator) + u"\" SETUPEXENAME=\"" + context.moduleFileName + u"\"";
}

// The language's transform, when one lies beside the program.
Text LanguageTransform(SetupContext& context) {
  if (context.languageId == 0) return Text();
  InstallPlan& plan = context.state.plan;
  const Text name = LanguageTransformName(context.languageId);
  plan.languageTransformPath = context.moduleDirectory + name;
  plan.languageTransformFound = context.platform().FileExists(plan.languageTransformPath);
  return plan.languageTransformFound ? name : Text();
}

// A cancel is the user's own choice, and a restart pending means the product is installed:
// neither is an error to report. The exit code still tells a deployment service which it was.
bool IsFailure(MsiResult result) {
  switch (result) {
    case kMsiSuccess:
    case kInstallUserExit:
    case kInstallRebootRequired:
    case kInstallRebootInitiated: return false;
    default: return true;
  }
}

// The mode's prefix and the property string with its transforms, once the package is known.
void ComposePlan(SetupContext& context, bool administrativeUpdate) {
  InstallPlan& plan = context.state.plan;
  plan.composed = true;
  plan.modePrefix = ModePrefix(context.installMode);
  Text transforms(kTransformsKey);
  Text administrativePart;
  if (context.installMode == kAdministrativeInstall) {
    administrativePart = AdministrativeProperties(context);
  } else if (!administrativeUpdate && !context.package.instanceProductCode.empty()) {
    plan.instanceTransform = context.package.instanceName + kTransformExtension;
    plan.instanceTransformApplied = context.state.package.detection == InstalledProduct::kInstance;
    if (plan.instanceTransformApplied) transforms += u":" + plan.instanceTransform + u";";
  }
  transforms += LanguageTransform(context);
  if (transforms == kTransformsKey) transforms.clear();

  plan.propertyString = administrativePart;
  if (!administrativePart.empty() && !transforms.empty()) plan.propertyString += u' ';
  plan.propertyString += transforms + u' ' + context.installProperties;
}

}  // namespace

Text ModePrefix(InstallMode installMode) {
  switch (installMode) {
    case kAdministrativeInstall: return u"ACTION=ADMIN ";
    case kRemoval: return u"REMOVE=ALL ";
    default: return Text();
  }
}

Text LanguageTransformName(uint32_t languageId) { return FormatDecimal(languageId) + kTransformExtension; }

MsiResult ComposeAndInstall(SetupContext& context) {
  Platform& platform = context.platform();
  MsiLibrary& msi = context.msi();
  PackageCheck& package = context.state.package;
  const bool administrativeUpdate = platform.FileExists(context.moduleDirectory + kAdministrativeUpdateMarker);
  CheckAndUpdateEngine(context);
  package.reached = true;
  package.result = InspectPackage(context.package, context.packagePath, platform, msi);
  package.failedQuery = context.package.failedQuery;
  if (!administrativeUpdate) context.instanceProductCode = context.package.instanceProductCode;
  package.detection = DetectInstalledProduct(context);

  ComposePlan(context, administrativeUpdate);
  if (context.package.database.get() != 0) context.observer().PackageOpened(context);
  if (!context.debugLogPath.empty()) msi.EnableLog(kLogModeVerbose, context.debugLogPath, kLogFlushEachLine);
  msi.SetInternalUI(context.uiLevel);
  const MsiResult result = LaunchInstall(context.package, context.state.plan, msi);
  if (IsFailure(result)) platform.ShowErrorBox(result);
  return result;
}

MsiResult LaunchInstall(PackageInfo& info, const InstallPlan& plan, MsiLibrary& msi) {
  // The installer must find the package not held open by this process.
  info.database.Close();
  return msi.InstallProduct(info.packagePath, plan.CommandLine());
}

}  // namespace setup
