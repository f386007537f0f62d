// Stands in for the Windows Installer redistributable "instmsi30.exe" in a distribution folder:
// it leaves a mark that it ran, takes about a second as a real engine update would, and ends.
//
// The mark is the file "instmsi30.ran" beside the program (UTF-8): a line with this process's id
// (as Wine's traces show it), then the command line the program was started with. Tests read it
// to learn that the program ran and what it was handed, and compare the traced end of this
// process with the calls setup.exe made after waiting for it.

#include <windows.h>

#include <string>

namespace {

constexpr DWORD kWorkMilliseconds = 1000;

std::wstring MarkPath() {
  wchar_t module[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH + 1);
  std::wstring path(module, length);
  path.erase(path.find_last_of(L'\\') + 1);
  return path + L"instmsi30.ran";
}

void WriteMark(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
  HANDLE file = CreateFileW(MarkPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  WriteMark((std::to_wstring(GetCurrentProcessId()) + L"\n" + GetCommandLineW()).c_str());
  Sleep(kWorkMilliseconds);
  return 0;
}
