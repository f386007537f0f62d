#pragma once
// A stand-in for msi.dll: its exports are functions of this file, typed exactly like the real
// ones, backed by the one FakeMsi that a test holds. The test says which packages and installed
// products exist, removes exports, makes calls fail, and reads back every call made.

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "setup/base/text.h"
#include "setup/installer/msi_library.h"
#include "setup/platform/host/host_platform.h"

namespace setup::testing {

inline constexpr uint32_t kVtEmpty = 0;
inline constexpr uint32_t kVtI4 = 3;
inline constexpr uint32_t kVtLpstr = 30;

inline constexpr MsiResult kInvalidHandle = 6;        // ERROR_INVALID_HANDLE
inline constexpr MsiResult kOpenFailed = 110;         // ERROR_OPEN_FAILED
inline constexpr MsiResult kMoreData = 234;           // ERROR_MORE_DATA
inline constexpr MsiResult kNoMoreItems = 259;        // ERROR_NO_MORE_ITEMS
inline constexpr MsiResult kUnknownProduct = 1605;    // ERROR_UNKNOWN_PRODUCT
inline constexpr MsiResult kUnknownProperty = 1608;   // ERROR_UNKNOWN_PROPERTY
inline constexpr MsiResult kBadQuerySyntax = 1615;    // ERROR_BAD_QUERY_SYNTAX
inline constexpr MsiResult kFunctionFailed = 1627;    // ERROR_FUNCTION_FAILED

struct FakeSummaryProperty {
  uint32_t dataType = kVtLpstr;
  int32_t integer = 0;
  Text text;
};

struct FakePackage {
  std::map<uint32_t, FakeSummaryProperty> summary;   // by property id; absent ones read as VT_EMPTY
  std::map<Text, Text> properties;                   // the Property table
  std::map<Text, Text> fileVersions;                 // the File table: key to Version
  std::set<Text> storages;                           // the _Storages table: embedded transforms
};

struct FakeProduct {
  Text installLocation;
  Text versionString;
};

// One call into the library: the export's name and its arguments written as text. Null
// pointers are "<null>"; text-out calls show the capacity they were handed.
struct FakeMsiCall {
  std::string function;
  std::vector<Text> arguments;
  friend bool operator==(const FakeMsiCall&, const FakeMsiCall&) = default;
};
void PrintTo(const FakeMsiCall& call, std::ostream* out);

class FakeMsi {
 public:
  // The names msi.dll exports, in the order the program binds them.
  static const std::vector<std::string>& ExportNames();

  FakeMsi();    // becomes the library the exports serve; one at a time
  ~FakeMsi();
  FakeMsi(const FakeMsi&) = delete;
  FakeMsi& operator=(const FakeMsi&) = delete;

  std::map<Text, FakePackage> packages;   // by the path MsiOpenDatabaseW is given
  std::map<Text, FakeProduct> products;   // installed, by product code
  MsiResult installResult = 0;
  std::vector<FakeMsiCall> calls;

  void RemoveExport(const std::string& name) { removed_.insert(name); }
  // The export returns code instead of doing its work: on every call, or on its nth call only.
  void Fail(const std::string& function, MsiResult code, int nthCall = 0);

  // The library without the removed exports, as the loader hands it out.
  FakeModule Module() const;
  void InstallInto(HostPlatform& platform) const { platform.modules[u"msi.dll"] = Module(); }

  std::vector<FakeMsiCall> CallsTo(std::string_view function) const;
  std::vector<std::string> CallOrder() const;
  // Handles given out and not closed yet.
  std::vector<MsiHandle> OpenHandles() const;

  // What the exports work on.
  struct Handle {
    enum class Kind { kDatabase, kSummary, kView, kRecord } kind;
    Text package;
    std::optional<Text> row;   // a view's single result row, or a record's value
    bool executed = false;
  };
  static FakeMsi& Current();
  // For the exports: records the call and answers the configured failure, if any.
  std::optional<MsiResult> Record(std::string function, std::vector<Text> arguments);
  MsiHandle Open(Handle handle);
  Handle* Find(MsiHandle handle, Handle::Kind kind);
  bool Close(MsiHandle handle) { return handles_.erase(handle) != 0; }
  int32_t uiLevel = 1;   // INSTALLUILEVEL_DEFAULT until MsiSetInternalUI changes it

 private:
  struct Failure {
    std::string function;
    MsiResult code;
    int nthCall;
  };
  std::set<std::string> removed_;
  std::vector<Failure> failures_;
  std::map<std::string, int> callCounts_;
  std::map<MsiHandle, Handle> handles_;
  MsiHandle nextHandle_ = 100;
};

}  // namespace setup::testing
