#pragma once
// msi.dll bound at run time: the program is not linked against the Windows Installer, so every
// entry point is looked up by name and may be missing.

#include <cstdint>

#include "setup/base/text.h"
#include "setup/platform/platform.h"

namespace setup {

using MsiHandle = uint32_t;   // MSIHANDLE
using MsiResult = uint32_t;   // a Windows Installer result code; 0 is success

struct MsiFileTime {
  uint32_t low;
  uint32_t high;
};

// The eighteen entry points, typed as msi.dll exports them.
using MsiOpenDatabaseWFn = MsiResult(SETUP_WINAPI*)(const NativeChar* path, const NativeChar* persist,
                                                     MsiHandle* database);
using MsiOpenProductWFn = MsiResult(SETUP_WINAPI*)(const NativeChar* product, MsiHandle* handle);
using MsiOpenPackageWFn = MsiResult(SETUP_WINAPI*)(const NativeChar* path, MsiHandle* handle);
using MsiGetProductPropertyWFn = MsiResult(SETUP_WINAPI*)(MsiHandle product, const NativeChar* property,
                                                           NativeChar* buffer, uint32_t* capacity);
using MsiGetProductInfoWFn = MsiResult(SETUP_WINAPI*)(const NativeChar* product, const NativeChar* attribute,
                                                       NativeChar* buffer, uint32_t* capacity);
using MsiSummaryInfoGetPropertyWFn = MsiResult(SETUP_WINAPI*)(MsiHandle summary, uint32_t property,
                                                               uint32_t* dataType, int32_t* integer,
                                                               MsiFileTime* fileTime, NativeChar* buffer,
                                                               uint32_t* capacity);
using MsiGetSummaryInformationWFn = MsiResult(SETUP_WINAPI*)(MsiHandle database, const NativeChar* path,
                                                              uint32_t updateCount, MsiHandle* summary);
using MsiDatabaseOpenViewWFn = MsiResult(SETUP_WINAPI*)(MsiHandle database, const NativeChar* query,
                                                         MsiHandle* view);
using MsiInstallProductWFn = MsiResult(SETUP_WINAPI*)(const NativeChar* path, const NativeChar* commandLine);
using MsiCloseHandleFn = MsiResult(SETUP_WINAPI*)(MsiHandle handle);
using MsiViewFetchFn = MsiResult(SETUP_WINAPI*)(MsiHandle view, MsiHandle* record);
using MsiViewCloseFn = MsiResult(SETUP_WINAPI*)(MsiHandle view);
using MsiRecordGetStringWFn = MsiResult(SETUP_WINAPI*)(MsiHandle record, uint32_t field, NativeChar* buffer,
                                                        uint32_t* capacity);
using MsiViewExecuteFn = MsiResult(SETUP_WINAPI*)(MsiHandle view, MsiHandle parameters);
using MsiViewGetColumnInfoFn = MsiResult(SETUP_WINAPI*)(MsiHandle view, int32_t kind, MsiHandle* record);
using MsiRecordGetFieldCountFn = uint32_t(SETUP_WINAPI*)(MsiHandle record);
using MsiSetInternalUIFn = int32_t(SETUP_WINAPI*)(int32_t level, void** window);
using MsiEnableLogWFn = MsiResult(SETUP_WINAPI*)(uint32_t mode, const NativeChar* path, uint32_t attributes);

// The result a guarded call gives when its entry point is missing.
inline constexpr MsiResult kMsiEntryMissing = 1;

class MsiLibrary {
 public:
  explicit MsiLibrary(Platform& platform = DefaultPlatform()) : platform_(&platform) {}
  // Owns the loaded library: destruction releases it.
  ~MsiLibrary() { Release(); }
  MsiLibrary(const MsiLibrary&) = delete;
  MsiLibrary& operator=(const MsiLibrary&) = delete;

  // Forgets the library handle and every entry point without unloading anything.
  void Clear();
  // Loads msi.dll and looks up every entry point; true when the library loaded, whatever
  // entry points were found.
  bool Bind();
  // Unloads the library if one is loaded; the handle becomes null.
  void Release();
  bool IsLoaded() const { return module_ != nullptr; }

  // Guarded calls: kMsiEntryMissing when the entry point is missing. The text-out ones hand a
  // zero-filled buffer of 2048 units and take the text up to its first NUL, whatever the result.
  MsiResult OpenView(MsiHandle database, const Text& query, MsiHandle& view) const;
  MsiResult ExecuteView(MsiHandle view) const;
  MsiResult RecordGetString(MsiHandle record, Text& text) const;
  MsiResult SummaryGetProperty(MsiHandle summary, uint32_t property, uint32_t& dataType, int32_t& integer,
                               Text& text) const;
  MsiResult GetProductInfo(const Text& product, const Text& attribute, Text& text) const;
  MsiResult CloseHandle(MsiHandle handle) const;

  // The entry points, in msi.dll's binding order; null while not bound.
  MsiOpenDatabaseWFn openDatabase = nullptr;
  MsiOpenProductWFn openProduct = nullptr;
  MsiOpenPackageWFn openPackage = nullptr;
  MsiGetProductPropertyWFn getProductProperty = nullptr;
  MsiGetProductInfoWFn getProductInfo = nullptr;
  MsiSummaryInfoGetPropertyWFn summaryInfoGetProperty = nullptr;
  MsiGetSummaryInformationWFn getSummaryInformation = nullptr;
  MsiDatabaseOpenViewWFn databaseOpenView = nullptr;
  MsiInstallProductWFn installProduct = nullptr;
  MsiCloseHandleFn closeHandle = nullptr;
  MsiViewFetchFn viewFetch = nullptr;
  MsiViewCloseFn viewClose = nullptr;
  MsiRecordGetStringWFn recordGetString = nullptr;
  MsiViewExecuteFn viewExecute = nullptr;
  MsiViewGetColumnInfoFn viewGetColumnInfo = nullptr;
  MsiRecordGetFieldCountFn recordGetFieldCount = nullptr;
  MsiSetInternalUIFn setInternalUI = nullptr;
  MsiEnableLogWFn enableLog = nullptr;

 private:
  Platform* platform_;
  ModuleHandle module_ = nullptr;
};

// The record that lives for the whole process, on the default platform.
MsiLibrary& ProcessMsiLibrary();

}  // namespace setup
