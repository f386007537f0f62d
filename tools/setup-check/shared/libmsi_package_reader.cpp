// The package reader of the host build: msi.dll's read-only calls answered by Debian's libmsi,
// which reads the same compound files as the Windows Installer.

#include <libmsi.h>

#include <map>
#include <memory>

#include "tools/setup-check/shared/host_paths.h"
#include "tools/setup-check/shared/package_reader.h"

namespace setup::check {
namespace {

constexpr MsiResult kInvalidHandle = 6;  // ERROR_INVALID_HANDLE
constexpr MsiResult kNoMoreItems = 259;  // ERROR_NO_MORE_ITEMS

// libmsi names its error codes after the Windows Installer's; these are their numbers there, in
// the order of LibmsiResultError (SUCCESS, ACCESS_DENIED, ..., DATATYPE_MISMATCH, INVALID_DATATYPE).
constexpr MsiResult kWindowsCodes[] = {0,    5,    6,    8,    13,   14,   87,   110,  120, 234,
                                       1168, 1246, 1608, 1615, 1616, 1627, 1628, 1629, 1804};
static_assert(std::size(kWindowsCodes) == LIBMSI_RESULT_INVALID_DATATYPE + 1);

// An error libmsi does not number counts as a failed function.
MsiResult WindowsCodeOf(const GError* error) {
  const bool known = error != nullptr && error->code >= 0 && error->code < std::ssize(kWindowsCodes);
  return kWindowsCodes[known ? error->code : LIBMSI_RESULT_FUNCTION_FAILED];
}

// The variant types the Windows Installer gives a summary property, by LibmsiPropertyType; the
// code page is the one 16-bit number of the summary.
constexpr uint32_t kVariantTypes[] = {0 /* VT_EMPTY */, 3 /* VT_I4 */, 30 /* VT_LPSTR */, 64 /* VT_FILETIME */};
constexpr uint32_t kVtI2 = 2;

// Windows Installer handles for libmsi's objects; each handle holds one reference until closed.
using Reference = std::unique_ptr<void, decltype(&g_object_unref)>;
std::map<MsiHandle, Reference> handles;
MsiHandle nextHandle = 1;

// The object behind a handle, or null when the handle is not open or is of another kind.
template <typename T>
T* Find(MsiHandle handle, GType type) {
  const auto found = handles.find(handle);
  if (found == handles.end() || !G_TYPE_CHECK_INSTANCE_TYPE(found->second.get(), type)) return nullptr;
  return static_cast<T*>(found->second.get());
}

// A new handle for what a libmsi call made, else the call's error (read after the call sets it).
MsiResult HandOut(gpointer made, GError** error, MsiHandle* handle) {
  if (made == nullptr) return WindowsCodeOf(*error);
  *handle = nextHandle++;
  handles.emplace(*handle, Reference(made, &g_object_unref));
  return kMsiSuccess;
}

Text FromLibmsi(const gchar* text) { return FromUtf8(text == nullptr ? "" : text); }

MsiResult OpenDatabase(const NativeChar* path, const NativeChar*, MsiHandle* database) {
  if (database == nullptr) return kMsiInvalidParameter;
  const std::string hostPath = ResolveHostPath(TextOf(path)).string();  // on Linux, the name's own bytes
  g_autoptr(GError) error = nullptr;
  return HandOut(libmsi_database_new(hostPath.c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, &error), &error, database);
}

MsiResult GetSummaryInformation(MsiHandle database, const NativeChar*, uint32_t, MsiHandle* summary) {
  auto* db = Find<LibmsiDatabase>(database, LIBMSI_TYPE_DATABASE);
  if (db == nullptr || summary == nullptr) return kInvalidHandle;
  g_autoptr(GError) error = nullptr;
  return HandOut(libmsi_summary_info_new(db, 0, &error), &error, summary);
}

MsiResult SummaryInfoGetProperty(MsiHandle summary, uint32_t property, uint32_t* dataType, int32_t* integer,
                                 MsiFileTime* fileTime, NativeChar* buffer, uint32_t* capacity) {
  auto* info = Find<LibmsiSummaryInfo>(summary, LIBMSI_TYPE_SUMMARY_INFO);
  if (info == nullptr) return kInvalidHandle;
  const auto id = static_cast<LibmsiProperty>(property);
  g_autoptr(GError) error = nullptr;
  const LibmsiPropertyType type = libmsi_summary_info_get_property_type(info, id, &error);
  if (error != nullptr) return WindowsCodeOf(error);
  const bool codePage = type == LIBMSI_PROPERTY_TYPE_INT && id == LIBMSI_PROPERTY_CODEPAGE;
  if (dataType != nullptr) *dataType = codePage ? kVtI2 : kVariantTypes[type];
  if (type == LIBMSI_PROPERTY_TYPE_STRING)
    return CopyOut(FromLibmsi(libmsi_summary_info_get_string(info, id, nullptr)), buffer, capacity);
  if (type == LIBMSI_PROPERTY_TYPE_INT && integer != nullptr) *integer = libmsi_summary_info_get_int(info, id, nullptr);
  if (type == LIBMSI_PROPERTY_TYPE_FILETIME && fileTime != nullptr) {
    const guint64 time = libmsi_summary_info_get_filetime(info, id, nullptr);
    *fileTime = {static_cast<uint32_t>(time), static_cast<uint32_t>(time >> 32)};
  }
  return kMsiSuccess;
}

MsiResult DatabaseOpenView(MsiHandle database, const NativeChar* query, MsiHandle* view) {
  auto* db = Find<LibmsiDatabase>(database, LIBMSI_TYPE_DATABASE);
  if (db == nullptr || view == nullptr) return kInvalidHandle;
  g_autoptr(GError) error = nullptr;
  return HandOut(libmsi_query_new(db, ToUtf8(TextOf(query)).c_str(), &error), &error, view);
}

MsiResult ViewExecute(MsiHandle view, MsiHandle) {
  auto* query = Find<LibmsiQuery>(view, LIBMSI_TYPE_QUERY);
  if (query == nullptr) return kInvalidHandle;
  g_autoptr(GError) error = nullptr;
  return libmsi_query_execute(query, nullptr, &error) != FALSE ? kMsiSuccess : WindowsCodeOf(error);
}

// libmsi answers the end of the rows with no record and no error.
MsiResult ViewFetch(MsiHandle view, MsiHandle* record) {
  auto* query = Find<LibmsiQuery>(view, LIBMSI_TYPE_QUERY);
  if (query == nullptr || record == nullptr) return kInvalidHandle;
  g_autoptr(GError) error = nullptr;
  LibmsiRecord* row = libmsi_query_fetch(query, &error);
  return row == nullptr && error == nullptr ? kNoMoreItems : HandOut(row, &error, record);
}

MsiResult RecordGetString(MsiHandle record, uint32_t field, NativeChar* buffer, uint32_t* capacity) {
  auto* row = Find<LibmsiRecord>(record, LIBMSI_TYPE_RECORD);
  if (row == nullptr) return kInvalidHandle;
  g_autofree gchar* text = libmsi_record_get_string(row, field);
  return CopyOut(FromLibmsi(text), buffer, capacity);
}

MsiResult CloseHandle(MsiHandle handle) { return handles.erase(handle) == 1 ? kMsiSuccess : kInvalidHandle; }

// libmsi writes a warning to stderr for every package it cannot open; the report says it once.
void QuietWarnings(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data) {
  if ((level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL)) != 0) g_log_default_handler(domain, level, message, data);
}

}  // namespace

FakeModule SystemPackageReader() {
  g_log_set_default_handler(&QuietWarnings, nullptr);
  const auto Export = [](auto function) { return reinterpret_cast<EntryPoint>(function); };
  return {{{ExportName(MsiEntry::kOpenDatabase), Export(&OpenDatabase)},
           {ExportName(MsiEntry::kGetSummaryInformation), Export(&GetSummaryInformation)},
           {ExportName(MsiEntry::kSummaryInfoGetProperty), Export(&SummaryInfoGetProperty)},
           {ExportName(MsiEntry::kDatabaseOpenView), Export(&DatabaseOpenView)},
           {ExportName(MsiEntry::kViewExecute), Export(&ViewExecute)},
           {ExportName(MsiEntry::kViewFetch), Export(&ViewFetch)},
           {ExportName(MsiEntry::kRecordGetString), Export(&RecordGetString)},
           {ExportName(MsiEntry::kCloseHandle), Export(&CloseHandle)}}};
}

}  // namespace setup::check
