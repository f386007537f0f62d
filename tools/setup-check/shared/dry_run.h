#pragma once
// One run of the program's own code against a distribution folder: a platform that answers
// from the check's options and records what it is asked, and an msi.dll that reads the package
// for real but records installing instead of doing it.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "setup/installer/msi_library.h"
#include "setup/platform/host/host_platform.h"
#include "tools/setup-check/shared/code_page.h"
#include "tools/setup-check/shared/run_options.h"

namespace setup::check {

struct FileProbe {
  Text path;
  bool found = false;
};

// Files are found as Windows finds them: a search where wildcards match and case is ignored.
class DryRunPlatform : public HostPlatform {
 public:
  std::vector<FileProbe> probes;
  std::map<Text, std::string> bytesRead;  // by the path the run read
  std::optional<ProductVersionWords> engineAsked;  // msi.dll's version, once the run asks for it
  uint32_t codePage = kDefaultCodePage;  // the target machine's ANSI code page
  // Instead of a given system, the system of the first entry the run asks that some system can
  // meet: the run then goes on wherever the folder lets it.
  bool takesFirstSystem = false;

  bool FileExists(const Text& path) override;
  FileContent ReadWholeFile(const Text& path) override;
  Text DecodeAnsi(std::string_view bytes) override;
  std::optional<ProductVersionWords> ReadProductVersion(const Text& path) override;
  bool IsSystemAtLeast(const OsRequirement& requirement) override;

  // Whether the run looked for this file, and what it found.
  std::optional<bool> Probed(const Text& path) const;
  // What the run found, or what a search finds now where the run never looked.
  bool Found(const Text& path) const;

 private:
  static bool Search(const Text& path);
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

  // The run of this process, with the call of one of its exports recorded.
  static DryRun& Called(const char* exportName);

  DryRunPlatform platform;
  MsiLibrary msi{platform};  // the process-wide record of this run

  std::map<Text, Text> installedVersions;  // by product code
  std::optional<InstallCall> install;
  std::optional<int32_t> uiLevel;
  std::optional<LogCall> log;
  std::vector<std::string> calls;  // the recorded exports, in calling order
};

}  // namespace setup::check
