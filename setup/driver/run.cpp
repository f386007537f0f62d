#include "setup/driver/run.h"

#include <memory>
#include <new>

#include "setup/bundle/bundle_run.h"
#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/setup_options.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/install_launch.h"

namespace setup {
namespace {

ExitCode RunOnce(Platform& platform, MsiLibrary& processMsi, RunObserver& observer) {
  // A bundle's payload is checked before anything else is read; its folder outlives the context.
  UnpackedBundle bundle(platform);
  const std::optional<Text> programPath = platform.ModuleFileName();
  const BundleStart start = programPath ? bundle.Unpack(*programPath) : BundleStart::kNoPayload;
  if (start == BundleStart::kCorrupt || start == BundleStart::kCannotUnpack) {
    const ExitCode code = start == BundleStart::kCorrupt ? kExitFileCorrupt : kExitCannotMake;
    platform.ShowErrorBox(code);
    return code;
  }

  // Declared in this order so that they are released as context, parser, text.
  const Text commandLine = platform.CommandLine();
  // This first parse only serves the usage text; the options take effect in settings loading.
  const auto parser = std::make_unique<CommandLineParser>();
  observer.CommandLineParsed(*parser, ParseSetupCommandLine(*parser, commandLine));

  SetupContext context(platform, processMsi, observer);
  if (start == BundleStart::kUnpacked) context.moduleDirectory = bundle.folder();
  ExitCode result = kExitBeforeInstaller;
  if (context.LoadSettings(kSettingsFileName)) {
    result = InstallerExitCode(ComposeAndInstall(context));
    context.state.exitIsInstallers = true;
  } else {
    platform.WriteStandardOutput(parser->BuildUsage());
  }
  observer.RunEnded(context);
  return result;
}

}  // namespace

ExitCode RunSetup(Platform& platform, MsiLibrary& processMsi, RunObserver& observer) {
  try {
    return RunOnce(platform, processMsi, observer);
  } catch (const std::bad_alloc&) {
    // A settings file larger than this 32-bit process can hold must not end in the runtime's
    // silent abort. Everything the run held is released by now, so there is room to say why.
    platform.ShowErrorBox(kExitNotEnoughMemory);
    return kExitNotEnoughMemory;
  }
}

}  // namespace setup
