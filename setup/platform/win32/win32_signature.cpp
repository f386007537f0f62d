// Apart from the platform itself, so that setup.exe, which never asks, links no wintrust.dll.

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include "setup/platform/win32/win32_platform.h"

namespace setup {

uint32_t VerifyAuthenticode(const Text& path) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = reinterpret_cast<const wchar_t*>(path.c_str());
  WINTRUST_DATA trust = {};
  trust.cbStruct = sizeof trust;
  trust.dwUIChoice = WTD_UI_NONE;
  trust.fdwRevocationChecks = WTD_REVOKE_NONE;
  trust.dwUnionChoice = WTD_CHOICE_FILE;
  trust.pFile = &file;
  trust.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
  trust.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
  return static_cast<uint32_t>(result);
}

}  // namespace setup
