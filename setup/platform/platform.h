#pragma once
// Everything the program asks of the operating system. The logic reaches Windows only through
// this interface: win32/ implements it with a call or two per member, host/ answers from what a
// test (or a dry run) sets up and reads real files.

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/base/text.h"

namespace setup {

// The character type of the Windows wide API: one declaration of an msi.dll entry point then
// serves the real library on Windows and the fake one in host tests.
#ifdef _WIN32
using NativeChar = wchar_t;
#define SETUP_WINAPI __stdcall
#else
using NativeChar = char16_t;
#define SETUP_WINAPI
#endif
static_assert(sizeof(NativeChar) == sizeof(char16_t));

inline const NativeChar* AsNative(const Text& text) {
  return reinterpret_cast<const NativeChar*>(text.c_str());
}
inline NativeChar* AsNative(char16_t* text) { return reinterpret_cast<NativeChar*>(text); }

// A file's bytes, kept in storage typed as UTF-16 units: one unit for each byte and one for a
// NUL. A reader can then decode the file into this same block, so that the bytes and their text
// are never held side by side; the bytes themselves are reached as chars, which may view any
// object.
class FileBytes {
 public:
  // Reads a binary stream to its end: `expected` bytes in one read, then whatever a file that
  // grew since, or one whose size was not known, still holds.
  static FileBytes ReadToEnd(std::FILE* file, size_t expected);

  std::string_view View() const { return {Bytes(), size_}; }
  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  // Hands over the storage, room for Size() + 1 units whose bytes begin with the file's; this
  // object is left empty.
  std::unique_ptr<char16_t[]> ReleaseUnits();

 private:
  char* Bytes() const { return reinterpret_cast<char*>(units_.get()); }
  void Reserve(size_t bytes);  // room for at least `bytes` bytes and the NUL unit

  std::unique_ptr<char16_t[]> units_;
  size_t capacity_ = 0;  // in units
  size_t size_ = 0;      // in bytes
};

// The outcome of opening and reading a whole file in binary mode.
struct FileContent {
  bool opened = false;
  FileBytes bytes;     // the file's bytes when opened
  Text error;          // the C library's message for the failed open ("No such file or directory")
};

// The lowest system an operating-system entry accepts, compared field by field as
// VerifyVersionInfoW does with VER_GREATER_EQUAL on all five.
struct OsRequirement {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint16_t servicePackMajor = 0;
  uint16_t servicePackMinor = 0;
};

// A file's product version: the four 16-bit parts, most significant first.
using ProductVersionWords = std::array<uint16_t, 4>;

using ModuleHandle = void*;
using EntryPoint = void (*)();

// Decides, entry by entry, what a cabinet may put into a folder. Names are as the cabinet stores
// them (relative, folders separated by '\'), sizes as it declares them.
// A SHA-256 digest, as the system hashes a range of a file.
using Sha256Digest = std::array<uint8_t, 32>;

class CabinetEntryFilter {
 public:
  virtual ~CabinetEntryFilter() = default;
  virtual bool Accept(TextView name, uint64_t size) = 0;
};

// Whether a cabinet entry's name, put after a folder's path, stays inside the folder whatever
// Windows' path rules make of it: no root, drive or stream, and no component Windows would read
// as "." or "..", to which it strips trailing dots and blanks. The filter judges the names; both
// platforms still check this, so that no filter can let a file out.
bool StaysInsideFolder(TextView name);

// Message box styles the program uses.
inline constexpr uint32_t kIconInformation = 0x40;   // MB_ICONINFORMATION
inline constexpr uint32_t kErrorBoxStyle = 0x1010;   // MB_SYSTEMMODAL | MB_ICONERROR

class Platform {
 public:
  virtual ~Platform() = default;

  // Process facts.
  virtual Text CommandLine() = 0;                        // GetCommandLineW
  virtual std::optional<Text> ModuleFileName() = 0;      // nullopt when there is no module handle
  virtual uint16_t UserDefaultLanguage() = 0;            // GetUserDefaultLangID

  // Files. Paths are Windows paths; existence is a file search where any match counts.
  virtual bool FileExists(const Text& path) = 0;
  virtual FileContent ReadWholeFile(const Text& path) = 0;
  virtual Text DecodeAnsi(std::string_view bytes) = 0;   // the system ANSI code page
  virtual Text DecodeUtf8(std::string_view bytes) = 0;   // malformed bytes become U+FFFD

  // Parts of a file, for a payload carried inside the program's own file: nothing is read
  // before it is needed, and nothing is copied to be read again.
  virtual std::optional<uint64_t> FileSize(const Text& path) = 0;
  // The bytes from offset on, fewer where the file ends first; empty when it cannot be read.
  virtual std::string ReadFileRange(const Text& path, uint64_t offset, size_t size) = 0;
  // SHA-256 of the range, read a chunk at a time; nullopt when the file cannot be read or ends
  // before the range does, since a hash of fewer bytes would only ever fail to match.
  virtual std::optional<Sha256Digest> HashFileRange(const Text& path, uint64_t offset,
                                                    uint64_t size) = 0;
  // Unpacks the cabinet stored at offset in the file into folder (ending in '\'), asking the
  // filter before each entry. Stops at the first entry refused, or named so that it would land
  // outside the folder, or whose file cannot be made; never writes over an existing file. What
  // was written until then stays for the caller to remove.
  virtual bool ExtractCabinet(const Text& path, uint64_t offset, uint64_t size, const Text& folder,
                              CabinetEntryFilter& filter) = 0;

  // Folders of the program's own under the user's temporary folder. A new one is named prefix
  // and 32 random hexadecimal digits, never an existing one taken over, and only the user,
  // SYSTEM and Administrators may reach it or anything in it: another user on the machine must
  // not be able to plant a file in it between unpacking and installing. Paths end in '\'.
  virtual std::optional<Text> CreatePrivateFolder(TextView prefix) = 0;
  // Removes the folder with everything in it, read-only files too, and links inside it without
  // following them; false when anything is left (true for a folder that is not there).
  virtual bool RemoveFolder(const Text& folder) = 0;
  // The folders directly under the user's temporary folder whose names begin with prefix, such
  // as those a run that was killed could not remove; none for an empty prefix, which would name
  // the temporary folder itself (".") among them. Links to folders are not listed.
  virtual std::vector<Text> TemporaryFolders(TextView prefix) = 0;

  // What the user sees. A box is shown only where a person can see it: in a window station
  // without WSF_VISIBLE, where services and deployment agents run, MessageBoxW never returns and
  // an unattended installation would wait until it is killed. Skipping the box lets the run end
  // as it would have once the box was closed.
  void ShowMessageBox(const Text& text, const Text& caption, uint32_t style);
  // The "Error" box for a Windows result code: the system's text for it, or "Error <code>."
  // where the system has none, so that the user still has a number to look up.
  void ShowErrorBox(uint32_t code);
  virtual void WriteStandardOutput(const Text& text) = 0;
  virtual Text SystemMessageText(uint32_t code) = 0;     // empty when the system has none
  // Whether a person can see a box this process shows; true when that cannot be told.
  virtual bool PersonCanSeeBoxes() = 0;

  // The running system.
  virtual bool IsSystemAtLeast(const OsRequirement& requirement) = 0;

  // Libraries (LoadLibraryW, GetProcAddress, FreeLibrary): null handle or null entry point when missing.
  virtual ModuleHandle LoadModule(const Text& name) = 0;
  virtual EntryPoint FindEntryPoint(ModuleHandle module, const char* name) = 0;
  virtual void UnloadModule(ModuleHandle module) = 0;
  virtual std::optional<ProductVersionWords> ReadProductVersion(const Text& path) = 0;

  // Starts the program with no arguments and waits for it without limit; false when it
  // could not be started.
  virtual bool RunAndWait(const Text& path) = 0;

  virtual int32_t InitializeCom() = 0;                   // CoInitialize's HRESULT

 protected:
  virtual void PresentMessageBox(const Text& text, const Text& caption, uint32_t style) = 0;
};

// The platform the program's objects use when none is handed to them. The entry installs the
// Win32 one; tests hand their own platform to the objects instead.
Platform& DefaultPlatform();
void SetDefaultPlatform(Platform* platform);

}  // namespace setup
