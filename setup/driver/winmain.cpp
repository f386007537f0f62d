// The program's entry: it gathers nothing but the platform and hands over to the run.

#include <windows.h>

#include "setup/driver/run.h"
#include "setup/platform/win32/win32_platform.h"

// The arguments are ignored: the command line is taken as wide text from the platform, so that
// arguments outside the ANSI code page arrive unchanged.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Static, so that it outlives the process-wide msi.dll record, which is released at exit.
  static setup::Win32Platform platform;
  setup::SetDefaultPlatform(&platform);
  return setup::RunSetup(platform, setup::ProcessMsiLibrary());
}
