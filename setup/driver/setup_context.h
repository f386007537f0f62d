#pragma once
// All state of one run. The entry creates it, settings loading fills it, the install step reads
// it; no other step keeps state of its own.

#include <cstdint>

#include "setup/base/text.h"
#include "setup/driver/run_state.h"
#include "setup/driver/version_number.h"
#include "setup/installer/msi_library.h"
#include "setup/installer/package_info.h"
#include "setup/platform/platform.h"
#include "setup/settings/settings_file.h"
#include "setup/settings/settings_section.h"

namespace setup {

inline constexpr int32_t kUiLevelFull = 5;   // INSTALLUILEVEL_FULL
inline constexpr int32_t kUiLevelNone = 2;   // INSTALLUILEVEL_NONE

enum InstallMode : int32_t { kInstall = 0, kAdministrativeInstall = 1, kRemoval = 2 };

class CommandLineParser;
class SetupContext;

// Hears a run as it goes. setup.exe listens to none of it; setup-check listens, so that it
// reports what the run decided, which the run's state holds, instead of deciding a second time.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // Told what the parser makes of each settings file; none for a run nobody watches.
  virtual SettingsObserver* Settings() { return nullptr; }
  virtual void CommandLineParsed(const CommandLineParser& /*parser*/, int /*parseResult*/) {}
  // The run holds the package open, read and its install planned: the last moment to ask it.
  virtual void PackageOpened(const SetupContext& /*context*/) {}
  // The context with its state once the run has decided everything, just before it ends.
  virtual void RunEnded(const SetupContext& /*context*/) {}
};
RunObserver& NoObserver();  // the observer of a run nobody watches

class SetupContext {
 public:
  // The process-wide msi.dll record must outlive the context: a package database still open
  // when the context goes is closed through it.
  explicit SetupContext(Platform& platform = DefaultPlatform(), MsiLibrary& msi = ProcessMsiLibrary(),
                        RunObserver& observer = NoObserver());
  SetupContext(const SetupContext&) = delete;
  SetupContext& operator=(const SetupContext&) = delete;

  // Settings loading: true when the installation step may run.
  bool LoadSettings(const Text& fileName);
  // Parses the process command line again and applies its options to the fields.
  void ApplyCommandLine();
  // True when the running system satisfies an enabled entry of the list [MsiVersion] names.
  bool CheckOperatingSystem();
  // A section of Setup.ini, noted in the state with the keys the run reads there.
  SettingsSection ReadSettingsSection(const Text& name, std::span<const char16_t* const> keys, bool anyKey = false);

  Platform& platform() const { return *platform_; }
  MsiLibrary& msi() const { return *msi_; }
  RunObserver& observer() const { return *observer_; }

 private:
  Platform* platform_;
  MsiLibrary* msi_;
  RunObserver* observer_;

 public:
  Text moduleDirectory;          // ends in '\'
  Text moduleFileName;
  SettingsFile settings;
  SettingsSection messages;
  PackageInfo package;
  Text messageCaption;
  Text productCode;
  Text instanceProductCode;
  Text packagePath;
  Text packageCode;
  VersionNumber productVersion;
  VersionNumber requiredMsiVersion;
  Text productName;
  Text installProperties;
  Text debugLogPath;
  int32_t uiLevel = kUiLevelFull;
  bool logResults = false;
  InstallMode installMode = kInstall;
  bool usageRequested = false;
  Text usageText;
  uint32_t languageId = 0;
  RunState state;
};

}  // namespace setup
