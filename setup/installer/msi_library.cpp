#include "setup/installer/msi_library.h"

#include <algorithm>
#include <array>

namespace setup {
namespace {

constexpr uint32_t kTextOutCapacity = 2048;

// Every text-out call gets a fresh zero-filled buffer and the full capacity, so one call's
// answer never leaks into the next one's text.
template <typename Call>
MsiResult CallWithTextOut(Text& text, Call&& call) {
  std::array<char16_t, kTextOutCapacity> buffer{};
  uint32_t capacity = kTextOutCapacity;
  const MsiResult result = call(AsNative(buffer.data()), &capacity);
  // A callee that fills the whole buffer without a NUL must not make the text run past it.
  text.assign(buffer.begin(), std::find(buffer.begin(), buffer.end(), u'\0'));
  return result;
}

template <typename Fn>
void FindEntryPoint(Platform& platform, ModuleHandle module, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(platform.FindEntryPoint(module, name));
}

}  // namespace

void MsiLibrary::Clear() {
  module_ = nullptr;
  openDatabase = nullptr;
  openProduct = nullptr;
  openPackage = nullptr;
  getProductProperty = nullptr;
  getProductInfo = nullptr;
  summaryInfoGetProperty = nullptr;
  getSummaryInformation = nullptr;
  databaseOpenView = nullptr;
  installProduct = nullptr;
  closeHandle = nullptr;
  viewFetch = nullptr;
  viewClose = nullptr;
  recordGetString = nullptr;
  viewExecute = nullptr;
  viewGetColumnInfo = nullptr;
  recordGetFieldCount = nullptr;
  setInternalUI = nullptr;
  enableLog = nullptr;
}

bool MsiLibrary::Bind() {
  // A second load on top of the first would never be given back: the record owns one load.
  Release();
  module_ = platform_->LoadModule(u"msi.dll");
  if (module_ == nullptr) return false;
  Platform& p = *platform_;
  FindEntryPoint(p, module_, "MsiOpenDatabaseW", openDatabase);
  FindEntryPoint(p, module_, "MsiOpenProductW", openProduct);
  FindEntryPoint(p, module_, "MsiOpenPackageW", openPackage);
  FindEntryPoint(p, module_, "MsiGetProductPropertyW", getProductProperty);
  FindEntryPoint(p, module_, "MsiGetProductInfoW", getProductInfo);
  FindEntryPoint(p, module_, "MsiSummaryInfoGetPropertyW", summaryInfoGetProperty);
  FindEntryPoint(p, module_, "MsiGetSummaryInformationW", getSummaryInformation);
  FindEntryPoint(p, module_, "MsiDatabaseOpenViewW", databaseOpenView);
  FindEntryPoint(p, module_, "MsiInstallProductW", installProduct);
  FindEntryPoint(p, module_, "MsiCloseHandle", closeHandle);
  FindEntryPoint(p, module_, "MsiViewFetch", viewFetch);
  FindEntryPoint(p, module_, "MsiViewClose", viewClose);
  FindEntryPoint(p, module_, "MsiRecordGetStringW", recordGetString);
  FindEntryPoint(p, module_, "MsiViewExecute", viewExecute);
  FindEntryPoint(p, module_, "MsiViewGetColumnInfo", viewGetColumnInfo);
  FindEntryPoint(p, module_, "MsiRecordGetFieldCount", recordGetFieldCount);
  FindEntryPoint(p, module_, "MsiSetInternalUI", setInternalUI);
  FindEntryPoint(p, module_, "MsiEnableLogW", enableLog);
  return true;
}

void MsiLibrary::Release() {
  if (module_ != nullptr) platform_->UnloadModule(module_);
  // The entry points pointed into the unloaded library; keeping them would invite a call into
  // freed code.
  Clear();
}

MsiResult MsiLibrary::OpenView(MsiHandle database, const Text& query, MsiHandle& view) const {
  if (databaseOpenView == nullptr) return kMsiEntryMissing;
  return databaseOpenView(database, AsNative(query), &view);
}

MsiResult MsiLibrary::ExecuteView(MsiHandle view) const {
  if (viewExecute == nullptr) return kMsiEntryMissing;
  return viewExecute(view, 0);
}

MsiResult MsiLibrary::RecordGetString(MsiHandle record, Text& text) const {
  if (recordGetString == nullptr) return kMsiEntryMissing;
  return CallWithTextOut(text, [&](NativeChar* buffer, uint32_t* capacity) {
    return recordGetString(record, 1, buffer, capacity);
  });
}

MsiResult MsiLibrary::SummaryGetProperty(MsiHandle summary, uint32_t property, uint32_t& dataType,
                                         int32_t& integer, Text& text) const {
  if (summaryInfoGetProperty == nullptr) return kMsiEntryMissing;
  MsiFileTime fileTime{};
  return CallWithTextOut(text, [&](NativeChar* buffer, uint32_t* capacity) {
    return summaryInfoGetProperty(summary, property, &dataType, &integer, &fileTime, buffer, capacity);
  });
}

MsiResult MsiLibrary::GetProductInfo(const Text& product, const Text& attribute, Text& text) const {
  if (getProductInfo == nullptr) return kMsiEntryMissing;
  return CallWithTextOut(text, [&](NativeChar* buffer, uint32_t* capacity) {
    return getProductInfo(AsNative(product), AsNative(attribute), buffer, capacity);
  });
}

MsiResult MsiLibrary::CloseHandle(MsiHandle handle) const {
  if (closeHandle == nullptr) return kMsiEntryMissing;
  return closeHandle(handle);
}

MsiLibrary& ProcessMsiLibrary() {
  // Never destroyed: it has to outlive every SetupContext (whose destructor closes the package
  // through it) and must not call into a platform object already gone at exit; the system
  // unloads msi.dll when the process ends.
  static MsiLibrary* const library = new MsiLibrary(DefaultPlatform());
  return *library;
}

}  // namespace setup
