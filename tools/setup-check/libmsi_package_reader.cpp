// The package reader of the host build: msi.dll's read-only calls answered by Debian's libmsi,
// which reads the same compound files as the Windows Installer.

#include <libmsi.h>

#include <algorithm>
#include <map>

#include "setup/installer/msi_library.h"
#include "tools/setup-check/host_paths.h"
#include "tools/setup-check/package_reader.h"

namespace setup::check {
namespace {

constexpr MsiResult kInvalidHandle = 6;      // ERROR_INVALID_HANDLE
constexpr MsiResult kNoMoreItems = 259;      // ERROR_NO_MORE_ITEMS
constexpr MsiResult kFunctionFailed = 1627;  // ERROR_FUNCTION_FAILED

constexpr uint32_t kVtEmpty = 0;
constexpr uint32_t kVtI2 = 2;
constexpr uint32_t kVtI4 = 3;
constexpr uint32_t kVtLpstr = 30;
constexpr uint32_t kVtFiletime = 64;

// libmsi's error codes are named after the Windows Installer's; these are their numbers there.
MsiResult WindowsCodeOf(const GError* error) {
  if (error == nullptr) return kFunctionFailed;
  switch (static_cast<LibmsiResultError>(error->code)) {
    case LIBMSI_RESULT_SUCCESS: return 0;
    case LIBMSI_RESULT_ACCESS_DENIED: return 5;
    case LIBMSI_RESULT_INVALID_HANDLE: return kInvalidHandle;
    case LIBMSI_RESULT_NOT_ENOUGH_MEMORY: return 8;
    case LIBMSI_RESULT_INVALID_DATA: return 13;
    case LIBMSI_RESULT_OUTOFMEMORY: return 14;
    case LIBMSI_RESULT_INVALID_PARAMETER: return kMsiInvalidParameter;
    case LIBMSI_RESULT_OPEN_FAILED: return 110;
    case LIBMSI_RESULT_CALL_NOT_IMPLEMENTED: return 120;
    case LIBMSI_RESULT_MORE_DATA: return kMsiMoreData;
    case LIBMSI_RESULT_NOT_FOUND: return 1168;
    case LIBMSI_RESULT_CONTINUE: return 1246;
    case LIBMSI_RESULT_UNKNOWN_PROPERTY: return 1608;
    case LIBMSI_RESULT_BAD_QUERY_SYNTAX: return 1615;
    case LIBMSI_RESULT_INVALID_FIELD: return 1616;
    case LIBMSI_RESULT_FUNCTION_FAILED: return kFunctionFailed;
    case LIBMSI_RESULT_INVALID_TABLE: return 1628;
    case LIBMSI_RESULT_DATATYPE_MISMATCH: return 1629;
    case LIBMSI_RESULT_INVALID_DATATYPE: return 1804;
  }
  return kFunctionFailed;
}

// The error of one libmsi call, freed whatever path leaves the scope.
class CallError {
 public:
  CallError() = default;
  ~CallError() {
    if (error_ != nullptr) g_error_free(error_);
  }
  CallError(const CallError&) = delete;
  CallError& operator=(const CallError&) = delete;
  GError** out() { return &error_; }
  MsiResult Code() const { return WindowsCodeOf(error_); }

 private:
  GError* error_ = nullptr;
};

// Windows Installer handles for libmsi's objects; each handle holds one reference.
class HandleTable {
 public:
  MsiHandle Add(gpointer object) {
    const MsiHandle handle = next_++;
    objects_[handle] = object;
    return handle;
  }
  template <typename T>
  T* Find(MsiHandle handle) const {
    const auto found = objects_.find(handle);
    return found == objects_.end() ? nullptr : static_cast<T*>(found->second);
  }
  bool Close(MsiHandle handle) {
    const auto found = objects_.find(handle);
    if (found == objects_.end()) return false;
    g_object_unref(found->second);
    objects_.erase(found);
    return true;
  }

 private:
  std::map<MsiHandle, gpointer> objects_;
  MsiHandle next_ = 1;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

MsiResult OpenDatabase(const NativeChar* path, const NativeChar*, MsiHandle* database) {
  if (database == nullptr) return kMsiInvalidParameter;
  const std::u8string hostPath = ResolveHostPath(TextOf(path)).u8string();
  CallError error;
  LibmsiDatabase* opened = libmsi_database_new(reinterpret_cast<const gchar*>(hostPath.c_str()),
                                               LIBMSI_DB_FLAGS_READONLY, nullptr, error.out());
  if (opened == nullptr) return error.Code();
  *database = Handles().Add(opened);
  return 0;
}

MsiResult GetSummaryInformation(MsiHandle database, const NativeChar*, uint32_t, MsiHandle* summary) {
  auto* db = Handles().Find<LibmsiDatabase>(database);
  if (db == nullptr || summary == nullptr) return kInvalidHandle;
  CallError error;
  LibmsiSummaryInfo* info = libmsi_summary_info_new(db, 0, error.out());
  if (info == nullptr) return error.Code();
  *summary = Handles().Add(info);
  return 0;
}

MsiResult SummaryInfoGetProperty(MsiHandle summary, uint32_t property, uint32_t* dataType, int32_t* integer,
                                 MsiFileTime* fileTime, NativeChar* buffer, uint32_t* capacity) {
  auto* info = Handles().Find<LibmsiSummaryInfo>(summary);
  if (info == nullptr) return kInvalidHandle;
  const auto id = static_cast<LibmsiProperty>(property);
  CallError error;
  const LibmsiPropertyType type = libmsi_summary_info_get_property_type(info, id, error.out());
  if (*error.out() != nullptr) return error.Code();
  switch (type) {
    case LIBMSI_PROPERTY_TYPE_INT:
      // The code page is the one 16-bit number of the summary, as the Windows Installer types it.
      if (dataType != nullptr) *dataType = id == LIBMSI_PROPERTY_CODEPAGE ? kVtI2 : kVtI4;
      if (integer != nullptr) *integer = libmsi_summary_info_get_int(info, id, nullptr);
      return 0;
    case LIBMSI_PROPERTY_TYPE_FILETIME: {
      if (dataType != nullptr) *dataType = kVtFiletime;
      const guint64 time = libmsi_summary_info_get_filetime(info, id, nullptr);
      if (fileTime != nullptr) *fileTime = {static_cast<uint32_t>(time), static_cast<uint32_t>(time >> 32)};
      return 0;
    }
    case LIBMSI_PROPERTY_TYPE_STRING: {
      if (dataType != nullptr) *dataType = kVtLpstr;
      const gchar* text = libmsi_summary_info_get_string(info, id, nullptr);
      return CopyOut(FromUtf8(text == nullptr ? "" : text), buffer, capacity);
    }
    case LIBMSI_PROPERTY_TYPE_EMPTY: break;
  }
  if (dataType != nullptr) *dataType = kVtEmpty;
  return 0;
}

MsiResult DatabaseOpenView(MsiHandle database, const NativeChar* query, MsiHandle* view) {
  auto* db = Handles().Find<LibmsiDatabase>(database);
  if (db == nullptr || view == nullptr) return kInvalidHandle;
  CallError error;
  LibmsiQuery* opened = libmsi_query_new(db, ToUtf8(TextOf(query)).c_str(), error.out());
  if (opened == nullptr) return error.Code();
  *view = Handles().Add(opened);
  return 0;
}

MsiResult ViewExecute(MsiHandle view, MsiHandle) {
  auto* query = Handles().Find<LibmsiQuery>(view);
  if (query == nullptr) return kInvalidHandle;
  CallError error;
  return libmsi_query_execute(query, nullptr, error.out()) ? 0 : error.Code();
}

// libmsi answers the end of the rows with no record and no error.
MsiResult ViewFetch(MsiHandle view, MsiHandle* record) {
  auto* query = Handles().Find<LibmsiQuery>(view);
  if (query == nullptr || record == nullptr) return kInvalidHandle;
  CallError error;
  LibmsiRecord* row = libmsi_query_fetch(query, error.out());
  if (row == nullptr) return *error.out() == nullptr ? kNoMoreItems : error.Code();
  *record = Handles().Add(row);
  return 0;
}

MsiResult RecordGetString(MsiHandle record, uint32_t field, NativeChar* buffer, uint32_t* capacity) {
  auto* row = Handles().Find<LibmsiRecord>(record);
  if (row == nullptr) return kInvalidHandle;
  gchar* text = libmsi_record_get_string(row, field);
  const Text value = FromUtf8(text == nullptr ? "" : text);
  g_free(text);
  return CopyOut(value, buffer, capacity);
}

MsiResult CloseHandle(MsiHandle handle) { return Handles().Close(handle) ? 0 : kInvalidHandle; }

template <typename Fn>
EntryPoint Export(Fn function) {
  return reinterpret_cast<EntryPoint>(function);
}

// libmsi writes a warning to stderr for every package it cannot open; the report says it once.
void QuietWarnings(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data) {
  if ((level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL)) != 0) g_log_default_handler(domain, level, message, data);
}

}  // namespace

FakeModule SystemPackageReader() {
  g_log_set_default_handler(&QuietWarnings, nullptr);
  FakeModule reader;
  reader.exports["MsiOpenDatabaseW"] = Export(&OpenDatabase);
  reader.exports["MsiGetSummaryInformationW"] = Export(&GetSummaryInformation);
  reader.exports["MsiSummaryInfoGetPropertyW"] = Export(&SummaryInfoGetProperty);
  reader.exports["MsiDatabaseOpenViewW"] = Export(&DatabaseOpenView);
  reader.exports["MsiViewExecute"] = Export(&ViewExecute);
  reader.exports["MsiViewFetch"] = Export(&ViewFetch);
  reader.exports["MsiRecordGetStringW"] = Export(&RecordGetString);
  reader.exports["MsiCloseHandle"] = Export(&CloseHandle);
  return reader;
}

}  // namespace setup::check
