#include "tools/setup-check/shared/package_facts.h"

#include <algorithm>
#include <utility>

#include "setup/installer/msi_handle.h"
#include "setup/installer/package_inspection.h"
#include "tools/setup-check/shared/result_codes.h"

namespace setup::check {
namespace {

constexpr uint32_t kSummaryComments = 6;    // PID_COMMENTS
constexpr uint32_t kSummaryTemplate = 7;    // PID_TEMPLATE: "Intel;1033", the platform before the languages
constexpr uint32_t kSummaryPageCount = 14;  // PID_PAGECOUNT: the lowest engine, times 100
constexpr MsiResult kNoMoreItems = 259;     // ERROR_NO_MORE_ITEMS

// Only the page count counts: the Template and Comments only label.
MsiResult ReadSummary(const MsiLibrary& msi, MsiHandle database, PackageFacts& facts) {
  MsiHandle handle = 0;
  const MsiResult opened = msi.GetSummaryInformation(database, handle);
  if (opened != kMsiSuccess) return opened;
  ScopedMsiHandle summary(msi, handle);
  uint32_t dataType = 0;
  int32_t unused = 0;
  msi.SummaryGetProperty(summary.get(), kSummaryTemplate, dataType, unused, facts.platform);
  facts.platform.resize(std::min(facts.platform.size(), facts.platform.find(u';')));
  msi.SummaryGetProperty(summary.get(), kSummaryComments, dataType, unused, facts.comments);
  Text text;
  return msi.SummaryGetProperty(summary.get(), kSummaryPageCount, dataType, facts.engineVersion, text);
}

}  // namespace

PackageFacts ReadPackageFacts(const FakeModule& packageReader, const Text& packagePath) {
  HostPlatform platform;
  platform.modules[u"msi.dll"] = packageReader;
  MsiLibrary msi(platform);
  msi.Bind();
  MsiHandle handle = 0;
  PackageFacts facts;
  facts.result = msi.OpenDatabase(packagePath, handle);
  if (facts.result != kMsiSuccess) return facts;
  ScopedMsiHandle database(msi, handle);
  facts = ReadPackageFacts(msi, database.get());
  if (facts.result == kMsiSuccess) facts.result = ReadProperty(msi, database.get(), u"ProductCode", facts.productCode);
  if (facts.result == kMsiSuccess) facts.result = ReadProperty(msi, database.get(), u"ProductVersion", facts.productVersion);
  return facts;
}

PackageFacts ReadPackageFacts(const MsiLibrary& msi, MsiHandle database) {
  PackageFacts facts;
  facts.result = ReadSummary(msi, database, facts);
  if (facts.result != kMsiSuccess) return facts;
  // A package without a name or maker is still a package; they only label the distribution.
  for (const auto& [name, value] : {std::pair{u"ProductName", &facts.productName},
                                    std::pair{u"Manufacturer", &facts.manufacturer},
                                    std::pair{u"UpgradeCode", &facts.upgradeCode},
                                    std::pair{u"ALLUSERS", &facts.allUsers}}) {
    ReadProperty(msi, database, name, *value);
  }
  return facts;
}

std::string UnreadableReason(const PackageFacts& facts, const std::string& name) {
  if (facts.result == kMsiSuccess && !facts.productCode.empty() && !facts.productVersion.empty()) return {};
  return "cannot read ProductCode and ProductVersion of " + name + " (result " + ResultCodeText(facts.result) + ")";
}

std::optional<bool> PackageHoldsStorage(const MsiLibrary& msi, MsiHandle database, const Text& name) {
  // A quotation mark would end the literal; no storage of such a name can be asked for.
  if (database == 0 || name.find(u'\'') != Text::npos) return std::nullopt;
  Text found;
  const MsiResult result = ReadSingleValue(msi, database, u"SELECT Name FROM _Storages WHERE Name = '" + name + u"'", found);
  if (result == kNoMoreItems) return false;
  if (result != kMsiSuccess) return std::nullopt;
  return true;
}

}  // namespace setup::check
