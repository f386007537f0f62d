#include "setup/decisions/os_requirements.h"

#include <gtest/gtest.h>

#include "setup/driver/setup_context.h"
#include "setup/platform/host/host_platform.h"

namespace setup {
namespace {

SettingsSection Entry(std::initializer_list<std::pair<const char16_t*, const char16_t*>> keys) {
  SettingsSection section(u"Entry");
  for (const auto& [key, value] : keys) section.SetValue(key, value);
  return section;
}

TEST(OsRequirementOf, ReadsTheEntryKeys) {
  constexpr uint32_t kNever = 0xFFFFFFFFu;
  const struct {
    SettingsSection entry;
    OsRequirement expected;
  } cases[] = {
      {Entry({{u"MajorVer", u"5"}, {u"MinorVer", u"1"}, {u"BuildNo", u"2600"}, {u"ServicePack", u"512"}}),
       {5, 1, 2600, 2, 0}},
      {Entry({{u"MajorVer", u"6"}, {u"MinorVer", u"0"}, {u"BuildNo", u"6000"}}), {6, 0, 6000, 0, 0}},
      {Entry({{u"MajorVer", u"5"}, {u"MinorVer", u"1"}, {u"BuildNo", u"2600"}, {u"ServicePack", u"2"}}),
       {5, 1, 2600, 0, 2}},
      {Entry({{u"MajorVer", u"5"}, {u"MinorVer", u"1"}, {u"BuildNo", u"2600"}, {u"ServicePack", u"-1"}}),
       {5, 1, 2600, 255, 255}},
      {Entry({{u"MajorVer", u"5"}, {u"MinorVer", u"1"}, {u"BuildNo", u"2600"}, {u"ServicePack", u"sp2"}}),
       {5, 1, 2600, 0, 0}},
      {Entry({{u"MajorVer", u"5"}, {u"MinorVer", u"1"}, {u"BuildNo", u"2600"}, {u"ServicePack", u"66047"}}),
       {5, 1, 2600, 1, 255}},
      {Entry({{u"MajorVer", u"5"}, {u"MinorVer", u"1"}}), {5, 1, kNever, 0, 0}},
      {Entry({{u"MajorVer", u"5"}, {u"MinorVer", u"x"}, {u"BuildNo", u"1"}}), {5, kNever, kNever, 0, 0}},
      {Entry({}), {kNever, kNever, kNever, 0, 0}},
  };
  for (const auto& c : cases) {
    const OsRequirement r = OsRequirementOf(c.entry);
    EXPECT_EQ(r.major, c.expected.major);
    EXPECT_EQ(r.minor, c.expected.minor);
    EXPECT_EQ(r.build, c.expected.build);
    EXPECT_EQ(r.servicePackMajor, c.expected.servicePackMajor);
    EXPECT_EQ(r.servicePackMinor, c.expected.servicePackMinor);
  }
}

class CheckOperatingSystemTest : public ::testing::Test {
 protected:
  // The answers the run noted, one letter an entry in key order: m met, n not met, - not asked.
  std::string Check(const std::string& ini, SystemVersion system) {
    platform.system = system;
    MsiLibrary msi(platform);
    SetupContext context(platform, msi);
    context.settings.LoadText(FromUtf8("[MsiVersion]\n3.0=Systems\n" + ini));
    const bool supported = context.CheckOperatingSystem();
    std::string answers;
    for (const OsEntry& entry : context.state.systems.entries)
      answers += entry.answer == EntryAnswer::kMet ? 'm' : entry.answer == EntryAnswer::kNotMet ? 'n' : '-';
    EXPECT_EQ(supported, answers.find('m') != std::string::npos) << ini;
    return answers;
  }
  HostPlatform platform;
};

constexpr char kEntries[] =
    "[Xp]\nMajorVer=5\nMinorVer=1\nBuildNo=2600\nServicePack=512\n"
    "[Seven]\nMajorVer=6\nMinorVer=1\nBuildNo=7601\n"
    "[Broken]\nMajorVer=5\nMinorVer=0\n";

TEST_F(CheckOperatingSystemTest, AsksEntryByEntryUntilOneIsMet) {
  const struct {
    std::string list;
    SystemVersion system;
    std::string answers;
  } cases[] = {
      {"[Systems]\nXp=1\nSeven=1\n", {5, 1, 2600, 2, 0}, "nm"},
      {"[Systems]\nXp=1\nSeven=1\n", {6, 1, 7601, 0, 0}, "m-"},
      {"[Systems]\nXp=1\nSeven=1\n", {5, 1, 2600, 1, 0}, "nn"},
      {"[Systems]\nXp=1\n", {10, 0, 19045, 0, 0}, "m"},
      {"[Systems]\nSeven=1\n", {5, 1, 2600, 3, 0}, "n"},
      {"[Systems]\nXp=0\nSeven=yes\n", {10, 0, 19045, 0, 0}, "--"},
      {"[Systems]\nXp=01\n", {10, 0, 19045, 0, 0}, "-"},
      {"[Systems]\nBroken=1\n", {10, 0, 19045, 0, 0}, "n"},
      {"[Systems]\nMissing=1\nSeven=1\n", {6, 1, 7601, 1, 0}, "nm"},
      {"[Systems]\n", {10, 0, 19045, 0, 0}, ""},
      {"", {10, 0, 19045, 0, 0}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Check(c.list + kEntries, c.system), c.answers) << c.list;
  }
}

}  // namespace
}  // namespace setup
