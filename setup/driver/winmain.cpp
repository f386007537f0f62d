// The program's entry: it gathers nothing but the platform and hands over to the run.

#include <windows.h>

#include "setup/driver/run.h"
#include "setup/platform/win32/win32_platform.h"

namespace {

// setup.exe is often started from a folder others can write to (Downloads, a share): a DLL
// planted there must never be loaded in its place. Systems before the search-flag update lack
// SetDefaultDllDirectories; there, at least the current directory leaves the search path.
void RestrictLibrarySearchToSystem() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  constexpr DWORD kSearchSystem32 = 0x00000800;   // LOAD_LIBRARY_SEARCH_SYSTEM32
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto restrict =
      kernel == nullptr ? nullptr
                        : reinterpret_cast<SetDefaultDllDirectoriesFn>(
                              reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (restrict == nullptr || !restrict(kSearchSystem32)) SetDllDirectoryW(L"");
}

}  // namespace

// The arguments are ignored: the command line is taken as wide text from the platform, so that
// arguments outside the ANSI code page arrive unchanged.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictLibrarySearchToSystem();
  // Static, so that it outlives the process-wide msi.dll record.
  static setup::Win32Platform platform;
  setup::SetDefaultPlatform(&platform);
  // Windows keeps the int's 32 bits as the exit code, so a result above INT_MAX ends unchanged.
  return static_cast<int>(setup::RunSetup(platform, setup::ProcessMsiLibrary()));
}
