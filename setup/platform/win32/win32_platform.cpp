#include "setup/platform/win32/win32_platform.h"

#include <windows.h>
#include <fdi.h>
#include <objbase.h>
#include <sddl.h>
#include <wincrypt.h>

#include <io.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "setup/base/chars.h"

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
  void operator()(void* memory) const { LocalFree(memory); }
};
struct ModuleFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;
using KernelHandle = std::unique_ptr<void, HandleCloser>;
using FileHandle = std::unique_ptr<FILE, FileCloser>;
using LocalText = std::unique_ptr<wchar_t, LocalFreer>;
using LocalMemory = std::unique_ptr<void, LocalFreer>;
using OwnedModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

// Not in every SDK's headers for the oldest systems this program starts on.
constexpr DWORD kSearchSystem32 = 0x00000800;   // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;   // CALG_SHA_256, XP SP3 on

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

KernelHandle OpenForReading(const Text& path) {
  const HANDLE file = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  return KernelHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// At an absolute offset, so that no read depends on where an earlier one left the file pointer.
// 0 at the end of the file and on failure alike: a range that cannot be read is as short as one
// that is not there.
DWORD ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD size) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  return ReadFile(file, buffer, size, &got, &at) ? got : 0;
}

// A verify-only context: hashing and random numbers need no key container. PROV_RSA_AES is the
// provider type that knows SHA-256, from XP SP3 on.
class CryptoProvider {
 public:
  CryptoProvider() {
    if (!CryptAcquireContextW(&handle_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) handle_ = 0;
  }
  ~CryptoProvider() {
    if (handle_ != 0) CryptReleaseContext(handle_, 0);
  }
  CryptoProvider(const CryptoProvider&) = delete;
  CryptoProvider& operator=(const CryptoProvider&) = delete;
  HCRYPTPROV get() const { return handle_; }

 private:
  HCRYPTPROV handle_ = 0;
};

class Sha256Hash {
 public:
  explicit Sha256Hash(const CryptoProvider& provider) {
    if (provider.get() == 0 || !CryptCreateHash(provider.get(), kSha256, 0, 0, &handle_)) handle_ = 0;
  }
  ~Sha256Hash() {
    if (handle_ != 0) CryptDestroyHash(handle_);
  }
  Sha256Hash(const Sha256Hash&) = delete;
  Sha256Hash& operator=(const Sha256Hash&) = delete;
  HCRYPTHASH get() const { return handle_; }

 private:
  HCRYPTHASH handle_ = 0;
};

// Ends in '\', as GetTempPathW gives it.
std::optional<Text> TemporaryFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return std::nullopt;
  return FromWide(buffer, length);
}

std::optional<Text> UserSidText() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
  const KernelHandle ownedToken(token);
  // Room for the largest SID there is, so that one call suffices.
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } buffer;
  DWORD size = 0;
  wchar_t* text = nullptr;
  if (!GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &size) ||
      !ConvertSidToStringSidW(buffer.user.User.Sid, &text)) {
    return std::nullopt;
  }
  const LocalText ownedText(text);
  return FromWide(text, std::wcslen(text));
}

// Depth first, since a folder can go only once it is empty. A link to a folder is removed
// itself and never entered: what it points to is not the program's to delete. One buffer serves
// the whole walk; path ends in '\' and is left as it was given. True when the folder is gone.
bool RemoveTree(Text& path) {
  const size_t length = path.size();
  path += u'*';
  WIN32_FIND_DATAW found;
  FindHandle search(FindFirstFileW(Wide(path), &found));
  if (search.get() == INVALID_HANDLE_VALUE) search.release();
  for (bool more = bool(search); more; more = FindNextFileW(search.get(), &found)) {
    path.resize(length);
    path += reinterpret_cast<const char16_t*>(found.cFileName);
    const DWORD attributes = found.dwFileAttributes;
    if (path.ends_with(u"\\.") || path.ends_with(u"\\..")) continue;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
      SetFileAttributesW(Wide(path), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      DeleteFileW(Wide(path));
    } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      RemoveDirectoryW(Wide(path));
    } else {
      path += u'\\';
      RemoveTree(path);
    }
  }
  search.reset();
  path.resize(length - 1);
  const bool gone = RemoveDirectoryW(Wide(path)) || GetLastError() == ERROR_FILE_NOT_FOUND ||
                    GetLastError() == ERROR_PATH_NOT_FOUND;
  path += u'\\';
  return gone;
}

// FDI reads the cabinet and writes the files through these callbacks. The cabinet is the part
// of the program's own file the extraction names, read in place rather than copied out first.
struct CabinetStream {
  KernelHandle file;      // null: the slot is free
  uint64_t base = 0;      // where the stream's first byte lies in the file
  uint64_t size = 0;      // how far the stream may be read
  uint64_t position = 0;
};

struct Extraction {
  const Text& path;
  uint64_t offset;
  uint64_t size;
  const Text& folder;
  CabinetEntryFilter& filter;
  // FDI keeps at most the cabinet and one file open; fixed slots need no allocation in a callback
  // and close whatever FDI leaves open when it gives up.
  CabinetStream streams[4];
  bool outOfMemory = false;

  INT_PTR Open(HANDLE file, uint64_t base, uint64_t limit) {
    KernelHandle owned(file == INVALID_HANDLE_VALUE ? nullptr : file);
    if (!owned) return -1;
    for (CabinetStream& stream : streams) {
      if (stream.file) continue;
      stream = {std::move(owned), base, limit, 0};
      return reinterpret_cast<INT_PTR>(&stream);
    }
    return -1;
  }
  INT_PTR CreateEntry(const FDINOTIFICATION& note);
};

// FDI's open callback is handed only a name, so it finds the extraction in progress here; the
// program unpacks one cabinet at a time, on its one thread.
Extraction* extracting = nullptr;

CabinetStream& StreamOf(INT_PTR handle) { return *reinterpret_cast<CabinetStream*>(handle); }

void* DIAMONDAPI CabinetAlloc(ULONG size) { return std::malloc(size); }
void DIAMONDAPI CabinetFree(void* block) { std::free(block); }

// The one file FDI opens itself is the cabinet; the files it unpacks are opened on its notice.
INT_PTR DIAMONDAPI CabinetOpen(char*, int, int) {
  return extracting->Open(CreateFileW(Wide(extracting->path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                          extracting->offset, extracting->size);
}

UINT DIAMONDAPI CabinetRead(INT_PTR handle, void* buffer, UINT size) {
  CabinetStream& stream = StreamOf(handle);
  if (stream.position >= stream.size) return 0;
  const DWORD want = static_cast<DWORD>(std::min<uint64_t>(size, stream.size - stream.position));
  const DWORD got = ReadAt(stream.file.get(), stream.base + stream.position, buffer, want);
  stream.position += got;
  return got;
}

UINT DIAMONDAPI CabinetWrite(INT_PTR handle, void* buffer, UINT size) {
  DWORD written = 0;
  if (!WriteFile(StreamOf(handle).file.get(), buffer, size, &written, nullptr) || written != size) {
    return static_cast<UINT>(-1);
  }
  return written;
}

int DIAMONDAPI CabinetClose(INT_PTR handle) {
  StreamOf(handle).file.reset();
  return 0;
}

LONG DIAMONDAPI CabinetSeek(INT_PTR handle, LONG distance, int origin) {
  CabinetStream& stream = StreamOf(handle);
  const uint64_t from = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? stream.position : stream.size;
  if (distance < 0 && static_cast<uint64_t>(-static_cast<int64_t>(distance)) > from) return -1;
  const uint64_t to = from + static_cast<int64_t>(distance);
  if (to > LONG_MAX) return -1;
  stream.position = to;
  return static_cast<LONG>(to);
}

INT_PTR Extraction::CreateEntry(const FDINOTIFICATION& note) {
  const Text name = Decode(note.attribs & _A_NAME_IS_UTF ? CP_UTF8 : CP_ACP, note.psz1);
  if (!filter.Accept(name, static_cast<uint32_t>(note.cb)) || !StaysInsideFolder(name)) return -1;
  Text path = folder + name;
  // A folder that exists already is taken as it is; one that cannot be made fails the file.
  for (size_t i = folder.size(); i < path.size(); ++i) {
    if (path[i] != u'\\' && path[i] != u'/') continue;
    const char16_t separator = path[i];
    path[i] = u'\0';
    CreateDirectoryW(Wide(path), nullptr);
    path[i] = separator;
  }
  // CREATE_NEW: an entry never replaces a file, nor writes through a link planted in its place.
  return Open(CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                          nullptr),
              0, 0);
}

// An exception must not unwind through cabinet.dll's frames: running out of memory stops the
// extraction here and is raised again once FDI has returned.
INT_PTR DIAMONDAPI CabinetNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  Extraction& run = *static_cast<Extraction*>(note->pv);
  switch (type) {
    case fdintCOPY_FILE:
      try {
        return run.CreateEntry(*note);
      } catch (const std::bad_alloc&) {
        run.outOfMemory = true;
        return -1;
      }
    case fdintCLOSE_FILE_INFO:
      CabinetClose(note->hf);
      return TRUE;
    case fdintNEXT_CABINET:
      return -1;  // the payload is one cabinet; a next one would be looked for beside the program
    default:
      return 0;
  }
}

struct FdiDestroyer {
  BOOL(DIAMONDAPI* destroy)(HFDI);
  void operator()(void* context) const { destroy(context); }
};

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

std::optional<uint64_t> Win32Platform::FileSize(const Text& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string Win32Platform::ReadFileRange(const Text& path, uint64_t offset, size_t size) {
  std::string bytes;
  const std::optional<uint64_t> fileSize = FileSize(path);
  const KernelHandle file = OpenForReading(path);
  if (!fileSize || !file || offset >= *fileSize) return bytes;
  // Sized by what the file holds, so that asking past its end costs no memory.
  bytes.resize(static_cast<size_t>(std::min<uint64_t>(size, *fileSize - offset)));
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    const DWORD got = ReadAt(file.get(), offset + done, bytes.data() + done, chunk);
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

std::optional<Sha256Digest> Win32Platform::HashFileRange(const Text& path, uint64_t offset,
                                                         uint64_t size) {
  const KernelHandle file = OpenForReading(path);
  const CryptoProvider provider;
  const Sha256Hash hash(provider);
  if (!file || hash.get() == 0) return std::nullopt;
  constexpr DWORD kChunk = 64 * 1024;
  const std::unique_ptr<BYTE[]> chunk = std::make_unique_for_overwrite<BYTE[]>(kChunk);
  for (uint64_t done = 0; done < size;) {
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(size - done, kChunk));
    const DWORD got = ReadAt(file.get(), offset + done, chunk.get(), want);
    if (got == 0 || !CryptHashData(hash.get(), chunk.get(), got, 0)) return std::nullopt;
    done += got;
  }
  Sha256Digest digest;
  DWORD length = digest.size();
  if (!CryptGetHashParam(hash.get(), HP_HASHVAL, digest.data(), &length, 0) || length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

// cabinet.dll is bound at run time from the system folder, as msi.dll is: a copy beside a
// downloaded setup.exe would otherwise be the one loaded.
bool Win32Platform::ExtractCabinet(const Text& path, uint64_t offset, uint64_t size,
                                   const Text& folder, CabinetEntryFilter& filter) {
  const OwnedModule cabinet(LoadSystemLibrary(u"cabinet.dll"));
  if (!cabinet) return false;
  const auto create = ExportOf<decltype(&FDICreate)>(cabinet.get(), "FDICreate");
  const auto copy = ExportOf<decltype(&FDICopy)>(cabinet.get(), "FDICopy");
  const auto destroy = ExportOf<decltype(&FDIDestroy)>(cabinet.get(), "FDIDestroy");
  if (create == nullptr || copy == nullptr || destroy == nullptr) return false;
  Extraction run{path, offset, size, folder, filter, {}};
  extracting = &run;
  ERF error = {};
  bool done = false;
  {
    const std::unique_ptr<void, FdiDestroyer> context(
        create(CabinetAlloc, CabinetFree, CabinetOpen, CabinetRead, CabinetWrite, CabinetClose,
               CabinetSeek, cpuUNKNOWN, &error),
        FdiDestroyer{destroy});
    char name[] = "payload.cab";
    char noFolder[] = "";
    done = context && copy(context.get(), name, noFolder, 0, CabinetNotify, nullptr, &run);
  }
  extracting = nullptr;
  if (run.outOfMemory) throw std::bad_alloc();
  return done;
}

std::optional<Text> Win32Platform::CreatePrivateFolder(TextView prefix) {
  std::optional<Text> path = TemporaryFolder();
  const std::optional<Text> user = UserSidText();
  const CryptoProvider provider;
  if (!path || !user || provider.get() == 0) return std::nullopt;
  // Protected, so that nothing is inherited from the temporary folder; OICI, so that all the
  // files and folders unpacked into it get the same three entries.
  Text sddl = u"D:P(A;OICI;FA;;;";
  sddl += *user;
  sddl += u")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  void* descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Wide(sddl), SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return std::nullopt;
  }
  const LocalMemory ownedDescriptor(descriptor);
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  *path += prefix;
  const size_t digits = path->size();
  path->resize(digits + 32);
  // A folder that exists already may be someone else's, made ahead with another DACL; only one
  // this call created is used.
  for (int attempt = 0; attempt < 8; ++attempt) {
    BYTE random[16];
    if (!CryptGenRandom(provider.get(), sizeof random, random)) return std::nullopt;
    for (size_t i = 0; i < sizeof random; ++i) {
      (*path)[digits + 2 * i] = u"0123456789abcdef"[random[i] >> 4];
      (*path)[digits + 2 * i + 1] = u"0123456789abcdef"[random[i] & 15];
    }
    if (CreateDirectoryW(Wide(*path), &security)) return *path += u'\\';
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
  }
  return std::nullopt;
}

// An empty folder name would be the root of the current drive.
bool Win32Platform::RemoveFolder(const Text& folder) {
  if (folder.empty()) return false;
  Text path = folder;
  if (path.back() != u'\\') path += u'\\';
  return RemoveTree(path);
}

// An empty prefix names no folders rather than all of them, "." and ".." among them.
std::vector<Text> Win32Platform::TemporaryFolders(TextView prefix) {
  std::vector<Text> folders;
  std::optional<Text> path = TemporaryFolder();
  if (!path || prefix.empty()) return folders;
  const size_t length = path->size();
  *path += prefix;
  *path += u'*';
  WIN32_FIND_DATAW found;
  FindHandle search(FindFirstFileW(Wide(*path), &found));
  if (search.get() == INVALID_HANDLE_VALUE) search.release();
  for (bool more = bool(search); more; more = FindNextFileW(search.get(), &found)) {
    path->resize(length);
    *path += reinterpret_cast<const char16_t*>(found.cFileName);
    const TextView name = TextView(*path).substr(length);
    // The pattern matches short 8.3 names too, so the long name is compared again. A link is
    // left alone: removing "its" files would remove those of the folder it points to.
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
            FILE_ATTRIBUTE_DIRECTORY &&
        EqualsIgnoringAsciiCase(name.substr(0, prefix.size()), prefix)) {
      folders.push_back(*path + u'\\');
    }
  }
  return folders;
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
