#include "setup/installer/msi_library.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace setup {
namespace {

// The entry points that are called, typed as msi.dll exports them.
using MsiOpenDatabaseWFn = MsiResult(SETUP_WINAPI*)(const NativeChar* path, const NativeChar* persist,
                                                     MsiHandle* database);
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
using MsiRecordGetStringWFn = MsiResult(SETUP_WINAPI*)(MsiHandle record, uint32_t field, NativeChar* buffer,
                                                        uint32_t* capacity);
using MsiViewExecuteFn = MsiResult(SETUP_WINAPI*)(MsiHandle view, MsiHandle parameters);
using MsiSetInternalUIFn = int32_t(SETUP_WINAPI*)(int32_t level, void** window);
using MsiEnableLogWFn = MsiResult(SETUP_WINAPI*)(uint32_t mode, const NativeChar* path, uint32_t attributes);

constexpr uint32_t kTextOutCapacity = 2048;

// Every text-out call gets a fresh zero-filled buffer and the full capacity, so one call's
// answer never leaks into the next one's text. A missing entry point leaves text untouched.
template <typename Fn, typename... Args>
MsiResult CallWithTextOut(Fn call, Text& text, Args... arguments) {
  if (call == nullptr) return kMsiEntryMissing;
  std::array<char16_t, kTextOutCapacity> buffer{};
  uint32_t capacity = kTextOutCapacity;
  const MsiResult result = call(arguments..., AsNative(buffer.data()), &capacity);
  // A callee that fills the whole buffer without a NUL must not make the text run past it.
  text.assign(buffer.begin(), std::find(buffer.begin(), buffer.end(), u'\0'));
  return result;
}

}  // namespace

bool MsiLibrary::Bind() {
  // A second load on top of the first would never be given back: the record owns one load.
  Release();
  module_ = platform_->LoadModule(u"msi.dll");
  if (module_ == nullptr) return false;
  for (size_t i = 0; i < kMsiEntryCount; ++i) entries_[i] = platform_->FindEntryPoint(module_, kMsiEntryNames[i]);
  return true;
}

void MsiLibrary::Release() {
  if (module_ != nullptr) platform_->UnloadModule(module_);
  module_ = nullptr;
  // The entry points pointed into the unloaded library; keeping them would invite a call into
  // freed code.
  std::fill(std::begin(entries_), std::end(entries_), nullptr);
}

// A null persist mode opens the database read-only.
MsiResult MsiLibrary::OpenDatabase(const Text& path, MsiHandle& database) const {
  return Call<MsiOpenDatabaseWFn>(MsiEntry::kOpenDatabase, AsNative(path), nullptr, &database);
}

MsiResult MsiLibrary::GetSummaryInformation(MsiHandle database, MsiHandle& summary) const {
  return Call<MsiGetSummaryInformationWFn>(MsiEntry::kGetSummaryInformation, database, AsNative(Text()), 0u, &summary);
}

MsiResult MsiLibrary::SummaryGetProperty(MsiHandle summary, uint32_t property, uint32_t& dataType,
                                         int32_t& integer, Text& text) const {
  MsiFileTime fileTime{};
  return CallWithTextOut(Entry<MsiSummaryInfoGetPropertyWFn>(MsiEntry::kSummaryInfoGetProperty), text, summary,
                         property, &dataType, &integer, &fileTime);
}

MsiResult MsiLibrary::OpenView(MsiHandle database, const Text& query, MsiHandle& view) const {
  return Call<MsiDatabaseOpenViewWFn>(MsiEntry::kDatabaseOpenView, database, AsNative(query), &view);
}

MsiResult MsiLibrary::ExecuteView(MsiHandle view) const {
  return Call<MsiViewExecuteFn>(MsiEntry::kViewExecute, view, MsiHandle{0});
}

MsiResult MsiLibrary::FetchView(MsiHandle view, MsiHandle& record) const {
  return Call<MsiViewFetchFn>(MsiEntry::kViewFetch, view, &record);
}

MsiResult MsiLibrary::RecordGetString(MsiHandle record, Text& text) const {
  return CallWithTextOut(Entry<MsiRecordGetStringWFn>(MsiEntry::kRecordGetString), text, record, 1u);
}

MsiResult MsiLibrary::GetProductInfo(const Text& product, const Text& attribute, Text& text) const {
  return CallWithTextOut(Entry<MsiGetProductInfoWFn>(MsiEntry::kGetProductInfo), text, AsNative(product),
                         AsNative(attribute));
}

MsiResult MsiLibrary::InstallProduct(const Text& path, const Text& commandLine) const {
  return Call<MsiInstallProductWFn>(MsiEntry::kInstallProduct, AsNative(path), AsNative(commandLine));
}

MsiResult MsiLibrary::CloseHandle(MsiHandle handle) const {
  return Call<MsiCloseHandleFn>(MsiEntry::kCloseHandle, handle);
}

void MsiLibrary::SetInternalUI(int32_t level) const {
  const auto set = Entry<MsiSetInternalUIFn>(MsiEntry::kSetInternalUI);
  if (set != nullptr) set(level, nullptr);
}

void MsiLibrary::EnableLog(uint32_t mode, const Text& path, uint32_t attributes) const {
  const auto enable = Entry<MsiEnableLogWFn>(MsiEntry::kEnableLog);
  if (enable != nullptr) enable(mode, AsNative(path), attributes);
}

MsiLibrary& ProcessMsiLibrary() {
  // Never destroyed: it has to outlive every SetupContext (whose package closes its database
  // through it) and must not call into a platform object already gone at exit; the system
  // unloads msi.dll when the process ends.
  static MsiLibrary* const library = new MsiLibrary(DefaultPlatform());
  return *library;
}

}  // namespace setup
