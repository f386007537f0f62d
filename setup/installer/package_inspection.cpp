#include "setup/installer/package_inspection.h"

#include "setup/base/chars.h"
#include "setup/base/line_ends.h"
#include "setup/base/path.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/version_number.h"
#include "setup/installer/msi_handle.h"

namespace setup {
namespace {

constexpr uint32_t kSummaryTemplate = 7;      // PID_TEMPLATE
constexpr uint32_t kSummaryRevision = 9;      // PID_REVNUMBER: the package code
constexpr uint32_t kSummaryTypeText = 30;     // VT_LPSTR

MsiResult ReadSummary(PackageInfo& info, const MsiLibrary& msi) {
  MsiHandle handle = 0;
  const MsiResult opened = msi.GetSummaryInformation(info.database.get(), handle);
  if (opened != kMsiSuccess) return opened;
  ScopedMsiHandle summary(msi, handle);
  uint32_t dataType = 0;
  int32_t integer = 0;
  Text text;
  for (const uint32_t property : {kSummaryTemplate, kSummaryRevision}) {
    const MsiResult result = msi.SummaryGetProperty(summary.get(), property, dataType, integer, text);
    if (result != kMsiSuccess) return result;
  }
  if (dataType == kSummaryTypeText) info.packageCode = text;
  return kMsiSuccess;
}

MsiResult ReadTables(PackageInfo& info, const MsiLibrary& msi) {
  info.failedQuery = PackageQuery::kProductCode;
  for (const auto& [name, field] : {std::pair{u"ProductCode", &info.productCode},
                                    std::pair{u"ProductVersion", &info.productVersion}}) {
    Text value;
    if (const MsiResult result = ReadProperty(msi, info.database.get(), name, value); result != kMsiSuccess) return result;
    *field = value;
    info.failedQuery = static_cast<PackageQuery>(static_cast<int>(info.failedQuery) + 1);
  }
  return ReadSingleValue(msi, info.database.get(), Text(u"SELECT Version FROM File WHERE File = '") + kKeyFileId + u"'",
                         info.keyFileVersion);
}

void ReadInstanceFile(PackageInfo& info, Platform& platform) {
  const Text path = InstanceFilePath(info.packagePath);
  if (!platform.FileExists(path)) return;
  const FileContent content = platform.ReadWholeFile(path);
  if (!content.opened) return;
  if (const std::optional<Text> text = DecodeInstanceFile(content.bytes.View(), platform)) ScanInstanceFile(*text, info);
}

bool IsInstalledInVersion(const MsiLibrary& msi, const Text& productCode, const VersionNumber& version) {
  // InstallLocation is asked only as a test that the product is known; its value does not matter.
  Text answer;
  if (msi.GetProductInfo(productCode, u"InstallLocation", answer) != kMsiSuccess) return false;
  if (msi.GetProductInfo(productCode, u"VersionString", answer) != kMsiSuccess) return false;
  return CompareVersions(version, ParseVersion(answer)) == 0;
}

}  // namespace

MsiResult ReadSingleValue(const MsiLibrary& msi, MsiHandle database, const Text& query, Text& value) {
  MsiHandle viewHandle = 0;
  const MsiResult opened = msi.OpenView(database, query, viewHandle);
  if (opened != kMsiSuccess) return opened;
  ScopedMsiHandle view(msi, viewHandle);
  const MsiResult executed = msi.ExecuteView(view.get());
  if (executed != kMsiSuccess) return executed;
  MsiHandle recordHandle = 0;
  const MsiResult fetched = msi.FetchView(view.get(), recordHandle);
  if (fetched != kMsiSuccess) return fetched;
  ScopedMsiHandle record(msi, recordHandle);
  return msi.RecordGetString(record.get(), value);
}

MsiResult InspectPackage(PackageInfo& info, const Text& path, Platform& platform, MsiLibrary& msi) {
  if (!msi.IsLoaded() && !msi.Bind()) return kMsiSuccess;
  info.database.Close();
  info.packagePath = path;
  if (platform.InitializeCom() < 0) return kMsiSuccess;
  info.failedQuery = PackageQuery::kOpen;
  if (!platform.FileExists(path)) return kPackageMissing;
  MsiHandle database = 0;
  const MsiResult opened = msi.OpenDatabase(path, database);
  if (opened != kMsiSuccess) return opened;
  info.database = ScopedMsiHandle(msi, database);
  info.failedQuery = PackageQuery::kSummary;
  if (const MsiResult result = ReadSummary(info, msi); result != kMsiSuccess) return result;
  if (const MsiResult result = ReadTables(info, msi); result != kMsiSuccess) return result;
  info.failedQuery = PackageQuery::kNone;
  ReadInstanceFile(info, platform);
  return kMsiSuccess;
}

Text InstanceFilePath(const Text& packagePath) {
  const PathParts parts = SplitPath(packagePath);
  return parts.drive + parts.directory + kInstanceFileName;
}

std::optional<Text> DecodeInstanceFile(std::string_view bytes, Platform& platform) {
  if (bytes.starts_with("\xFE\xFF")) return std::nullopt;
  if (bytes.starts_with("\xEF\xBB\xBF")) return CollapseCrLf(platform.DecodeUtf8(bytes.substr(3)));
  if (bytes.starts_with("\xFF\xFE")) return CollapseCrLf(DecodeUtf16Le(bytes.substr(2)));
  return CollapseCrLf(platform.DecodeUtf8(bytes));
}

void ScanInstanceFile(TextView text, PackageInfo& info) {
  info.sectionsRead.push_back({kInstancesSection, {}, true, true});
  Text section;
  size_t position = 0;
  while (position < text.size()) {
    size_t end = text.find(u'\n', position);
    if (end == TextView::npos) end = text.size();
    const TextView line = text.substr(position, end - position);
    position = end + 1;
    if (!line.empty() && line.front() == u'[') {
      // Without a check for ']': the last character is dropped whatever it is. A lone '['
      // leaves nothing to drop.
      section = Text(line.size() < 2 ? TextView() : line.substr(1, line.size() - 2));
      continue;
    }
    const size_t equals = line.find(u'=');
    if (equals == TextView::npos) continue;
    const TextView key = line.substr(0, equals);
    const TextView value = line.substr(equals + 1);
    if (EqualsIgnoringAsciiCase(section, kInstancesSection) && !EqualsIgnoringAsciiCase(key, kInstanceCountKey)) {
      info.instanceName = Text(value);
      info.sectionsRead.push_back({info.instanceName, kInstanceKeys, false, true});
    }
    if (EqualsIgnoringAsciiCase(section, info.instanceName) && EqualsIgnoringAsciiCase(key, kProductCodeKey)) {
      info.instanceProductCode = Text(value);
    }
  }
}

InstalledProduct DetectInstalledProduct(SetupContext& context) {
  // A record of its own, released on every way out: a second load of the same library.
  MsiLibrary msi(context.platform());
  if (!msi.Bind()) return InstalledProduct::kNeither;
  if (IsInstalledInVersion(msi, context.productCode, context.productVersion)) return InstalledProduct::kProduct;
  const bool instance = !context.instanceProductCode.empty() &&
                        IsInstalledInVersion(msi, context.instanceProductCode, context.productVersion);
  return instance ? InstalledProduct::kInstance : InstalledProduct::kNeither;
}

}  // namespace setup
