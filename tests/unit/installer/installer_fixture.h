#pragma once
// A run of the installer step on the host: a real folder for the program and its package, the
// host platform, and the fake msi.dll loaded through it.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "setup/driver/setup_context.h"
#include "setup/installer/msi_library.h"
#include "setup/platform/host/host_platform.h"
#include "tests/support/fake_msi.h"
#include "tests/support/temp_dir.h"

namespace setup::testing {

inline constexpr char16_t kProductCode[] = u"{11111111-1111-1111-1111-111111111111}";
inline constexpr char16_t kInstanceCode[] = u"{22222222-2222-2222-2222-222222222222}";

struct InstallerScene {
  InstallerScene() {
    fakeMsi.InstallInto(platform);
    context.moduleDirectory = dir.PathOf("dist files\\");
    context.moduleFileName = u"setup.exe";
    context.packagePath = AddPackage("dist files\\product.msi");
    context.productCode = kProductCode;
    context.productVersion = VersionNumber{{2, 0, 1, 0}};
  }

  // msi.dll as the test configured it, without the named exports.
  void WithoutExports(std::initializer_list<const char*> names) {
    for (const char* name : names) fakeMsi.RemoveExport(name);
    fakeMsi.InstallInto(platform);
  }
  void WithoutMsiDll() { platform.modules.clear(); }

  // A package file the fake can open, with the values the program reads from it.
  Text AddPackage(std::string_view name) {
    const Text path = dir.Write(name, "package");
    FakePackage& package = fakeMsi.packages[path];
    package.summary[7] = {kVtLpstr, 0, u"Intel;1033"};
    package.summary[9] = {kVtLpstr, 0, u"{PACKAGE-CODE}"};
    package.properties[u"ProductCode"] = kProductCode;
    package.properties[u"ProductVersion"] = u"2.0.1";
    package.fileVersions[u"ledgr.dll"] = u"2.0.1.17";
    return path;
  }
  void WriteProgramFile(std::string_view name, std::string_view bytes = "") {
    dir.Write("dist files\\" + std::string(name), bytes);
  }
  void Install(const Text& code, const Text& version) { fakeMsi.products[code] = {u"C:\\Program Files\\P\\", version}; }

  TempDir dir;
  HostPlatform platform;
  FakeMsi fakeMsi;
  MsiLibrary msi{platform};
  SetupContext context{platform, msi};
};

class InstallerFixture : public ::testing::Test, public InstallerScene {};

}  // namespace setup::testing
