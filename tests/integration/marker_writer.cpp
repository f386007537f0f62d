// A program for RunAndWait: it takes its time, then leaves "<its own path>.done" behind, so that
// a caller that finds the file right after RunAndWait returns has really waited for it.

#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return 1;
  Sleep(500);
  const std::wstring marker = std::wstring(path, length) + L".done";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  CloseHandle(file);
  return 0;
}
