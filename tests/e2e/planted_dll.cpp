// A library planted beside setup.exe (or in the current folder) under the name of a system
// library: msi.dll, or version.dll with the three functions setup.exe reads versions with.
// Whatever the loader does with it, its code leaves marks in "<its own path>.ran" (UTF-16LE, one
// line each): "load <command line of the process>" when it is loaded into a process, and
// "call <function> from <path of the calling module>" for each call of an export. The version.dll
// exports pass the calls on to the system's own library, so that a program that loads this one
// by mistake still works and only the marks tell on it.

#include <windows.h>

#include <initializer_list>

namespace {

HMODULE self = nullptr;

void LeaveMark(const wchar_t* what, const wchar_t* detail, const wchar_t* more = L"") {
  wchar_t path[MAX_PATH + 8] = {};
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  lstrcatW(path, L".ran");
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  for (const wchar_t* piece : {what, L" ", detail, more, L"\n"}) {
    WriteFile(file, piece, static_cast<DWORD>(lstrlenW(piece) * sizeof(wchar_t)), &written, nullptr);
  }
  CloseHandle(file);
}

#ifdef PLANTED_VERSION_DLL
// The system's version.dll, by its full path.
FARPROC SystemExport(const char* name) {
  static HMODULE system = nullptr;
  if (system == nullptr) {
    wchar_t path[MAX_PATH + 16] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    lstrcatW(path, L"\\version.dll");
    system = LoadLibraryW(path);
    if (system == nullptr) return nullptr;
  }
  return GetProcAddress(system, name);
}

// " from <path>" of the module that holds the address.
void DescribeCaller(const void* address, wchar_t (&text)[MAX_PATH + 8]) {
  lstrcpyW(text, L" from ");
  HMODULE caller = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<const wchar_t*>(address), &caller)) {
    return;
  }
  GetModuleFileNameW(caller, text + 6, MAX_PATH);
}

template <typename Function>
Function Forward(const char* name, const void* returnAddress) {
  wchar_t wideName[64] = {};
  for (int i = 0; i < 63 && name[i] != '\0'; ++i) wideName[i] = static_cast<wchar_t>(name[i]);
  wchar_t caller[MAX_PATH + 8] = {};
  DescribeCaller(returnAddress, caller);
  LeaveMark(L"call", wideName, caller);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(SystemExport(name)));
}
#endif

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    LeaveMark(L"load", GetCommandLineW());
  }
  return TRUE;
}

#ifdef PLANTED_VERSION_DLL
extern "C" __declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(const wchar_t* file,
                                                                      DWORD* handle) {
  using Fn = DWORD(WINAPI*)(const wchar_t*, DWORD*);
  const Fn real = Forward<Fn>("GetFileVersionInfoSizeW", __builtin_return_address(0));
  return real == nullptr ? 0 : real(file, handle);
}

extern "C" __declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(const wchar_t* file, DWORD handle,
                                                                 DWORD size, void* data) {
  using Fn = BOOL(WINAPI*)(const wchar_t*, DWORD, DWORD, void*);
  const Fn real = Forward<Fn>("GetFileVersionInfoW", __builtin_return_address(0));
  return real != nullptr && real(file, handle, size, data);
}

extern "C" __declspec(dllexport) BOOL WINAPI VerQueryValueW(const void* block, const wchar_t* name,
                                                            void** value, UINT* length) {
  using Fn = BOOL(WINAPI*)(const void*, const wchar_t*, void**, UINT*);
  const Fn real = Forward<Fn>("VerQueryValueW", __builtin_return_address(0));
  return real != nullptr && real(block, name, value, length);
}
#endif
