// Starts a program with an exact command line and hands its exit code on.
//
//   launcher.exe [/app:APPLICATION] [/station:NAME] COMMAND_LINE_FILE
//
// `wine prog ARGS` rebuilds the Windows command line from the Unix argument list and quotes it
// its own way, so a test that must control every character writes the command line into a file
// (UTF-8, an optional byte-order mark is dropped, nothing else is changed: no trimming of line
// ends) and lets this program pass it to CreateProcessW as it is.
//
// Without /app, the application name given to CreateProcessW is null and the system takes the
// program from the command line's first token, with its search rules (this program's folder,
// the current folder, the system folders, PATH; ".exe" appended). With /app, that path is the
// application name and the command line's first token is only what the child sees as argv[0].
//
// With /station, the child starts on the desktop "Default" of a new window station of that name,
// made without WSF_VISIBLE: where services and deployment agents run, no one can see a window,
// and a message box there waits forever.
//
// The child inherits this program's standard handles, so what it writes to standard output
// lands in the same place. After it ends, one line is written to standard output:
//   launcher: process <child's process id> exit code <unsigned decimal>
// and the exit code of this program is the child's (a shell sees only its low 8 bits; the line
// has all 32). The process id is the one Wine shows with WINEDEBUG=+pid, so that a test can tell
// the child's traced calls from those of other processes. When the child cannot be started, the
// line is
//   launcher: cannot start, error <GetLastError>
// and the exit code is 255.

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct StationCloser {
  void operator()(HWINSTA station) const { CloseWindowStation(station); }
};
struct DesktopCloser {
  void operator()(HDESK desktop) const { CloseDesktop(desktop); }
};
using Station = std::unique_ptr<std::remove_pointer_t<HWINSTA>, StationCloser>;
using Desktop = std::unique_ptr<std::remove_pointer_t<HDESK>, DesktopCloser>;

constexpr DWORD kCannotStart = 255;

// The station and its desktop live as long as their handles, so the caller keeps both until
// the child has ended. The desktop is made in the station, which takes switching this process
// to it for the call.
struct InvisibleStation {
  Station station;
  Desktop desktop;
};

bool MakeInvisibleStation(const std::wstring& name, InvisibleStation& made) {
  made.station.reset(CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr));
  if (!made.station) return false;
  const HWINSTA own = GetProcessWindowStation();
  if (!SetProcessWindowStation(made.station.get())) return false;
  made.desktop.reset(CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr));
  SetProcessWindowStation(own);
  return made.desktop != nullptr;
}

bool ReadFileBytes(const wchar_t* path, std::string& bytes) {
  Handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  return true;
}

std::wstring Utf8ToWide(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0);
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, text.data(), length);
  return text;
}

void Report(const char* format, unsigned long value, unsigned long more = 0) {
  char line[96];
  const int length = std::snprintf(line, sizeof line, format, value, more);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
}

DWORD Launch(const wchar_t* application, std::wstring commandLine, const wchar_t* stationName) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  InvisibleStation station;
  std::wstring desktop;
  if (stationName != nullptr) {
    if (!MakeInvisibleStation(stationName, station)) {
      Report("launcher: cannot start, error %lu\n", GetLastError());
      return kCannotStart;
    }
    desktop = std::wstring(stationName) + L"\\Default";
    startup.lpDesktop = desktop.data();
  }
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  // CreateProcessW may write into the command line, so it gets a private, terminated copy.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  if (!CreateProcessW(application, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    Report("launcher: cannot start, error %lu\n", GetLastError());
    return kCannotStart;
  }
  Handle processHandle(process.hProcess);
  Handle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  Report("launcher: process %lu exit code %lu\n", process.dwProcessId, exitCode);
  return exitCode;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* application = nullptr;
  const wchar_t* station = nullptr;
  int next = 1;
  if (next < argc && wcsncmp(argv[next], L"/app:", 5) == 0) application = argv[next++] + 5;
  if (next < argc && wcsncmp(argv[next], L"/station:", 9) == 0) station = argv[next++] + 9;
  if (next + 1 != argc) {
    std::fputs("usage: launcher.exe [/app:APPLICATION] [/station:NAME] COMMAND_LINE_FILE\n", stderr);
    return 2;
  }
  std::string bytes;
  if (!ReadFileBytes(argv[next], bytes)) {
    Report("launcher: cannot read the command-line file, error %lu\n", GetLastError());
    return kCannotStart;
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  return static_cast<int>(Launch(application, Utf8ToWide(bytes), station));
}
