#include "setup/platform/host/host_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <tuple>

#include "setup/base/chars.h"
#include "setup/platform/host/sha256.h"

namespace setup {
namespace {

// Windows-1252 for 0x80-0x9F, the stand-in for the system ANSI code page off Windows; the
// five unassigned bytes map to the C1 control of the same value, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

struct CloseFile {
  // A file that was only read has nothing to lose when its close fails.
  void operator()(std::FILE* file) const { static_cast<void>(std::fclose(file)); }
};
using FileCloser = std::unique_ptr<std::FILE, CloseFile>;

std::FILE* OpenForReading(const Text& windowsPath) {
#ifdef _WIN32
  return _wfopen(reinterpret_cast<const wchar_t*>(windowsPath.c_str()), L"rb");
#else
  return std::fopen(HostPathOf(windowsPath).c_str(), "rb");
#endif
}

namespace fs = std::filesystem;

Text WindowsPathOf(const fs::path& path) {
  const std::u8string utf8 = path.generic_u8string();
  Text text = FromUtf8(std::string(utf8.begin(), utf8.end()));
  std::ranges::replace(text, u'/', u'\\');
  return text;
}

Text WithSeparator(Text folder) {
  if (folder.empty() || folder.back() != u'\\') folder += u'\\';
  return folder;
}

// Without the final separator, which would make a link to a folder count as the folder itself.
fs::path FolderPath(const Text& folder) {
  Text trimmed = folder;
  while (trimmed.size() > 1 && trimmed.back() == u'\\') trimmed.pop_back();
  return HostFsPath(trimmed);
}

}  // namespace

bool SystemSatisfies(const SystemVersion& system, const OsRequirement& requirement) {
  if (system.build < requirement.build) return false;
  return std::tie(system.major, system.minor, system.servicePackMajor, system.servicePackMinor) >=
         std::tie(requirement.major, requirement.minor, requirement.servicePackMajor,
                  requirement.servicePackMinor);
}

std::string HostPathOf(const Text& windowsPath) {
  std::string path = ToUtf8(windowsPath);
#ifndef _WIN32
  std::ranges::replace(path, '\\', '/');
#endif
  return path;
}

std::filesystem::path HostFsPath(const Text& windowsPath) {
#ifdef _WIN32
  return std::filesystem::path(windowsPath);
#else
  return std::filesystem::path(HostPathOf(windowsPath));
#endif
}

bool HostPlatform::FileExists(const Text& path) {
  if (path.empty()) return false;
  std::error_code error;
  return std::filesystem::exists(HostFsPath(path), error);
}

FileContent HostPlatform::ReadWholeFile(const Text& path) {
  FileContent content;
  errno = 0;
  const FileCloser file(OpenForReading(path));
  if (!file) {
    content.error = FromUtf8(std::strerror(errno != 0 ? errno : ENOENT));
    return content;
  }
  struct stat status {};
  const bool known = fstat(fileno(file.get()), &status) == 0;
  if (known && S_ISDIR(status.st_mode)) {
    // Windows refuses to open a directory as a file with EACCES.
    content.error = u"Permission denied";
    return content;
  }
  content.opened = true;
  const size_t size = known && status.st_size > 0 ? static_cast<size_t>(status.st_size) : 0;
  content.bytes = FileBytes::ReadToEnd(file.get(), size);
  return content;
}

Text HostPlatform::DecodeAnsi(std::string_view bytes) {
  Text text(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    text[i] = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
  }
  return text;
}

Text HostPlatform::DecodeUtf8(std::string_view bytes) { return FromUtf8(bytes); }

std::optional<uint64_t> HostPlatform::FileSize(const Text& path) {
  std::error_code error;
  const fs::path file = HostFsPath(path);
  if (!fs::is_regular_file(file, error)) return std::nullopt;
  const uintmax_t size = fs::file_size(file, error);
  if (error) return std::nullopt;
  return size;
}

std::string HostPlatform::ReadFileRange(const Text& path, uint64_t offset, size_t size) {
  std::string bytes;
  const std::optional<uint64_t> fileSize = FileSize(path);
  if (!fileSize || offset >= *fileSize) return bytes;
  std::ifstream file(HostFsPath(path), std::ios::binary);
  bytes.resize(static_cast<size_t>(std::min<uint64_t>(size, *fileSize - offset)));
  if (!file.seekg(static_cast<std::streamoff>(offset))) return std::string();
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(file.gcount()));
  return bytes;
}

std::optional<Sha256Digest> HostPlatform::HashFileRange(const Text& path, uint64_t offset,
                                                        uint64_t size) {
  if (!FileSize(path)) return std::nullopt;
  std::ifstream file(HostFsPath(path), std::ios::binary);
  if (!file.seekg(static_cast<std::streamoff>(offset))) return std::nullopt;
  Sha256 hash;
  std::string chunk(size_t{64} * 1024, '\0');
  for (uint64_t done = 0; done < size;) {
    file.read(chunk.data(), static_cast<std::streamsize>(std::min<uint64_t>(size - done, chunk.size())));
    const auto got = static_cast<size_t>(file.gcount());
    if (got == 0) return std::nullopt;
    hash.Update(std::string_view(chunk.data(), got));
    done += got;
  }
  return hash.Finish();
}

bool HostPlatform::ExtractCabinet(const Text& path, uint64_t offset, uint64_t size,
                                  const Text& folder, CabinetEntryFilter& filter) {
  extractions.push_back({path, offset, size, folder});
  const auto found = cabinets.find(path);
  if (found == cabinets.end()) return false;
  for (const CabinetEntry& entry : found->second) {
    if (!filter.Accept(entry.name, entry.bytes.size()) || !StaysInsideFolder(entry.name)) return false;
    const fs::path file = HostFsPath(WithSeparator(folder) + entry.name);
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (fs::exists(fs::symlink_status(file, error))) return false;
    std::ofstream out(file, std::ios::binary);
    if (!out.write(entry.bytes.data(), static_cast<std::streamsize>(entry.bytes.size()))) return false;
  }
  return true;
}

Text HostPlatform::TemporaryRoot() const {
  if (!tempDirectory.empty()) return WithSeparator(tempDirectory);
  std::error_code error;
  return WithSeparator(WindowsPathOf(fs::temp_directory_path(error)));
}

std::optional<Text> HostPlatform::CreatePrivateFolder(TextView prefix) {
  std::random_device random;
  for (int attempt = 0; attempt < 8; ++attempt) {
    Text path = TemporaryRoot() + Text(prefix);
    for (int i = 0; i < 32; ++i) path += u"0123456789abcdef"[random() % 16];
    std::error_code error;
    // false without an error: the folder was there already, and is not taken over.
    if (fs::create_directory(HostFsPath(path), error)) {
      fs::permissions(HostFsPath(path), fs::perms::owner_all, error);
      return path + u'\\';
    }
    if (error) return std::nullopt;
  }
  return std::nullopt;
}

// Write permission stands in for the read-only attribute: without it on a folder, nothing in
// the folder could be deleted.
bool HostPlatform::RemoveFolder(const Text& folder) {
  const fs::path root = FolderPath(folder);
  std::error_code error;
  if (fs::is_directory(fs::symlink_status(root, error))) {
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, error);
    for (auto entry = fs::recursive_directory_iterator(root, error);
         !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
      if (!entry->is_symlink()) fs::permissions(entry->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
  }
  fs::remove_all(root, error);
  return !fs::exists(fs::symlink_status(root, error));
}

std::vector<Text> HostPlatform::TemporaryFolders(TextView prefix) {
  std::vector<Text> folders;
  if (prefix.empty()) return folders;
  const Text root = TemporaryRoot();
  std::error_code error;
  for (auto entry = fs::directory_iterator(HostFsPath(root), error);
       !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const std::u8string utf8 = entry->path().filename().u8string();
    const Text name = FromUtf8(std::string(utf8.begin(), utf8.end()));
    if (entry->is_directory() && !entry->is_symlink() &&
        EqualsIgnoringAsciiCase(TextView(name).substr(0, prefix.size()), prefix)) {
      folders.push_back(root + name + u'\\');
    }
  }
  std::ranges::sort(folders);  // directory order is the file system's; tests need a steady one
  return folders;
}

Text HostPlatform::SystemMessageText(uint32_t code) {
  const auto found = systemMessages.find(code);
  return found == systemMessages.end() ? Text() : found->second;
}

ModuleHandle HostPlatform::LoadModule(const Text& name) {
  const auto found = modules.find(name);
  if (found == modules.end()) return nullptr;
  ++loads;
  return &found->second;
}

EntryPoint HostPlatform::FindEntryPoint(ModuleHandle module, const char* name) {
  const auto* fake = static_cast<const FakeModule*>(module);
  if (fake == nullptr) return nullptr;
  const auto found = fake->exports.find(name);
  return found == fake->exports.end() ? nullptr : found->second;
}

// Every call counts, a null handle too: the program must never ask to unload nothing.
void HostPlatform::UnloadModule(ModuleHandle) { ++unloads; }

std::optional<ProductVersionWords> HostPlatform::ReadProductVersion(const Text& path) {
  const auto found = productVersions.find(path);
  if (found == productVersions.end()) return std::nullopt;
  return found->second;
}

bool HostPlatform::RunAndWait(const Text& path) {
  runRequests.push_back(path);
  return onRun ? onRun(path) : FileExists(path);
}

}  // namespace setup
