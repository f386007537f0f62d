#pragma once
// A distribution folder for the check: a clean one to start from, changed by each test, and a
// fake msi.dll that serves its package.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/fake_msi.h"
#include "tests/support/temp_dir.h"
#include "tools/setup-check/check/check.h"

namespace setup::check::testing {

inline constexpr char16_t kProductCode[] = u"{11111111-1111-1111-1111-111111111111}";
inline constexpr char16_t kInstanceCode[] = u"{22222222-2222-2222-2222-222222222222}";

// Line numbers of the clean Setup.ini, which the tests name.
inline constexpr char kCleanSettings[] =
    "[Startup]\r\n"                                           // 1
    "Product=Example\r\n"                                     // 2
    "PackageName=Package\r\n"                                 // 3
    "ProductVersion=2.0.1\r\n"                                // 4
    "ProductCode={11111111-1111-1111-1111-111111111111}\r\n"  // 5
    "CmdLine=A=1\r\n"                                         // 6
    "\r\n"                                                    // 7
    "[Package]\r\n"                                           // 8
    "Location=product.msi\r\n"                                // 9
    "\r\n"                                                    // 10
    "[MsiVersion]\r\n"                                        // 11
    "3.1=Systems\r\n"                                         // 12
    "\r\n"                                                    // 13
    "[Systems]\r\n"                                           // 14
    "Xp=1\r\n"                                                // 15
    "\r\n"                                                    // 16
    "[Xp]\r\n"                                                // 17
    "MajorVer=5\r\n"                                          // 18
    "MinorVer=1\r\n"                                          // 19
    "BuildNo=2600\r\n"                                        // 20
    "ServicePack=512\r\n";                                    // 21

// A program file as far as its header's machine and optional header magic: the DOS header, whose
// last field points at "PE\0\0" and the COFF header at 0x40, then the magic at 0x58.
inline std::string ProgramHeader(uint16_t machine, uint16_t magic) {
  std::string bytes(0x5A, '\0');
  bytes.replace(0, 2, "MZ");
  bytes[0x3C] = 0x40;
  bytes.replace(0x40, 2, "PE");
  for (const auto& [at, value] : {std::pair{0x44, machine}, std::pair{0x58, magic}}) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
  }
  return bytes;
}

class CheckFolder {
 public:
  CheckFolder() {
    dir.Write("Setup.ini", kCleanSettings);
    dir.Write("0x0409.ini", "[0x0409]\n1150=This product needs Windows XP SP2.\n");
    setup::testing::FakePackage& package = msi.packages[dir.Write("product.msi", "package")];
    package.summary[7] = {setup::testing::kVtLpstr, 0, u"Intel;1033"};
    package.summary[9] = {setup::testing::kVtLpstr, 0, u"{PACKAGE-CODE}"};
    package.properties[u"ProductCode"] = kProductCode;
    package.properties[u"ProductVersion"] = u"2.0.1";
    package.fileVersions[u"ledgr.dll"] = u"2.0.1.17";
  }

  // The clean settings with one text replaced.
  void EditSettings(std::string_view from, std::string_view to) {
    std::string text = kCleanSettings;
    text.replace(text.find(from), from.size(), to);
    dir.Write("Setup.ini", text);
  }
  setup::testing::FakePackage& Package() { return msi.packages.begin()->second; }

  Observation Run(std::vector<Text> setupArguments = {}) {
    options.setupArguments = std::move(setupArguments);
    return Observe(options, dir.path(), msi.Module());
  }
  CheckResult Check() { return CheckDistribution(options, dir.path(), msi.Module()); }

  setup::testing::TempDir dir;
  setup::testing::FakeMsi msi;
  CheckOptions options;
};

}  // namespace setup::check::testing
