#include "setup/platform/win32/win32_platform.h"

#include <windows.h>
#include <objbase.h>

#include <io.h>

#include <cerrno>
#include <cstdint>
#include <new>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace setup {
namespace {

const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
Text FromWide(const wchar_t* text, size_t length) {
  return Text(reinterpret_cast<const char16_t*>(text), length);
}

// Owners of the kernel objects the platform opens, so that no path forgets to close one.
struct FindCloser {
  void operator()(HANDLE handle) const { FindClose(handle); }
};
struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
struct LocalFreer {
  void operator()(wchar_t* text) const { LocalFree(text); }
};
struct ModuleFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;
using KernelHandle = std::unique_ptr<void, HandleCloser>;
using FileHandle = std::unique_ptr<FILE, FileCloser>;
using LocalText = std::unique_ptr<wchar_t, LocalFreer>;
using OwnedModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

// Not in every SDK's headers for the oldest systems this program starts on.
constexpr DWORD kSearchSystem32 = 0x00000800;   // LOAD_LIBRARY_SEARCH_SYSTEM32

std::wstring SystemDirectory() {
  wchar_t buffer[MAX_PATH + 1];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}

// A bare library name always means the one in the system directory: the folder setup.exe runs
// from (Downloads, a share) may hold a planted copy. Empty when the system directory is unknown,
// rather than a path from the root of the current drive.
std::wstring SystemPathOf(const Text& name) {
  const std::wstring wide(reinterpret_cast<const wchar_t*>(name.c_str()), name.size());
  if (wide.find_first_of(L"\\/:") != std::wstring::npos) return wide;
  const std::wstring directory = SystemDirectory();
  return directory.empty() ? std::wstring() : directory + L"\\" + wide;
}

// Through the generic function type, which converts to any other without a warning.
template <typename Function>
Function ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// By the full path: a bare name, whatever the search flags, is answered with any module of that
// name already in the process, wherever it was loaded from.
HMODULE LoadSystemLibrary(const Text& name) {
  const std::wstring path = SystemPathOf(name);
  if (path.empty()) return nullptr;
  if (HMODULE module = LoadLibraryExW(path.c_str(), nullptr, kSearchSystem32)) return module;
  // Systems without the search flags refuse them as an invalid parameter; there the altered
  // search order looks for the library's own dependencies in the system directory first.
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// version.dll is not among the libraries Windows always takes from the system directory, so
// it is loaded from there at run time instead of being imported.
struct VersionLibrary {
  VersionLibrary() : module(LoadSystemLibrary(u"version.dll")) {
    if (!module) return;
    getSize = ExportOf<decltype(getSize)>(module.get(), "GetFileVersionInfoSizeW");
    getInfo = ExportOf<decltype(getInfo)>(module.get(), "GetFileVersionInfoW");
    query = ExportOf<decltype(query)>(module.get(), "VerQueryValueW");
  }
  bool usable() const { return getSize != nullptr && getInfo != nullptr && query != nullptr; }

  OwnedModule module;
  DWORD(WINAPI* getSize)(const wchar_t*, DWORD*) = nullptr;
  BOOL(WINAPI* getInfo)(const wchar_t*, DWORD, DWORD, void*) = nullptr;
  BOOL(WINAPI* query)(const void*, const wchar_t*, void**, UINT*) = nullptr;
};

// The layouts Windows takes, per architecture: STARTUPINFOW holds pointers and handles, which
// double in size; OSVERSIONINFOEXW holds none.
#ifdef _WIN64
static_assert(sizeof(STARTUPINFOW) == 104, "the 64-bit STARTUPINFOW");
#else
static_assert(sizeof(STARTUPINFOW) == 68, "the 32-bit STARTUPINFOW");
#endif
static_assert(sizeof(OSVERSIONINFOEXW) == 284, "OSVERSIONINFOEXW, the same on both");

Text Decode(UINT codePage, std::string_view bytes) {
  if (bytes.empty()) return Text();
  const int size = static_cast<int>(bytes.size());
  Text text(bytes.size(), u'\0');
  const int produced = MultiByteToWideChar(codePage, 0, bytes.data(), size,
                                           reinterpret_cast<wchar_t*>(text.data()), size);
  text.resize(produced > 0 ? static_cast<size_t>(produced) : 0);
  return text;
}

}  // namespace

Text Win32Platform::CommandLine() {
  const wchar_t* line = GetCommandLineW();
  return line == nullptr ? Text() : FromWide(line, std::wcslen(line));
}

std::optional<Text> Win32Platform::ModuleFileName() {
  HMODULE module = GetModuleHandleW(nullptr);
  if (module == nullptr) return std::nullopt;
  // A long path must not arrive cut, so the buffer grows until the whole name fits.
  std::vector<wchar_t> buffer(1024, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size() || buffer.size() >= 32768) return FromWide(buffer.data(), length);
    buffer.assign(buffer.size() * 2, L'\0');
  }
}

uint16_t Win32Platform::UserDefaultLanguage() { return GetUserDefaultLangID(); }

bool Win32Platform::FileExists(const Text& path) {
  WIN32_FIND_DATAW found;
  FindHandle search(FindFirstFileW(Wide(path), &found));
  if (search.get() == INVALID_HANDLE_VALUE) {
    search.release();
    return false;
  }
  return true;
}

FileContent Win32Platform::ReadWholeFile(const Text& path) {
  FileContent content;
  FileHandle file(_wfopen(Wide(path), L"rb"));
  if (!file) {
    content.error = FromUtf8(std::strerror(errno));
    return content;
  }
  content.opened = true;
  const __int64 size = _filelengthi64(_fileno(file.get()));
  // A file this process could never hold is reported like any other lack of memory.
  if (size > 0 && static_cast<unsigned __int64>(size) > (SIZE_MAX - 2) / 2) throw std::bad_alloc();
  content.bytes = FileBytes::ReadToEnd(file.get(), size > 0 ? static_cast<size_t>(size) : 0);
  return content;
}

std::optional<Text> DecodeWithCodePage(uint32_t codePage, std::string_view bytes) {
  if (!IsValidCodePage(codePage)) return std::nullopt;
  return Decode(codePage, bytes);
}

Text Win32Platform::DecodeAnsi(std::string_view bytes) { return Decode(CP_ACP, bytes); }
Text Win32Platform::DecodeUtf8(std::string_view bytes) { return Decode(CP_UTF8, bytes); }

void Win32Platform::PresentMessageBox(const Text& text, const Text& caption, uint32_t style) {
  MessageBoxW(nullptr, Wide(text), Wide(caption), style);
}

// The handle of the process's window station is not the caller's to close. A station that
// cannot be asked counts as visible, so that a person at a desktop never loses a message to a
// failed query.
bool Win32Platform::PersonCanSeeBoxes() {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags = {};
  if (station == nullptr ||
      !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) {
    return true;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void Win32Platform::WriteStandardOutput(const Text& text) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  // As a text-mode C stream would write it: UTF-8, each line feed preceded by a carriage return.
  std::string bytes;
  for (const char byte : ToUtf8(text)) {
    if (byte == '\n') bytes.push_back('\r');
    bytes.push_back(byte);
  }
  DWORD written = 0;
  WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

Text Win32Platform::SystemMessageText(uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, 1024, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  LocalText owned(buffer);
  return length == 0 || buffer == nullptr ? Text() : FromWide(buffer, length);
}

bool Win32Platform::IsSystemAtLeast(const OsRequirement& requirement) {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  info.dwMajorVersion = requirement.major;
  info.dwMinorVersion = requirement.minor;
  info.dwBuildNumber = requirement.build;
  info.wServicePackMajor = requirement.servicePackMajor;
  info.wServicePackMinor = requirement.servicePackMinor;
  ULONGLONG mask = 0;
  DWORD fields = 0;
  for (const DWORD field :
       {VER_MAJORVERSION, VER_MINORVERSION, VER_BUILDNUMBER, VER_SERVICEPACKMAJOR, VER_SERVICEPACKMINOR}) {
    mask = VerSetConditionMask(mask, field, VER_GREATER_EQUAL);
    fields |= field;
  }
  return VerifyVersionInfoW(&info, fields, mask) != FALSE;
}

ModuleHandle Win32Platform::LoadModule(const Text& name) { return LoadSystemLibrary(name); }

EntryPoint Win32Platform::FindEntryPoint(ModuleHandle module, const char* name) {
  return reinterpret_cast<EntryPoint>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void Win32Platform::UnloadModule(ModuleHandle module) { FreeLibrary(static_cast<HMODULE>(module)); }

std::optional<ProductVersionWords> Win32Platform::ReadProductVersion(const Text& path) {
  const VersionLibrary version;
  if (!version.usable()) return std::nullopt;
  const std::wstring file = SystemPathOf(path);
  if (file.empty()) return std::nullopt;
  DWORD ignored = 0;
  const DWORD size = version.getSize(file.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  // Twice the reported size: some systems write past it when converting ANSI resources.
  std::vector<unsigned char> block(size * 2);
  if (!version.getInfo(file.c_str(), 0, size, block.data())) return std::nullopt;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!version.query(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr) {
    return std::nullopt;
  }
  return ProductVersionWords{HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                             HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS)};
}

bool Win32Platform::RunAndWait(const Text& path) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(Wide(path), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  KernelHandle processHandle(process.hProcess);
  KernelHandle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  return true;
}

int32_t Win32Platform::InitializeCom() { return CoInitialize(nullptr); }

}  // namespace setup
