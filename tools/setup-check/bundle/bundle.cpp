#include "tools/setup-check/bundle/bundle.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <vector>

#include "setup/decisions/settings_names.h"
#include "tools/setup-check/bundle/bundle_writer.h"
#include "tools/setup-check/check/check.h"
#include "tools/setup-check/check/report.h"
#include "tools/setup-check/shared/host_paths.h"

namespace setup::check {
namespace fs = std::filesystem;
namespace {

// What a cabinet can hold. Its one folder's data comes in blocks of 32 KiB counted in 16 bits,
// its files are counted in 16 bits, and a name ends in a zero byte within 256.
constexpr uint64_t kCabinetMaxBytes = 0x7FFF8000;
constexpr size_t kCabinetMaxFiles = 0xFFFF;
constexpr size_t kCabinetMaxNameBytes = 255;

// Files beside OUT.exe that are gone when the verb ends: the bundle's is renamed onto OUT.exe
// first when all went well.
class ScratchFiles {
 public:
  explicit ScratchFiles(std::vector<fs::path> files) : files_(std::move(files)) {}
  ScratchFiles(const ScratchFiles&) = delete;
  ScratchFiles& operator=(const ScratchFiles&) = delete;
  ~ScratchFiles() {
    std::error_code ignored;
    for (const fs::path& file : files_) fs::remove(file, ignored);
  }

 private:
  std::vector<fs::path> files_;
};

bool Inside(const fs::path& path, const fs::path& folder) {
  std::error_code error;
  const fs::path relative = fs::weakly_canonical(path, error).lexically_relative(fs::weakly_canonical(folder, error));
  return !relative.empty() && *relative.begin() != "..";
}

// Windows opens these names as devices, whatever extension follows.
bool IsDeviceName(std::string_view part) {
  std::string stem(part.substr(0, part.find('.')));
  for (char& c : stem) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  const bool numbered = stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
                        stem[3] <= '9';
  return numbered || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL";
}

// Why setup.exe could not unpack a file of this relative name on Windows, or a cabinet could not
// hold it; empty when both can. stored is the name as the cabinet holds it.
std::string NameRefusal(const fs::path& relative, std::string& stored) {
  stored.clear();
  for (const fs::path& component : relative) {
    const std::string part = component.string();
    const bool control = std::ranges::any_of(part, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    if (control || part.find_first_of("<>:\"\\|?*") != std::string::npos) {
      return "holds a character no Windows file name has (< > : \" \\ | ? * or a control character)";
    }
    // Windows takes them off, and the file would be unpacked under another name.
    if (part.ends_with('.') || part.ends_with(' ')) return "ends in a dot or a blank";
    if (IsDeviceName(part)) return "is a device's on Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9)";
    stored += (stored.empty() ? "" : "\\") + part;
  }
  if (g_utf8_validate(stored.data(), static_cast<gssize>(stored.size()), nullptr) == FALSE) return "is not UTF-8";
  if (stored.size() > kCabinetMaxNameBytes) {
    return "is " + std::to_string(stored.size()) + " bytes in UTF-8; a cabinet holds names of " +
           std::to_string(kCabinetMaxNameBytes) + " bytes at most";
  }
  return {};
}

// A name as Windows compares names: each character in upper case on its own, as its table of
// upper-case letters does.
std::string Upper(const std::string& name) {
  std::string upper;
  for (const char* c = name.c_str(); *c != '\0'; c = g_utf8_next_char(c)) {
    std::array<char, 6> bytes;
    const gint size = g_unichar_to_utf8(g_unichar_toupper(g_utf8_get_char(c)), bytes.data());
    upper.append(bytes.data(), static_cast<size_t>(size));
  }
  return upper;
}

// Every file below folder but program, in the order of their paths, or why the cabinet cannot
// hold them.
std::string CabinetFiles(const fs::path& folder, const fs::path& program, std::vector<CabinetFile>& files) {
  std::vector<fs::path> found;
  std::error_code error;
  std::error_code notAFile;  // a link to nothing is no file to carry
  for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::end(it); it.increment(error)) {
    if (it->is_regular_file(notAFile) && it->path().lexically_normal() != program) found.push_back(it->path());
  }
  if (error) return "cannot read " + folder.string() + ": " + error.message();
  std::ranges::sort(found);
  // On Windows one name of two that differ only in case would be unpacked over the other.
  std::map<std::string, std::string> upperNames{{Upper(program.filename().string()), program.filename().string()}};
  uint64_t total = 0;
  for (const fs::path& file : found) {
    const fs::path relative = file.lexically_relative(folder);
    const std::string shown = relative.generic_string();
    std::string stored;
    if (const std::string why = NameRefusal(relative, stored); !why.empty()) return "the name " + shown + " " += why;
    const uint64_t size = fs::file_size(file, error);
    if (error) return "cannot read " + file.string() + ": " + error.message();
    if (size > kCabinetMaxBytes) {
      return shown + " is " + std::to_string(size) + " bytes; a cabinet holds " + std::to_string(kCabinetMaxBytes) +
             " bytes at most";
    }
    total += size;
    if (const auto [same, added] = upperNames.emplace(Upper(stored), shown); !added) {
      return same->second + " and " + shown + " are one file on Windows, which ignores case";
    }
    files.push_back({file, stored});
  }
  if (files.size() > kCabinetMaxFiles) {
    return "the folder holds " + std::to_string(files.size()) + " files besides " + ToUtf8(kProgramFileName) +
           "; a cabinet holds " + std::to_string(kCabinetMaxFiles) + " at most";
  }
  if (total > kCabinetMaxBytes) {
    return "the folder's files come to " + std::to_string(total) + " bytes; a cabinet holds " +
           std::to_string(kCabinetMaxBytes) + " bytes at most";
  }
  return {};
}

std::string Hex(const Sha256Digest& digest) {
  std::string hex;
  for (const uint8_t byte : digest) {
    hex += "0123456789ABCDEF"[byte >> 4];
    hex += "0123456789ABCDEF"[byte & 0xF];
  }
  return hex;
}

CheckExitCode NothingWritten(std::string& report, const std::string& why) {
  report = "setup-check: " + why + "; nothing was written\n";
  return kCheckCouldNotRun;
}

}  // namespace

CheckExitCode WriteBundle(const BundleOptions& options, const FakeModule& packageReader, std::string& report) {
  std::error_code error;
  const fs::path folder(options.distribution);
  const fs::path output = fs::absolute(fs::path(options.output), error).lexically_normal();
  if (!fs::is_directory(folder, error)) return NothingWritten(report, "not a folder: " + folder.string());
  const fs::path program = ResolveHostPath(TextOf(folder / kProgramFileName));
  if (!fs::is_regular_file(program, error)) {
    return NothingWritten(report, "the folder has no " + ToUtf8(kProgramFileName) + ", which the bundle starts with");
  }
  if (Inside(output, folder)) {
    return NothingWritten(report, output.string() + " lies in DIST_DIR, whose cabinet would hold it");
  }
  // Windows takes a file whose name differs only in case for this one, and it is the one replaced.
  const fs::path target = ResolveHostPath(TextOf(output));
  if (fs::exists(target, error) && !options.force) {
    return NothingWritten(report, target.string() + " exists (--force overwrites it)");
  }
  if (!fs::is_directory(target.parent_path(), error)) {
    return NothingWritten(report, "cannot write " + target.string() + ": its folder does not exist");
  }
  std::vector<CabinetFile> files;
  if (const std::string why = CabinetFiles(folder, program, files); !why.empty()) return NothingWritten(report, why);

  CheckOptions check;
  check.distribution = options.distribution;
  const CheckResult checked = CheckDistribution(check, WindowsFolderOf(folder), packageReader);
  if (ExitCodeFor(checked.findings) == kCheckErrors) {
    report = TextReport(checked) + "setup-check: the folder has errors; nothing was written\n";
    return kCheckErrors;
  }

  const fs::path staged = fs::path(target) += ".partial";
  const fs::path cabinet = fs::path(target) += ".cab.partial";
  const ScratchFiles scratch({staged, cabinet});
  std::string why;
  const std::optional<WrittenBundle> written = WriteBundleFile(program, files, cabinet, staged, why);
  if (!written) return NothingWritten(report, why);
  fs::rename(staged, target, error);
  if (error) return NothingWritten(report, "cannot write " + target.string() + ": " + error.message());
  const BundleTrailer& trailer = written->trailer;
  report = "setup-check: wrote " + target.string() + ", " + std::to_string(written->size) + " bytes:\n  " +
           ToUtf8(kProgramFileName) + ": " + std::to_string(trailer.payloadOffset) + " bytes\n  the cabinet of " +
           std::to_string(files.size()) + " files: at " + std::to_string(trailer.payloadOffset) + ", " +
           std::to_string(trailer.payloadSize) + " bytes, SHA-256 " + Hex(trailer.sha256) + "\n" +
           (checked.findings.empty() ? "" : "  the check warns: setup-check " + folder.string() + " tells of what\n");
  return kCheckClean;
}

}  // namespace setup::check
