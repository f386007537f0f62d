#pragma once
// setup-check --init: a starting distribution folder written from the package itself, which
// the check then accepts without a problem.

#include <optional>
#include <string>

#include "setup/base/text.h"
#include "setup/cmdline/setup_options.h"
#include "setup/platform/host/host_platform.h"
#include "tools/setup-check/shared/exit_codes.h"
#include "tools/setup-check/shared/package_facts.h"

namespace setup::check {

// The lowest Windows the product accepts, as one operating-system entry of Setup.ini.
struct MinimumWindows {
  Text section;  // the entry's section: "WinXPSP3"
  Text name;     // for people: "Windows XP Service Pack 3"
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint16_t servicePack = 0;  // the ServicePack word: the service pack's major number in the high byte
};

// "xp-sp3", "vista", "7-sp1", "10", ... ignoring case; nullopt for other names.
std::optional<MinimumWindows> MinimumWindowsNamed(TextView name);
// MAJOR.MINOR.BUILD[.SPMAJOR.SPMINOR], as --os takes it.
MinimumWindows MinimumWindowsOf(const SystemVersion& system);
// The names MinimumWindowsNamed knows, for the usage text.
std::string MinimumWindowsNames();

struct InitOptions {
  Text package;  // PACKAGE.msi as given
  Text folder;   // DIR as given; made when missing
  MinimumWindows minimum = *MinimumWindowsNamed(u"xp-sp3");
  Text cmdLine;                  // CmdLine of Setup.ini
  std::optional<Text> setupExe;  // copied in as setup.exe
  bool copyPackage = true;       // false: Location names the package where it lies
  bool force = false;            // overwrite files that exist
  // Besides 0x0409.ini, which is always written: one language file each.
  std::vector<LanguageCode> languages;
};

// The settings files, as written (CR LF line ends; UTF-8 with a byte-order mark when a text goes
// beyond ASCII, so that no code page decides how it reads): Setup.ini, and the messages in a
// language of /l, in the file setup.exe looks for: "0x0419.ini" with [0x0419]. The texts come
// from languages/ beside this file.
std::string StartingSettings(const PackageFacts& package, const Text& location, const InitOptions& options);
std::string LanguageMessages(const PackageFacts& package, const MinimumWindows& minimum, const LanguageCode& language);
Text LanguageFileName(const LanguageCode& language);

// Writes the folder and says what it did (or why it wrote nothing) in report: kCheckClean when
// written, kCheckCouldNotRun when nothing was written.
CheckExitCode WriteStartingDistribution(const InitOptions& options, const FakeModule& packageReader,
                                        std::string& report);

}  // namespace setup::check
