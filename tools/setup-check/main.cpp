// setup-check: what setup.exe would do with a distribution folder, and what is wrong with it.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/setup-check/check/check_command.h"
#include "tools/setup-check/check/findings.h"
#include "tools/setup-check/check/report.h"
#include "tools/setup-check/init/init_command.h"
#include "tools/setup-check/shared/exit_codes.h"
#include "tools/setup-check/shared/host_paths.h"
#include "tools/setup-check/shared/observation.h"
#include "tools/setup-check/shared/package_reader.h"

#ifdef SETUP_CHECK_DEPLOY
#include "tools/setup-check/bundle/bundle_command.h"
#include "tools/setup-check/deploy/deploy_command.h"
#endif

namespace {

using setup::check::CheckExitCode;
using setup::check::kCheckClean;
using setup::check::kCheckCouldNotRun;

void Print(std::FILE* stream, const std::string& text) { (void)std::fwrite(text.data(), 1, text.size(), stream); }

// Every form of the command line, with its options.
std::string Usage() {
#ifdef SETUP_CHECK_DEPLOY
  const std::string deploy = setup::check::DeployHelp() + "\n" + setup::check::BundleHelp();
#else
  const std::string deploy =
      "--deploy (winget, Intune and Configuration Manager descriptions) and --bundle (one file to ship)\n"
      "are not in this build, which has no YAML emitter, zip writer, cabinet writer or SHA-256: use the\n"
      "host build's setup-check.\n";
#endif
  return setup::check::CheckHelp() + "\n" + setup::check::InitHelp() + "\n" + deploy;
}

// Help goes to standard output; a wrong argument, with the usage, to standard error.
template <typename Options>
std::optional<CheckExitCode> Unparsed(const setup::check::Parsed<Options>& parsed) {
  if (parsed.options) return std::nullopt;
  if (parsed.error.empty()) {
    Print(stdout, Usage());
    return kCheckClean;
  }
  Print(stderr, "setup-check: " + parsed.error + "\n" + Usage());
  return kCheckCouldNotRun;
}

// A verb that writes files from a package: its report goes to standard error when nothing was written.
template <typename Options>
CheckExitCode WriteVerb(const setup::check::Parsed<Options>& parsed,
                        CheckExitCode (*write)(const Options&, const setup::FakeModule&, std::string&)) {
  if (const auto exitCode = Unparsed(parsed)) return *exitCode;
  std::string report;
  const CheckExitCode exitCode = write(*parsed.options, setup::check::SystemPackageReader(), report);
  Print(exitCode == kCheckClean ? stdout : stderr, report);
  return exitCode;
}

CheckExitCode Check(const std::vector<setup::Text>& arguments) {
  using namespace setup::check;
  const std::vector<setup::Text> rest(arguments.empty() ? arguments.end() : arguments.begin() + 1, arguments.end());
  const setup::TextView verb = arguments.empty() ? setup::TextView() : setup::TextView(arguments.front());
  if (verb == u"--init") return WriteVerb(ParseInitArguments(rest), WriteStartingDistribution);
  if (verb == u"--deploy" || verb == u"--bundle") {
#ifdef SETUP_CHECK_DEPLOY
    if (verb == u"--bundle") return WriteVerb(ParseBundleArguments(rest), WriteBundle);
    return WriteVerb(ParseDeployArguments(rest), WriteDeployment);
#else
    Print(stderr, "setup-check: " + setup::ToUtf8(verb) + " is not in this build\n" + Usage());
    return kCheckCouldNotRun;
#endif
  }
  const ParsedArguments parsed = ParseCheckArguments(arguments);
  if (const auto exitCode = Unparsed(parsed)) return *exitCode;
  const CheckOptions& options = *parsed.options;
  const std::filesystem::path folder(options.distribution);
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    Print(stderr, "setup-check: not a folder: " + setup::ToUtf8(options.distribution) + "\n");
    return kCheckCouldNotRun;
  }
  const CheckResult result = CheckDistribution(options, WindowsFolderOf(folder), SystemPackageReader());
  Print(stdout, options.json ? JsonReport(result) : TextReport(result));
  return ExitCodeFor(result.findings);
}

// A failure the check did not foresee (out of memory, a file system error) still ends in its
// own exit code, with the reason.
CheckExitCode CheckOrExplain(const std::vector<setup::Text>& arguments) {
  try {
    return Check(arguments);
  } catch (const std::exception& failure) {
    Print(stderr, std::string("setup-check: ") + failure.what() + "\n");
    return kCheckCouldNotRun;
  }
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that folder names outside the ANSI code page arrive whole.
int wmain(int argc, wchar_t** argv) {
  std::vector<setup::Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  return CheckOrExplain(arguments);
}
#else
int main(int argc, char** argv) {
  std::vector<setup::Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(setup::FromUtf8(argv[i]));
  return CheckOrExplain(arguments);
}
#endif
