#include "setup/driver/run.h"

#include <memory>
#include <new>

#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/setup_options.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/install_launch.h"

namespace setup {
namespace {

constexpr int kNotEnoughMemory = 8;   // ERROR_NOT_ENOUGH_MEMORY

int RunOnce(Platform& platform, MsiLibrary& processMsi) {
  // Declared in this order so that they are released as context, parser, text.
  const Text commandLine = platform.CommandLine();
  // This first parse only serves the usage text; the options take effect in settings loading.
  const auto parser = std::make_unique<CommandLineParser>();
  ParseSetupCommandLine(*parser, commandLine);

  SetupContext context(platform, processMsi);
  if (context.LoadSettings(u"Setup.ini")) return static_cast<int>(ComposeAndInstall(context));
  platform.WriteStandardOutput(parser->BuildUsage());
  return 1;
}

}  // namespace

int RunSetup(Platform& platform, MsiLibrary& processMsi) {
  try {
    return RunOnce(platform, processMsi);
  } catch (const std::bad_alloc&) {
    // A settings file larger than this 32-bit process can hold must not end in the runtime's
    // silent abort. Everything the run held is released by now, so there is room to say why.
    platform.ShowErrorBox(kNotEnoughMemory);
    return kNotEnoughMemory;
  }
}

}  // namespace setup
