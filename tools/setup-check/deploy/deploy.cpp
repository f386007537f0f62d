#include "tools/setup-check/deploy/deploy.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "setup/decisions/settings_names.h"
#include "tools/setup-check/check/findings.h"
#include "tools/setup-check/check/report.h"
#include "tools/setup-check/deploy/deploy_archive.h"
#include "tools/setup-check/deploy/deploy_descriptions.h"
#include "tools/setup-check/deploy/deploy_intunewin.h"
#include "tools/setup-check/shared/host_paths.h"

namespace setup::check {
namespace fs = std::filesystem;
namespace {

// Files written beside their targets and renamed onto them only once all are written: until
// then, and on any failure, nothing is left in OUT_DIR, not even the folders made for them.
class StagedFiles {
 public:
  StagedFiles() = default;
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;
  ~StagedFiles() {
    if (committed_) return;
    std::error_code ignored;
    for (const auto& [target, staged] : files_) fs::remove(staged, ignored);
    for (const fs::path& folder : madeFolders_) fs::remove_all(folder, ignored);
  }

  // Where the file for target is to be written; empty, with error, when its folder cannot be made.
  fs::path Stage(const fs::path& target, std::error_code& error) {
    fs::path highestMissing;  // made here, so everything in it is ours
    for (fs::path folder = target.parent_path(); folder != folder.parent_path() && !fs::exists(folder, error);
         folder = folder.parent_path()) {
      if (error) return {};
      highestMissing = folder;
    }
    if (error) return {};
    if (!highestMissing.empty()) madeFolders_.push_back(highestMissing);
    fs::create_directories(target.parent_path(), error);
    if (error) return {};
    files_.emplace_back(target, fs::path(target) += ".partial");
    return files_.back().second;
  }

  bool Write(const fs::path& target, const std::string& bytes, std::error_code& error) {
    const fs::path staged = Stage(target, error);
    if (staged.empty()) return false;
    std::ofstream file(staged, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) error = std::make_error_code(std::errc::io_error);
    return !error;
  }

  bool Commit(std::error_code& error) {
    for (const auto& [target, staged] : files_) {
      fs::rename(staged, target, error);
      if (error) return false;
    }
    committed_ = true;
    return true;
  }

  const std::vector<std::pair<fs::path, fs::path>>& files() const { return files_; }

 private:
  std::vector<std::pair<fs::path, fs::path>> files_;  // target, staged
  std::vector<fs::path> madeFolders_;
  bool committed_ = false;
};

bool Inside(const fs::path& path, const fs::path& folder) {
  std::error_code error;
  const fs::path relative = fs::weakly_canonical(path, error).lexically_relative(fs::weakly_canonical(folder, error));
  return !relative.empty() && *relative.begin() != "..";
}

// The run as every engine starts it, silent, on a Windows the folder accepts: there it goes on
// to the package the engines install.
CheckResult CheckForDeployment(const DeployOptions& options, const Text& folder, const FakeModule& packageReader) {
  CheckOptions check;
  check.distribution = options.distribution;
  check.setupArguments = {SetupOption(kSilentOption)};
  check.takesFirstSystem = true;
  return CheckDistribution(check, folder, packageReader);
}

std::vector<DescriptionFile> Descriptions(const DeployFacts& facts) {
  std::vector<DescriptionFile> files = WingetManifests(facts);
  files.push_back(IntuneApp(facts));
  files.push_back(ConfigMgrScript(facts));
  return files;
}

// Why the options cannot serve; empty when they can.
std::string Refusal(const DeployOptions& options, const fs::path& folder, const fs::path& outDir) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) return "not a folder: " + folder.string();
  if (const std::string why = WingetUrlRefusal(ToUtf8(options.url)); !why.empty()) {
    return "--url " + ToUtf8(options.url) + " is not one winget takes: " + why;
  }
  if (!fs::is_regular_file(ResolveHostPath(TextOf(folder / kProgramFileName)), error)) {
    return "the folder has no " + ToUtf8(kProgramFileName) + ", which the engines run";
  }
  // A zip of another folder would be described with this one's product code, version and settings.
  if (options.zip) {
    if (!fs::is_regular_file(fs::path(*options.zip), error)) return "no such file: --zip " + ToUtf8(*options.zip);
    const std::string why = ZipDifference(folder, fs::path(*options.zip));
    return why.empty() ? "" : "--zip " + ToUtf8(*options.zip) + " is not the folder's zip: " + why;
  }
  return Inside(outDir, folder) ? "OUT_DIR lies in DIST_DIR, whose zip would then hold it" : "";
}

// The zip unless one is given, then the descriptions with its hash; why, when they cannot be written.
std::string Write(const fs::path& folder, const fs::path& outDir, const fs::path& zip, bool zipGiven,
                  DeployFacts& facts, std::string& written) {
  StagedFiles staged;
  std::error_code error;
  std::string why;
  fs::path hashed = zip;
  if (!zipGiven) {
    hashed = staged.Stage(zip, error);
    if (hashed.empty()) return "cannot write into " + outDir.string() + ": " + error.message();
    if (!ZipFolder(folder, hashed, why)) return why;
  }
  facts.sha256 = Sha256Of(hashed);
  if (facts.sha256.empty()) return "cannot read " + hashed.string();
  for (const DescriptionFile& file : Descriptions(facts)) {
    if (!staged.Write(outDir / file.path, file.bytes, error)) {
      return "cannot write " + (outDir / file.path).string() + ": " + error.message();
    }
  }
  // Intune's package holds the same zip, encrypted.
  const fs::path intunewin = staged.Stage(outDir / kIntuneWinPath, error);
  if (intunewin.empty()) return "cannot write into " + outDir.string() + ": " + error.message();
  if (!WriteIntuneWin(hashed, intunewin, facts.productName, why)) return why;
  if (!staged.Commit(error)) return "cannot write into " + outDir.string() + ": " + error.message();
  for (const auto& [target, unused] : staged.files()) written += "  wrote " + target.string() + "\n";
  return {};
}

CheckExitCode NothingWritten(std::string& report, const std::string& why) {
  report = "setup-check: " + why + "; nothing was written\n";
  return kCheckCouldNotRun;
}

}  // namespace

CheckExitCode WriteDeployment(const DeployOptions& options, const FakeModule& packageReader, std::string& report) {
  std::error_code error;
  const fs::path folder(options.distribution);
  const fs::path outDir = fs::absolute(fs::path(options.outDir), error).lexically_normal();
  if (const std::string why = Refusal(options, folder, outDir); !why.empty()) return NothingWritten(report, why);

  const CheckResult checked = CheckForDeployment(options, WindowsFolderOf(folder), packageReader);
  const std::vector<Finding>& findings = checked.findings;
  if (ExitCodeFor(findings) == kCheckErrors) {
    report = TextReport(checked) + "setup-check: the folder has errors; nothing was written\n";
    return kCheckErrors;
  }
  const std::string warned =
      findings.empty() ? "" : "  the check warns: setup-check " + folder.string() + " tells of what\n";
  std::string why;
  std::optional<DeployFacts> facts = DeployFactsOf(checked, options.id, why);
  if (!facts) return NothingWritten(report, why);
  facts->url = ToUtf8(options.url);

  // The descriptions' paths do not depend on the hash, which comes only once the zip is written.
  const std::string product = facts->identifier.substr(facts->identifier.rfind('.') + 1);
  const fs::path zip = options.zip ? fs::absolute(fs::path(*options.zip), error)
                                   : outDir / (product + "-" + facts->productVersion + ".zip");
  std::vector<fs::path> targets;
  for (const DescriptionFile& file : Descriptions(*facts)) targets.push_back(outDir / file.path);
  targets.push_back(outDir / kIntuneWinPath);
  if (!options.zip) targets.push_back(zip);
  std::string existing;
  for (const fs::path& target : targets) {
    if (fs::exists(target, error)) existing += "  " + target.string() + "\n";
  }
  if (!existing.empty() && !options.force) {
    report = "setup-check: these files exist; nothing was written (--force overwrites them):\n" + existing;
    return kCheckCouldNotRun;
  }

  std::string written;
  why = Write(folder, outDir, zip, options.zip.has_value(), *facts, written);
  if (!why.empty()) return NothingWritten(report, why);
  report = "setup-check: deployment descriptions for " + facts->productName + " " + facts->productVersion + " " +
           facts->productCode + ":\n" + written + "  InstallerSha256 " + facts->sha256 + " of " + zip.string() +
           "; winget downloads it from " + facts->url + "\n" + warned;
  return kCheckClean;
}

}  // namespace setup::check
