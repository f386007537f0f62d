// The check on packages that Debian's libmsi reads, built with wixl for each test.

#include "tools/setup-check/shared/package_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "setup/platform/host/host_platform.h"
#include "tests/support/temp_dir.h"
#include "tools/setup-check/check/findings.h"
#include "tools/setup-check/init/init_distribution.h"
#include "tools/setup-check/shared/observation.h"

namespace setup::check {
namespace {

using testing::TempDir;

constexpr char kProductCode[] = "{11111111-2222-3333-4444-555555555555}";

std::string PackageSource(const std::string& keyFileId) {
  return std::string(R"(<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id=")") +
         kProductCode + R"(" Name="Check" Language="1033" Version="2.0.1" Manufacturer="Check"
           UpgradeCode="{AAAAAAAA-2222-3333-4444-555555555555}">
    <Package InstallerVersion="200" Compressed="yes"/>
    <Media Id="1" Cabinet="p.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Check">
          <Component Id="Main" Guid="{BBBBBBBB-2222-3333-4444-555555555555}">
            <File Id=")" +
         keyFileId + R"(" Name="ledgr.dll" Source="ledgr.dll"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="All" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
)";
}

// A distribution folder with a real package, Setup.ini and a setup.ini naming an instance.
class RealPackage : public ::testing::Test {
 protected:
  // The instance's transform Inst2.mst is embedded unless told otherwise (any compound file
  // stands in for it here: only its name is looked for).
  void Build(const std::string& keyFileId, const std::string& settingsProductCode, bool embedTransform = true) {
    dir.Write("build\\ledgr.dll", "key file");
    dir.Write("build\\p.wxs", PackageSource(keyFileId));
    dir.Write("build\\_Storages.idt", "Name\tData\r\ns62\tV0\r\n_Storages\tName\r\nInst2.mst\tInst2.mst\r\n");
    const std::string build = HostPathOf(dir.PathOf("build"));
    std::string command = "cd '" + build + "' && " SETUP_WIXL " -o ../Product.MSI p.wxs";
    if (embedTransform) {
      command += " && mkdir _Storages && cp ../Product.MSI _Storages/Inst2.mst && " SETUP_MSIBUILD
                 " ../Product.MSI -i _Storages.idt";
    }
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    dir.Write("Setup.ini", "[Startup]\nPackageName=Pkg\nProductVersion=2.0.1\nProductCode=" + settingsProductCode +
                               "\n[Pkg]\nLocation=product.msi\n[MsiVersion]\n3.1=Systems\n[Systems]\nW=1\n"
                               "[W]\nMajorVer=5\nMinorVer=1\nBuildNo=2600\n[Instances]\ncount=1\nI1=Inst2\n"
                               "[Inst2]\nProductCode={22222222-0000-0000-0000-000000000000}\n");
    dir.Write("0x0409.ini", "[0x0409]\n1150=Not supported\n");
  }

  Observation Run() {
    CheckOptions options;
    options.installed.push_back({u"{22222222-0000-0000-0000-000000000000}", u"2.0.1"});
    return Observe(options, dir.path(), SystemPackageReader());
  }

  TempDir dir;
};

TEST_F(RealPackage, ReadsTheIdentityAndTheInstanceOfAPackageWithItsKeyFile) {
  Build("ledgr.dll", kProductCode);
  const Observation seen = Run();
  EXPECT_EQ(seen.package.check.result, 0u);
  EXPECT_EQ(ToUtf8(seen.package.info.productCode), kProductCode);
  EXPECT_EQ(seen.package.info.productVersion, u"2.0.1");
  EXPECT_FALSE(seen.package.info.packageCode.empty());
  EXPECT_EQ(seen.package.info.instanceName, u"Inst2");
  EXPECT_EQ(seen.install.commandLine, u"TRANSFORMS=:Inst2.mst; ");
  EXPECT_EQ(seen.package.holdsInstanceTransform, true);
  EXPECT_TRUE(FindProblems(seen).empty());
}

TEST_F(RealPackage, StopsAtTheMissingKeyFileRowAsTheInstallerDoes) {
  Build("other.dll", kProductCode);
  const Observation seen = Run();
  EXPECT_EQ(seen.package.check.result, 259u);  // ERROR_NO_MORE_ITEMS from the fetch
  EXPECT_EQ(seen.package.info.productVersion, u"2.0.1");
  EXPECT_TRUE(seen.package.info.instanceName.empty());
  EXPECT_EQ(seen.install.commandLine, u" ");
  const auto findings = FindProblems(seen);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].code, "instances-unread");
}

TEST_F(RealPackage, ReportsAProductCodeThatDiffersFromThePackagesOwn) {
  Build("ledgr.dll", "{99999999-2222-3333-4444-555555555555}");
  const auto findings = FindProblems(Run());
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].code, "product-code-mismatch");
  EXPECT_EQ(findings[0].line, 4u);
}

TEST_F(RealPackage, ReportsAnInstanceTransformThePackageDoesNotHold) {
  Build("ledgr.dll", kProductCode, false);
  const Observation seen = Run();
  EXPECT_EQ(seen.package.holdsInstanceTransform, false);
  const auto findings = FindProblems(seen);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].code, "instance-transform-missing");
}

TEST_F(RealPackage, InitWritesAFolderTheCheckAcceptsAndOverwritesOnlyWhenTold) {
  Build("ledgr.dll", kProductCode);
  InitOptions options;
  options.package = FromUtf8(HostPathOf(dir.PathOf("Product.MSI")));  // as a person types it on this machine
  options.folder = FromUtf8(HostPathOf(dir.PathOf("out")));
  std::string report;
  ASSERT_EQ(WriteStartingDistribution(options, SystemPackageReader(), report), 0) << report;
  CheckOptions check;
  const Observation seen = Observe(check, dir.PathOf("out"), SystemPackageReader());
  EXPECT_EQ(seen.settings.location, u"Product.MSI");
  EXPECT_EQ(seen.package.info.productVersion, u"2.0.1");
  for (const Finding& finding : FindProblems(seen)) ADD_FAILURE() << finding.code << " " << finding.message;

  dir.Write("out\\SETUP.INI", "mine");  // the same file as Setup.ini, where setup.exe runs
  std::filesystem::remove(HostPathOf(dir.PathOf("out\\Setup.ini")));
  EXPECT_EQ(WriteStartingDistribution(options, SystemPackageReader(), report), 3);
  EXPECT_NE(report.find("SETUP.INI"), std::string::npos) << report;
  options.force = true;
  EXPECT_EQ(WriteStartingDistribution(options, SystemPackageReader(), report), 0) << report;
  EXPECT_EQ(ToUtf8(Observe(check, dir.PathOf("out"), SystemPackageReader()).settings.productCode), kProductCode);
}

TEST_F(RealPackage, ReportsAFileThatIsNoPackage) {
  Build("ledgr.dll", kProductCode);
  dir.Write("product.msi", "not a compound file");
  std::filesystem::remove(HostPathOf(dir.PathOf("Product.MSI")));
  const auto findings = FindProblems(Run());
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].code, "package-unreadable");
}

}  // namespace
}  // namespace setup::check
