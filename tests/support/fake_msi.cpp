#include "tests/support/fake_msi.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "setup/base/numbers.h"

namespace setup::testing {
namespace {

FakeMsi* current = nullptr;
using Kind = FakeMsi::Handle::Kind;

Text Arg(const NativeChar* text) {
  return text == nullptr ? Text(u"<null>") : Text(reinterpret_cast<const char16_t*>(text));
}
Text Arg(int64_t number) { return FormatDecimal(number); }
Text CapacityArg(const uint32_t* capacity) { return capacity == nullptr ? Text(u"<null>") : Arg(*capacity); }

// The Windows Installer's text-out rule: the text and a NUL when they fit, else as much as fits
// and ERROR_MORE_DATA; the capacity comes back as the text's length.
MsiResult CopyOut(const Text& value, NativeChar* buffer, uint32_t* capacity) {
  if (capacity == nullptr) return kFunctionFailed;
  const uint32_t room = *capacity;
  *capacity = static_cast<uint32_t>(value.size());
  if (buffer == nullptr) return 0;
  if (value.size() >= room) {
    if (room == 0) return kMoreData;
    std::copy_n(value.begin(), room - 1, reinterpret_cast<char16_t*>(buffer));
    buffer[room - 1] = 0;
    return kMoreData;
  }
  std::copy(value.begin(), value.end(), reinterpret_cast<char16_t*>(buffer));
  buffer[value.size()] = 0;
  return 0;
}

// The query shapes the program and the check run; anything else is a syntax error to the fake.
std::optional<std::optional<Text>> RunQuery(const FakePackage& package, TextView query) {
  const auto lookup = [&](TextView prefix, const std::map<Text, Text>& table) -> std::optional<std::optional<Text>> {
    if (!query.starts_with(prefix) || !query.ends_with(u"'")) return std::nullopt;
    const Text key(query.substr(prefix.size(), query.size() - prefix.size() - 1));
    const auto found = table.find(key);
    return found == table.end() ? std::optional<Text>() : std::optional<Text>(found->second);
  };
  if (auto row = lookup(u"SELECT Value FROM Property WHERE Property = '", package.properties)) return row;
  std::map<Text, Text> storages;
  for (const Text& name : package.storages) storages[name] = name;
  if (auto row = lookup(u"SELECT Name FROM _Storages WHERE Name = '", storages)) return row;
  return lookup(u"SELECT Version FROM File WHERE File = '", package.fileVersions);
}

MsiResult SETUP_WINAPI OpenDatabase(const NativeChar* path, const NativeChar* persist, MsiHandle* database) {
  FakeMsi& msi = FakeMsi::Current();
  if (auto failed = msi.Record("MsiOpenDatabaseW", {Arg(path), Arg(persist)})) return *failed;
  const auto found = msi.packages.find(Arg(path));
  if (found == msi.packages.end()) return kOpenFailed;
  *database = msi.Open({Kind::kDatabase, found->first, std::nullopt});
  return 0;
}

MsiResult SETUP_WINAPI OpenProduct(const NativeChar* product, MsiHandle*) {
  return FakeMsi::Current().Record("MsiOpenProductW", {Arg(product)}).value_or(kFunctionFailed);
}

MsiResult SETUP_WINAPI OpenPackage(const NativeChar* path, MsiHandle*) {
  return FakeMsi::Current().Record("MsiOpenPackageW", {Arg(path)}).value_or(kFunctionFailed);
}

MsiResult SETUP_WINAPI GetProductProperty(MsiHandle product, const NativeChar* property, NativeChar*,
                                          uint32_t*) {
  return FakeMsi::Current().Record("MsiGetProductPropertyW", {Arg(product), Arg(property)}).value_or(kFunctionFailed);
}

MsiResult SETUP_WINAPI GetProductInfo(const NativeChar* product, const NativeChar* attribute, NativeChar* buffer,
                                      uint32_t* capacity) {
  FakeMsi& msi = FakeMsi::Current();
  if (auto failed = msi.Record("MsiGetProductInfoW", {Arg(product), Arg(attribute), CapacityArg(capacity)})) {
    return *failed;
  }
  const auto found = msi.products.find(Arg(product));
  if (found == msi.products.end()) return kUnknownProduct;
  const Text name = Arg(attribute);
  if (name == u"InstallLocation") return CopyOut(found->second.installLocation, buffer, capacity);
  if (name == u"VersionString") return CopyOut(found->second.versionString, buffer, capacity);
  return kUnknownProperty;
}

MsiResult SETUP_WINAPI SummaryInfoGetProperty(MsiHandle summary, uint32_t property, uint32_t* dataType,
                                              int32_t* integer, MsiFileTime*, NativeChar* buffer,
                                              uint32_t* capacity) {
  FakeMsi& msi = FakeMsi::Current();
  if (auto failed = msi.Record("MsiSummaryInfoGetPropertyW", {Arg(summary), Arg(property), CapacityArg(capacity)})) {
    return *failed;
  }
  const FakeMsi::Handle* handle = msi.Find(summary, Kind::kSummary);
  if (handle == nullptr) return kInvalidHandle;
  const FakePackage& package = msi.packages.at(handle->package);
  const auto found = package.summary.find(property);
  if (found == package.summary.end()) {
    *dataType = kVtEmpty;
    return 0;
  }
  *dataType = found->second.dataType;
  if (found->second.dataType == kVtLpstr) return CopyOut(found->second.text, buffer, capacity);
  *integer = found->second.integer;
  return 0;
}

MsiResult SETUP_WINAPI GetSummaryInformation(MsiHandle database, const NativeChar* path, uint32_t updateCount,
                                             MsiHandle* summary) {
  FakeMsi& msi = FakeMsi::Current();
  if (auto failed = msi.Record("MsiGetSummaryInformationW", {Arg(database), Arg(path), Arg(updateCount)})) {
    return *failed;
  }
  const FakeMsi::Handle* handle = msi.Find(database, Kind::kDatabase);
  if (handle == nullptr) return kInvalidHandle;
  *summary = msi.Open({Kind::kSummary, handle->package, std::nullopt});
  return 0;
}

MsiResult SETUP_WINAPI DatabaseOpenView(MsiHandle database, const NativeChar* query, MsiHandle* view) {
  FakeMsi& msi = FakeMsi::Current();
  if (auto failed = msi.Record("MsiDatabaseOpenViewW", {Arg(database), Arg(query)})) return *failed;
  const FakeMsi::Handle* handle = msi.Find(database, Kind::kDatabase);
  if (handle == nullptr) return kInvalidHandle;
  auto row = RunQuery(msi.packages.at(handle->package), Arg(query));
  if (!row) return kBadQuerySyntax;
  *view = msi.Open({Kind::kView, handle->package, *row});
  return 0;
}

MsiResult SETUP_WINAPI InstallProduct(const NativeChar* path, const NativeChar* commandLine) {
  FakeMsi& msi = FakeMsi::Current();
  return msi.Record("MsiInstallProductW", {Arg(path), Arg(commandLine)}).value_or(msi.installResult);
}

MsiResult SETUP_WINAPI CloseHandle(MsiHandle handle) {
  FakeMsi& msi = FakeMsi::Current();
  if (auto failed = msi.Record("MsiCloseHandle", {Arg(handle)})) return *failed;
  return msi.Close(handle) ? 0 : kInvalidHandle;
}

MsiResult SETUP_WINAPI ViewFetch(MsiHandle view, MsiHandle* record) {
  FakeMsi& msi = FakeMsi::Current();
  if (auto failed = msi.Record("MsiViewFetch", {Arg(view)})) return *failed;
  FakeMsi::Handle* handle = msi.Find(view, Kind::kView);
  if (handle == nullptr) return kInvalidHandle;
  if (!handle->executed) return kFunctionFailed;
  if (!handle->row) return kNoMoreItems;
  *record = msi.Open({Kind::kRecord, handle->package, std::exchange(handle->row, std::nullopt)});
  return 0;
}

MsiResult SETUP_WINAPI ViewClose(MsiHandle view) {
  return FakeMsi::Current().Record("MsiViewClose", {Arg(view)}).value_or(0);
}

MsiResult SETUP_WINAPI RecordGetString(MsiHandle record, uint32_t field, NativeChar* buffer, uint32_t* capacity) {
  FakeMsi& msi = FakeMsi::Current();
  if (auto failed = msi.Record("MsiRecordGetStringW", {Arg(record), Arg(field), CapacityArg(capacity)})) {
    return *failed;
  }
  const FakeMsi::Handle* handle = msi.Find(record, Kind::kRecord);
  if (handle == nullptr) return kInvalidHandle;
  return CopyOut(field == 1 ? handle->row.value_or(Text()) : Text(), buffer, capacity);
}

MsiResult SETUP_WINAPI ViewExecute(MsiHandle view, MsiHandle parameters) {
  FakeMsi& msi = FakeMsi::Current();
  if (auto failed = msi.Record("MsiViewExecute", {Arg(view), Arg(parameters)})) return *failed;
  FakeMsi::Handle* handle = msi.Find(view, Kind::kView);
  if (handle == nullptr) return kInvalidHandle;
  handle->executed = true;
  return 0;
}

MsiResult SETUP_WINAPI ViewGetColumnInfo(MsiHandle view, int32_t kind, MsiHandle*) {
  return FakeMsi::Current().Record("MsiViewGetColumnInfo", {Arg(view), Arg(kind)}).value_or(kFunctionFailed);
}

uint32_t SETUP_WINAPI RecordGetFieldCount(MsiHandle record) {
  FakeMsi::Current().Record("MsiRecordGetFieldCount", {Arg(record)});
  return 1;
}

int32_t SETUP_WINAPI SetInternalUI(int32_t level, void** window) {
  FakeMsi& msi = FakeMsi::Current();
  msi.Record("MsiSetInternalUI", {Arg(level), window == nullptr ? Text(u"<null>") : Text(u"window")});
  return std::exchange(msi.uiLevel, level);
}

MsiResult SETUP_WINAPI EnableLog(uint32_t mode, const NativeChar* path, uint32_t attributes) {
  return FakeMsi::Current().Record("MsiEnableLogW", {Arg(mode), Arg(path), Arg(attributes)}).value_or(0);
}

template <typename Fn>
EntryPoint Export(Fn function) {
  return reinterpret_cast<EntryPoint>(function);
}

const std::vector<std::pair<std::string, EntryPoint>>& Exports() {
  static const std::vector<std::pair<std::string, EntryPoint>> exports = {
      {"MsiOpenDatabaseW", Export(&OpenDatabase)},
      {"MsiOpenProductW", Export(&OpenProduct)},
      {"MsiOpenPackageW", Export(&OpenPackage)},
      {"MsiGetProductPropertyW", Export(&GetProductProperty)},
      {"MsiGetProductInfoW", Export(&GetProductInfo)},
      {"MsiSummaryInfoGetPropertyW", Export(&SummaryInfoGetProperty)},
      {"MsiGetSummaryInformationW", Export(&GetSummaryInformation)},
      {"MsiDatabaseOpenViewW", Export(&DatabaseOpenView)},
      {"MsiInstallProductW", Export(&InstallProduct)},
      {"MsiCloseHandle", Export(&CloseHandle)},
      {"MsiViewFetch", Export(&ViewFetch)},
      {"MsiViewClose", Export(&ViewClose)},
      {"MsiRecordGetStringW", Export(&RecordGetString)},
      {"MsiViewExecute", Export(&ViewExecute)},
      {"MsiViewGetColumnInfo", Export(&ViewGetColumnInfo)},
      {"MsiRecordGetFieldCount", Export(&RecordGetFieldCount)},
      {"MsiSetInternalUI", Export(&SetInternalUI)},
      {"MsiEnableLogW", Export(&EnableLog)},
  };
  return exports;
}

}  // namespace

void PrintTo(const FakeMsiCall& call, std::ostream* out) {
  *out << call.function << "(";
  for (size_t i = 0; i < call.arguments.size(); ++i) *out << (i == 0 ? "" : ", ") << ToUtf8(call.arguments[i]);
  *out << ")";
}

const std::vector<std::string>& FakeMsi::ExportNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const auto& [name, entry] : Exports()) list.push_back(name);
    return list;
  }();
  return names;
}

FakeMsi::FakeMsi() {
  if (current != nullptr) {
    // Two fakes at once would make the exports serve the wrong one.
    std::fputs("FakeMsi: another FakeMsi is still alive\n", stderr);
    std::abort();
  }
  current = this;
}

FakeMsi::~FakeMsi() { current = nullptr; }

FakeMsi& FakeMsi::Current() {
  if (current == nullptr) {
    std::fputs("FakeMsi: an export was called with no FakeMsi alive\n", stderr);
    std::abort();
  }
  return *current;
}

void FakeMsi::Fail(const std::string& function, MsiResult code, int nthCall) {
  failures_.push_back({function, code, nthCall});
}

FakeModule FakeMsi::Module() const {
  FakeModule module;
  for (const auto& [name, entry] : Exports()) {
    if (!removed_.contains(name)) module.exports[name] = entry;
  }
  return module;
}

std::vector<FakeMsiCall> FakeMsi::CallsTo(std::string_view function) const {
  std::vector<FakeMsiCall> matching;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(matching),
               [&](const FakeMsiCall& call) { return call.function == function; });
  return matching;
}

std::vector<std::string> FakeMsi::CallOrder() const {
  std::vector<std::string> names;
  for (const FakeMsiCall& call : calls) names.push_back(call.function);
  return names;
}

std::vector<MsiHandle> FakeMsi::OpenHandles() const {
  std::vector<MsiHandle> open;
  for (const auto& [handle, entry] : handles_) open.push_back(handle);
  return open;
}

std::optional<MsiResult> FakeMsi::Record(std::string function, std::vector<Text> arguments) {
  const int nth = ++callCounts_[function];
  calls.push_back({function, std::move(arguments)});
  for (const Failure& failure : failures_) {
    if (failure.function == function && (failure.nthCall == 0 || failure.nthCall == nth)) return failure.code;
  }
  return std::nullopt;
}

MsiHandle FakeMsi::Open(Handle handle) {
  const MsiHandle id = nextHandle_++;
  handles_.emplace(id, std::move(handle));
  return id;
}

FakeMsi::Handle* FakeMsi::Find(MsiHandle handle, Handle::Kind kind) {
  const auto found = handles_.find(handle);
  return found == handles_.end() || found->second.kind != kind ? nullptr : &found->second;
}

}  // namespace setup::testing
