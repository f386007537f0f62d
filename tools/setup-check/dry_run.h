#pragma once
// One run of the program's own code against a distribution folder: a platform that answers
// from the check's options and records, and an msi.dll that reads the package for real but
// records installing instead of doing it.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "setup/installer/msi_library.h"
#include "setup/platform/host/host_platform.h"
#include "tools/setup-check/check_options.h"
#include "tools/setup-check/code_page.h"

namespace setup::check {

struct FileProbe {
  Text path;
  bool found = false;
};

// File names are found ignoring case, as on Windows; every probe and read is kept.
class DryRunPlatform : public HostPlatform {
 public:
  std::vector<FileProbe> probes;
  std::vector<Text> reads;
  uint32_t codePage = kDefaultCodePage;  // the target machine's ANSI code page

  bool FileExists(const Text& path) override;
  FileContent ReadWholeFile(const Text& path) override;
  Text DecodeAnsi(std::string_view bytes) override;
};

struct InstallCall {
  Text packagePath;
  Text commandLine;
};

struct LogCall {
  uint32_t mode = 0;
  Text path;
  uint32_t attributes = 0;
};

// The exports of its msi.dll are plain functions, so only one DryRun may be alive at a time.
class DryRun {
 public:
  DryRun(const CheckOptions& options, const Text& modulePath, const FakeModule& packageReader);
  ~DryRun();
  DryRun(const DryRun&) = delete;
  DryRun& operator=(const DryRun&) = delete;

  static DryRun& Current();

  DryRunPlatform platform;
  MsiLibrary msi{platform};  // the process-wide record of this run

  std::map<Text, Text> installedVersions;  // by product code
  std::optional<InstallCall> install;
  std::optional<int32_t> uiLevel;
  std::optional<LogCall> log;
  std::vector<std::string> calls;  // the recorded exports, in calling order
};

// The text LaunchInstall puts before the property string for an install mode.
Text ModePrefixOf(int32_t installMode);

}  // namespace setup::check
