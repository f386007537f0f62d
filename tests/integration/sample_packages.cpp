#include "tests/integration/sample_packages.h"

#include <windows.h>

#include <cstdint>
#include <string>

#include "setup/platform/win32/win32_platform.h"

namespace setup::testing {
namespace {

const wchar_t* Native(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// ctest hands over the Unix path; Wine's Z: drive is the root of the Unix tree.
Text PackageFolder() {
  wchar_t buffer[4096];
  const DWORD length = GetEnvironmentVariableW(L"SETUP_INTEGRATION_PACKAGES", buffer, 4096);
  if (length == 0 || length >= 4096) return Text();
  Text folder(reinterpret_cast<const char16_t*>(buffer), length);
  for (char16_t& c : folder) {
    if (c == u'/') c = u'\\';
  }
  if (folder.front() == u'\\') folder = u"Z:" + folder;
  if (folder.back() != u'\\') folder += u'\\';
  return folder;
}

}  // namespace

Text BuiltPackage(std::string_view name) {
  const Text folder = PackageFolder();
  return folder.empty() ? Text() : folder + FromUtf8(name);
}

Text CopyPackageInto(const TempDir& dir, std::string_view name) {
  const Text copy = dir.PathOf(name);
  if (!CopyFileW(Native(BuiltPackage(name)), Native(copy), FALSE)) return Text();
  return copy;
}

Text PackageCodeOf(std::string_view name) {
  Win32Platform platform;
  const FileContent content = platform.ReadWholeFile(BuiltPackage(name) + u".packagecode");
  return content.opened ? FromUtf8(content.bytes.View()) : Text();
}

uint32_t RunMsiexec(const Text& arguments) {
  std::wstring commandLine = L"msiexec.exe " + std::wstring(Native(arguments));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return UINT32_MAX;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = UINT32_MAX;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

uint32_t InstallSilently(const Text& package) { return RunMsiexec(u"/i \"" + package + u"\" /qn"); }

uint32_t RemoveSilently(const Text& productCode) { return RunMsiexec(u"/x " + productCode + u" /qn"); }

}  // namespace setup::testing
