#include "tools/setup-check/package_facts.h"

#include "setup/installer/msi_handle.h"
#include "setup/installer/package_inspection.h"

namespace setup::check {
namespace {

constexpr uint32_t kSummaryPageCount = 14;  // PID_PAGECOUNT: the lowest engine, times 100
constexpr MsiResult kNoMoreItems = 259;     // ERROR_NO_MORE_ITEMS

MsiResult ReadProperty(const MsiLibrary& msi, MsiHandle database, const char16_t* name, Text& value) {
  return ReadSingleValue(msi, database, Text(u"SELECT Value FROM Property WHERE Property = '") + name + u"'", value);
}

MsiResult ReadPageCount(const MsiLibrary& msi, MsiHandle database, int32_t& pageCount) {
  MsiHandle handle = 0;
  const MsiResult opened = msi.GetSummaryInformation(database, handle);
  if (opened != 0) return opened;
  ScopedMsiHandle summary(msi, handle);
  uint32_t dataType = 0;
  Text unused;
  return msi.SummaryGetProperty(summary.get(), kSummaryPageCount, dataType, pageCount, unused);
}

}  // namespace

PackageFacts ReadPackageFacts(const MsiLibrary& msi, const Text& packagePath) {
  PackageFacts facts;
  MsiHandle handle = 0;
  facts.result = msi.OpenDatabase(packagePath, handle);
  if (facts.result != 0) return facts;
  ScopedMsiHandle database(msi, handle);
  facts.result = ReadPageCount(msi, database.get(), facts.engineVersion);
  if (facts.result == 0) facts.result = ReadProperty(msi, database.get(), u"ProductCode", facts.productCode);
  if (facts.result == 0) facts.result = ReadProperty(msi, database.get(), u"ProductVersion", facts.productVersion);
  // A package without a name is still a package; the name only labels the distribution.
  if (facts.result == 0) ReadProperty(msi, database.get(), u"ProductName", facts.productName);
  return facts;
}

std::optional<bool> PackageHoldsStorage(const MsiLibrary& msi, MsiHandle database, const Text& name) {
  // A quotation mark would end the literal; no storage of such a name can be asked for.
  if (database == 0 || name.find(u'\'') != Text::npos) return std::nullopt;
  Text found;
  const MsiResult result = ReadSingleValue(msi, database, u"SELECT Name FROM _Storages WHERE Name = '" + name + u"'", found);
  if (result == kNoMoreItems) return false;
  if (result != 0) return std::nullopt;
  return true;
}

}  // namespace setup::check
