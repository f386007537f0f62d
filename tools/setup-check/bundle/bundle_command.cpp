#include "tools/setup-check/bundle/bundle_command.h"

namespace setup::check {
namespace {

// setup-check --bundle's command line.
struct BundleCommand {
  BundleOptions options;
  CLI::App app{"--bundle checks DIST_DIR and, when it has no error, writes OUT.exe: the folder's setup.exe\n"
               "with every other file of the folder carried inside it, one file to ship.",
               "setup-check --bundle"};

  BundleCommand() {
    app.add_flag("--force", options.force, "overwrites OUT.exe when it exists");
    AddOption(app, "DIST_DIR", options.distribution, AsText, "the distribution folder")->type_name("")->required();
    AddOption(app, "OUT.exe", options.output, AsText, "the file to write, outside DIST_DIR")->type_name("")->required();
    app.footer("Exit code: 0 written, 2 the folder has errors, 3 nothing written.");
  }
};

}  // namespace

ParsedBundle ParseBundleArguments(const std::vector<Text>& arguments) { return Parse<BundleCommand>(arguments); }

std::string BundleHelp() { return BundleCommand().app.help(); }

}  // namespace setup::check
