#include "setup/platform/host/host_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
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

std::filesystem::path FsPath(const Text& windowsPath) {
#ifdef _WIN32
  return std::filesystem::path(windowsPath);
#else
  return std::filesystem::path(HostPathOf(windowsPath));
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
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
#endif
  return path;
}

bool HostPlatform::FileExists(const Text& path) {
  if (path.empty()) return false;
  std::error_code error;
  return std::filesystem::exists(FsPath(path), error);
}

FileContent HostPlatform::ReadWholeFile(const Text& path) {
  FileContent content;
  std::error_code error;
  const auto fsPath = FsPath(path);
  if (std::filesystem::is_directory(fsPath, error)) {
    // Windows refuses to open a directory as a file with EACCES.
    content.error = u"Permission denied";
    return content;
  }
  errno = 0;
  std::ifstream stream(fsPath, std::ios::binary);
  if (!stream) {
    const int code = errno != 0 ? errno : ENOENT;
    content.error = FromUtf8(std::strerror(code));
    return content;
  }
  content.opened = true;
  content.bytes.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  return content;
}

Text HostPlatform::DecodeAnsi(std::string_view bytes) {
  Text text;
  text.reserve(bytes.size());
  for (const char byte : bytes) {
    const auto b = static_cast<unsigned char>(byte);
    text.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
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

void HostPlatform::UnloadModule(ModuleHandle module) {
  if (module != nullptr) ++unloads;
}

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
