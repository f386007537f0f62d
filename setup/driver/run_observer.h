#pragma once
// What a run decides where the decision leaves no trace in the context or in a call to the
// system. setup.exe listens to none of it; setup-check listens, so that it reports what the run
// decided instead of deciding a second time.

#include <cstdint>

#include "setup/base/text.h"
#include "setup/settings/settings_observer.h"

namespace setup {

class CommandLineParser;
class SetupContext;
enum class InstalledProduct : int32_t;

class RunObserver : public SettingsObserver {
 public:
  virtual void CommandLineParsed(const CommandLineParser& /*parser*/, int /*parseResult*/) {}
  // The language whose file ("0x0419" names 0x0419.ini) and section the messages come from.
  virtual void LanguageChosen(TextView /*language*/) {}
  virtual void SystemChecked(bool /*supported*/) {}
  virtual void PackageInspected(uint32_t /*result*/) {}
  virtual void ProductDetected(InstalledProduct /*status*/) {}
  // The context once the run has decided everything, just before it ends.
  virtual void RunEnded(const SetupContext& /*context*/) {}
};

// The observer of a run nobody watches.
RunObserver& NoObserver();

}  // namespace setup
