#pragma once
// A folder that --deploy can describe: the check's clean folder with setup.exe, the names and
// codes a package gives the engines, and an OUT_DIR; Deploy() runs --deploy over them.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/unit/check/check_folder.h"
#include "tools/setup-check/deploy/deploy.h"

namespace setup::check::testing {

inline constexpr char kDeployUrl[] = "https://downloads.example/product-2.0.1.zip";

struct DeployFolder {
  DeployFolder() {
    folder.dir.Write("setup.exe", "MZ");
    auto& properties = folder.Package().properties;
    properties[u"ProductName"] = u"Product";
    properties[u"Manufacturer"] = u"Example Makers";
    properties[u"UpgradeCode"] = u"{33333333-3333-3333-3333-333333333333}";
    properties[u"ALLUSERS"] = u"1";
    options.distribution = FromUtf8(HostPathOf(folder.dir.folder()));
    options.outDir = FromUtf8(HostPathOf(out.folder()));
    options.url = FromUtf8(kDeployUrl);
  }

  int Deploy() {
    report.clear();
    return WriteDeployment(options, folder.msi.Module(), report);
  }
  std::filesystem::path Out(const std::string& name) const {
    return std::filesystem::path(HostPathOf(out.path())) / name;
  }
  std::string Read(const std::string& name) const {
    std::ostringstream bytes;
    bytes << std::ifstream(Out(name), std::ios::binary).rdbuf();
    return bytes.str();
  }

  CheckFolder folder;
  setup::testing::TempDir out;
  DeployOptions options;
  std::string report;
};

}  // namespace setup::check::testing
