#include "tools/setup-check/deploy/deploy_command.h"

namespace setup::check {
namespace {

// setup-check --deploy's command line.
struct DeployCommand {
  DeployOptions options;
  CLI::App app{"--deploy checks DIST_DIR and, when it has no error, writes into OUT_DIR what winget, Intune and\n"
               "Configuration Manager need to install it: winget's manifests for the folder as one zip (written\n"
               "there too unless --zip), the body of an Intune Win32 app, and a script that makes the\n"
               "Configuration Manager application.",
               "setup-check --deploy"};

  DeployCommand() {
    AddOption(app, "--url", options.url, AsText, "where winget downloads the zip from")->type_name("URL")->required();
    AddOption(app, "--id", options.id, AsText,
              "winget's PackageIdentifier (default: from the package's Manufacturer\nand ProductName)")
        ->type_name("PUBLISHER.PRODUCT");
    AddOption(app, "--zip", options.zip, AsText, "the folder as zipped already, instead of OUT_DIR/NAME-VERSION.zip")
        ->type_name("FILE");
    app.add_flag("--force", options.force, "overwrites files that exist");
    AddOption(app, "DIST_DIR", options.distribution, AsText, "the distribution folder")->type_name("")->required();
    AddOption(app, "OUT_DIR", options.outDir, AsText, "the folder to write, made when missing")->type_name("")->required();
    app.footer("Exit code: 0 written, 2 the folder has errors, 3 nothing written.");
  }
};

}  // namespace

ParsedDeploy ParseDeployArguments(const std::vector<Text>& arguments) { return Parse<DeployCommand>(arguments); }

std::string DeployHelp() { return DeployCommand().app.help(); }

}  // namespace setup::check
