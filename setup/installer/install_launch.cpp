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

Text LanguageTransform(const SetupContext& context) {
  if (context.languageId == 0) return Text();
  const Text name = LanguageTransformName(context.languageId);
  return context.platform().FileExists(context.moduleDirectory + name) ? name : Text();
}

// A cancel is the user's own choice, and a restart pending means the product is installed:
// neither is an error to report. The exit code still tells a deployment service which it was.
bool IsFailure(MsiResult result) {
  switch (result) {
    case kInstallSuccess:
    case kInstallUserExit:
    case kInstallRebootRequired:
    case kInstallRebootInitiated: return false;
    default: return true;
  }
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
  Text transforms(kTransformsKey);
  const bool administrativeUpdate = platform.FileExists(context.moduleDirectory + kAdministrativeUpdateMarker);
  CheckAndUpdateEngine(context);
  context.observer().PackageInspected(InspectPackage(context.package, context.packagePath, platform, msi));
  if (!administrativeUpdate) context.instanceProductCode = context.package.instanceProductCode;
  const InstalledProduct status = DetectInstalledProduct(context);
  context.observer().ProductDetected(status);

  Text administrativePart;
  if (context.installMode == kAdministrativeInstall) {
    administrativePart = AdministrativeProperties(context);
  } else if (status == InstalledProduct::kInstance && !administrativeUpdate &&
             !context.package.instanceProductCode.empty()) {
    transforms += u":" + context.package.instanceName + kTransformExtension + u";";
  }
  transforms += LanguageTransform(context);

  if (!context.debugLogPath.empty()) msi.EnableLog(kLogModeVerbose, context.debugLogPath, kLogFlushEachLine);
  if (transforms == kTransformsKey) transforms.clear();

  Text commandLine = administrativePart;
  if (!administrativePart.empty() && !transforms.empty()) commandLine += u' ';
  commandLine += transforms + u' ' + context.installProperties;

  msi.SetInternalUI(context.uiLevel);
  const MsiResult result = LaunchInstall(context.package, context.installMode, commandLine, msi);
  if (IsFailure(result)) platform.ShowErrorBox(result);
  return result;
}

MsiResult LaunchInstall(PackageInfo& info, InstallMode installMode, const Text& commandLine, MsiLibrary& msi) {
  const Text fullCommandLine = ModePrefix(installMode) + commandLine;
  // The installer must find the package not held open by this process.
  info.database.Close();
  return msi.InstallProduct(info.packagePath, fullCommandLine);
}

}  // namespace setup
