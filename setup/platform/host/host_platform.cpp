#include "setup/platform/host/host_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <filesystem>
#include <memory>
#include <tuple>

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
