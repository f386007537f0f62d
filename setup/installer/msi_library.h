#pragma once
// msi.dll bound at run time: the program is not linked against the Windows Installer, so every
// entry point is looked up by name and may be missing.

#include <array>
#include <cstdint>

#include "setup/base/text.h"
#include "setup/platform/platform.h"

namespace setup {

using MsiHandle = uint32_t;   // MSIHANDLE
using MsiResult = uint32_t;   // a Windows Installer result code

struct MsiFileTime {
  uint32_t low;
  uint32_t high;
};

inline constexpr MsiResult kMsiSuccess = 0;  // ERROR_SUCCESS
// The result a guarded call gives when its entry point is missing.
inline constexpr MsiResult kMsiEntryMissing = 1;

// The eighteen entry points in msi.dll's binding order; six of them are looked up and never called.
enum class MsiEntry {
  kOpenDatabase, kOpenProduct, kOpenPackage, kGetProductProperty, kGetProductInfo,
  kSummaryInfoGetProperty, kGetSummaryInformation, kDatabaseOpenView, kInstallProduct,
  kCloseHandle, kViewFetch, kViewClose, kRecordGetString, kViewExecute, kViewGetColumnInfo,
  kRecordGetFieldCount, kSetInternalUI, kEnableLog,
};
inline constexpr size_t kMsiEntryCount = 18;

// The exported names, indexed by MsiEntry: the program binds by them and setup-check's stand-in
// msi.dll exports under them, so that the two cannot drift apart.
inline constexpr std::array<const char*, kMsiEntryCount> kMsiEntryNames = {
    "MsiOpenDatabaseW",       "MsiOpenProductW",        "MsiOpenPackageW",
    "MsiGetProductPropertyW", "MsiGetProductInfoW",     "MsiSummaryInfoGetPropertyW",
    "MsiGetSummaryInformationW", "MsiDatabaseOpenViewW", "MsiInstallProductW",
    "MsiCloseHandle",         "MsiViewFetch",           "MsiViewClose",
    "MsiRecordGetStringW",    "MsiViewExecute",         "MsiViewGetColumnInfo",
    "MsiRecordGetFieldCount", "MsiSetInternalUI",       "MsiEnableLogW",
};
static_assert(kMsiEntryNames.back() != nullptr, "one name for every entry point");
constexpr const char* ExportName(MsiEntry entry) { return kMsiEntryNames[static_cast<size_t>(entry)]; }

// The loaded library and its entry points. Callers reach msi.dll only through the guarded calls,
// so that no call can skip the check for a missing entry point.
class MsiLibrary {
 public:
  explicit MsiLibrary(Platform& platform = DefaultPlatform()) : platform_(&platform) {}
  // Owns the loaded library: destruction releases it.
  ~MsiLibrary() { Release(); }
  MsiLibrary(const MsiLibrary&) = delete;
  MsiLibrary& operator=(const MsiLibrary&) = delete;

  // Loads msi.dll and looks up every entry point; true when the library loaded, whatever
  // entry points were found. A library already loaded is released first.
  bool Bind();
  // Unloads the library if one is loaded and forgets every entry point.
  void Release();
  bool IsLoaded() const { return module_ != nullptr; }
  bool IsBound(MsiEntry entry) const { return entries_[static_cast<size_t>(entry)] != nullptr; }

  // Guarded calls: kMsiEntryMissing when the entry point is missing. The text-out ones hand a
  // zero-filled buffer of 2048 units and take the text up to its first NUL, whatever the result.
  MsiResult OpenDatabase(const Text& path, MsiHandle& database) const;   // read-only
  MsiResult GetSummaryInformation(MsiHandle database, MsiHandle& summary) const;
  MsiResult SummaryGetProperty(MsiHandle summary, uint32_t property, uint32_t& dataType, int32_t& integer,
                               Text& text) const;
  MsiResult OpenView(MsiHandle database, const Text& query, MsiHandle& view) const;
  MsiResult ExecuteView(MsiHandle view) const;
  MsiResult FetchView(MsiHandle view, MsiHandle& record) const;
  MsiResult RecordGetString(MsiHandle record, Text& text) const;
  MsiResult GetProductInfo(const Text& product, const Text& attribute, Text& text) const;
  MsiResult InstallProduct(const Text& path, const Text& commandLine) const;
  MsiResult CloseHandle(MsiHandle handle) const;
  // Settings of the installer for this process; skipped when the entry point is missing.
  void SetInternalUI(int32_t level) const;
  void EnableLog(uint32_t mode, const Text& path, uint32_t attributes) const;

 private:
  template <typename Fn>
  Fn Entry(MsiEntry entry) const {
    return reinterpret_cast<Fn>(entries_[static_cast<size_t>(entry)]);
  }
  // The entry point's answer, or kMsiEntryMissing where msi.dll lacks it.
  template <typename Fn, typename... Args>
  MsiResult Call(MsiEntry entry, Args... arguments) const {
    const Fn call = Entry<Fn>(entry);
    return call == nullptr ? kMsiEntryMissing : call(arguments...);
  }

  Platform* platform_;
  ModuleHandle module_ = nullptr;
  EntryPoint entries_[kMsiEntryCount] = {};
};

// The record that lives for the whole process, on the default platform.
MsiLibrary& ProcessMsiLibrary();

}  // namespace setup
