#include "setup/settings/settings_file.h"

#include <gtest/gtest.h>

#include "setup/platform/host/host_platform.h"
#include "tests/support/temp_dir.h"

namespace setup {
namespace {

using namespace std::string_literals;

// "key=value" pairs in GetKeyAt order, joined by '|': the whole section as callers see it.
Text Describe(const SettingsSection& section) {
  Text described;
  for (size_t i = 0; i < section.GetKeyCount(); ++i) {
    if (i > 0) described += u'|';
    described += section.GetKeyAt(i) + u'=' + section.GetValue(section.GetKeyAt(i));
  }
  return described;
}

// Texts handed over directly never reach the platform, but the document needs one.
HostPlatform unusedPlatform;

struct Section {
  Text name;
  Text pairs;
};

void ExpectDocument(const SettingsFile& file, const std::vector<Section>& expected, TextView text) {
  EXPECT_EQ(file.GetSectionCount(), expected.size()) << ToUtf8(text);
  for (const Section& section : expected) {
    const SettingsSection found = file.GetSection(section.name);
    EXPECT_EQ(found.GetName(), section.name) << ToUtf8(text);
    EXPECT_EQ(Describe(found), section.pairs) << ToUtf8(section.name) << " in " << ToUtf8(text);
  }
}

TEST(SettingsFile, CutsTheTextIntoSectionsAtEveryBracket) {
  const struct {
    Text text;
    std::vector<Section> sections;
  } cases[] = {
      {u"; product settings\n[General]\nTitle = Example ; shown in captions\nLevel=5\n"
       u"[Texts]\n1203=Text of the message#note\nFlag\n",
       {{u"General", u"Level=5|Title=Example"}, {u"Texts", u"1203=Text of the message|Flag="}}},
      {u"[A]\nk=v\n[B]\nx = y ; c", {{u"A", u"k=v"}, {u"B", u"x=y"}}},
      {u"[A]\n[B]\nk=v", {{u"A", u""}, {u"B", u"k=v"}}},
      {u"[A]\n\n[B]\nk=v", {{u"A", u""}, {u"B", u"k=v"}}},
      {u"[A]", {{u"A", u""}}},                    {u"[A]\n", {{u"A", u""}}},
      {u"[A]=x\n[B]\n", {{u"A", u""}, {u"B", u""}}},
      {u"[A]\nk=a[1]\nm=2", {{u"A", u"k="}, {u"1", u"m=2"}}},
      {u"[A]\nk=v\n[A]\nk=w", {{u"A", u"k=v"}}},    {u"[A]\nk=1\nk=2\nk=3", {{u"A", u"k=3"}}},
      {u"[A]\nk=v]", {{u"A", u"k=v]"}}},  // the name ends at the first "]", not the last
      {u"[A]\n# c\n; c\n=x\n\n  \nflag", {{u"A", u"flag="}}},
      {u"junk\n[ S ]\nK=V", {{u" S ", u"K=V"}}},
      {u"[A\nk=v]\nz=1", {{u"A\nk=v", u"z=1"}}},
      {u"no sections here\nk=v", {}},
      {u"\uFEFF[A]\nk=v", {{u"A", u"k=v"}}},
      {u"[A]\r\nk = v\r\n[B]\r\r\nx=1\r", {{u"A", u"k=v"}, {u"B", u"x=1"}}},
      {u"[A]\nB=1\na=2\nA1=3\n\U00010000=4\n\uFF21=5", {{u"A", u"A1=3|B=1|a=2|\U00010000=4|\uFF21=5"}}},
      {u"[A]\nk=v\0\n[B]\nx=1"s, {{u"A", u"k=v"}}},
      // Headers never closed within their chunk make no section, and so never take a name.
      {u"[A]\nk=v\n[B", {{u"A", u"k=v"}}},
      {u"[A]\nk=v\n[B\nx=1", {{u"A", u"k=v"}}},
      {u"[", {}},                                  {u"[A][B]\nk=v", {{u"B", u"k=v"}}},
      {u"[[A]\nk=v", {{u"A", u"k=v"}}},
      {u"[Startup\n[Startup]\nk=v", {{u"Startup", u"k=v"}}},
      {u"[A]\nk=1\n[A", {{u"A", u"k=1"}}},          {u"[]\nk=v", {{u"", u"k=v"}}},
      // The C library's white space beyond ASCII is trimmed too.
      {u"[A]\n\u3000k\u00a0=\u2003v\u3000\n\u200bm=\u205f", {{u"A", u"k=v|\u200bm="}}},
  };
  for (const auto& c : cases) {
    SettingsFile file(unusedPlatform);
    file.LoadText(c.text);
    ExpectDocument(file, c.sections, c.text);
  }
}

TEST(SettingsFile, NamesAndKeysMatchExactly) {
  SettingsFile file(unusedPlatform);
  file.LoadText(u"[General]\nk=v\n[ S ]\nK=V");
  for (const char16_t* absent : {u"general", u"S", u" S"}) {
    EXPECT_EQ(Describe(file.GetSection(absent)), u"") << ToUtf8(absent);
  }
  EXPECT_EQ(file.GetSection(u"General").GetValue(u"K") + file.GetSection(u"General").GetKeyAt(1), u"");
}

TEST(SettingsFile, LaterTextsKeepSectionsAlreadyHeld) {
  SettingsFile file(unusedPlatform);
  file.LoadText(u"[A]\nk=1");
  file.LoadText(u"[A]\nk=2\nm=3\n[B]\nx=y");
  ExpectDocument(file, {{u"A", u"k=1"}, {u"B", u"x=y"}}, u"two texts");
  // Names that sort before, between and after those held, and a repeat.
  file.LoadText(u"[0]\nz=1\n[AA]\nz=2\n[A]\nk=3\n[C]\nz=4\n[!]\nz=5");
  ExpectDocument(file, {{u"!", u"z=5"}, {u"0", u"z=1"}, {u"A", u"k=1"}, {u"AA", u"z=2"}, {u"B", u"x=y"}, {u"C", u"z=4"}},
                 u"three texts");
}

// A large section orders its keys on their first units packed together: keys that differ past
// Latin-1, or only in units beyond the packed ones, must still come out in ordinal order.
TEST(SettingsFile, OrdersTheKeysOfALargeSectionOrdinally) {
  const std::vector<Text> ordered = {u"a",          u"abcd",     u"abcde",    u"abcd\u00ff",
                                     u"abcd\uff00", u"a\u00ff",  u"a\u0100",  u"a\u0100\u0100",
                                     u"\u00ff",     u"\u0100",   u"\u3001x",  u"\uff21", u"\uffff"};
  Text text = u"[Big]\n";
  for (int i = 0; i < 300; ++i) text += u"; filler line\n";
  for (auto key = ordered.rbegin(); key != ordered.rend(); ++key) text += *key + u"=" + *key + u"\n";
  SettingsFile file(unusedPlatform);
  file.LoadText(text);
  const SettingsSection big = file.GetSection(u"Big");
  ASSERT_EQ(big.GetKeyCount(), ordered.size());
  for (size_t i = 0; i < ordered.size(); ++i) {
    EXPECT_EQ(big.GetKeyAt(i), ordered[i]) << i;
    EXPECT_EQ(big.GetValue(ordered[i]), ordered[i]) << i;
  }
}

TEST(SettingsFile, EnumeratesAHundredThousandKeysInOrder) {
  constexpr int kKeys = 100000;
  const auto number = [](int i) { return FromUtf8(std::to_string(1000000 + i)); };
  Text text = u"[Big]\n";
  for (int i = kKeys - 1; i >= 0; --i) text += u"k" + number(i) + u"=" + number(i) + u"\n";
  text += u"k1000000=last\n";
  SettingsFile file(unusedPlatform);
  file.LoadText(text);
  const SettingsSection big = file.GetSection(u"Big");
  ASSERT_EQ(big.GetKeyCount(), static_cast<size_t>(kKeys));
  for (int i = 0; i < kKeys; ++i) {
    ASSERT_EQ(big.GetKeyAt(i), u"k" + number(i));
    ASSERT_EQ(big.GetValue(big.GetKeyAt(i)), i == 0 ? Text(u"last") : number(i));
  }
}

TEST(SettingsSection, DropsCommentsThenSplitsEachLineAtTheFirstEquals) {
  const struct {
    const char16_t *line, *key, *value;
  } cases[] = {
      {u"# c", u"", u""},         {u"  ; k=v", u"", u""},   {u"=x", u"", u""},          {u" \t ", u"", u""},
      {u"k=a#b # c", u"k", u"a#b"}, {u"n=a;b#c;d", u"n", u"a"}, {u"flag", u"flag", u""},
      {u"a = b = c", u"a", u"b = c"}, {u"\t k \t=\t v \r", u"k", u"v"}, {u"k;=v", u"k", u""},
  };
  for (const auto& c : cases) {
    SettingsSection section;
    ASSERT_TRUE(section.Parse(u"[s]\n" + Text(c.line)));
    EXPECT_EQ(section.GetKeyAt(0), c.key) << ToUtf8(c.line);
    EXPECT_EQ(section.GetValue(c.key), c.value) << ToUtf8(c.line);
  }
}

TEST(SettingsSection, AChunkWhoseHeaderIsNeverClosedLeavesItEmpty) {
  SettingsSection section;
  EXPECT_TRUE(section.Parse(u"[Long name]\nk=v"));
  EXPECT_FALSE(section.Parse(u"[B\nx=1"));
  EXPECT_EQ(section.GetName() + Describe(section), u"");
}

TEST(SettingsSection, SetValueKeepsKeysInOrderAndReplaces) {
  SettingsSection section(u"S");
  for (const char16_t* key : {u"b", u"B", u"a"}) section.SetValue(key, u"1");
  section.SetValue(u"b", u"4");
  EXPECT_EQ(Describe(section), u"B=1|a=1|b=4");
}

TEST(SettingsSection, CopiesStayIndependentAndOutliveTheirFile) {
  SettingsSection copy;
  SettingsSection other;
  {
    SettingsFile file(unusedPlatform);
    file.LoadText(u"[S]\nk=v\nm=w");
    copy = file.GetSection(u"S");
    other = copy;
  }
  copy.SetValue(u"k", u"changed");
  copy.SetValue(u"a", u"added");
  EXPECT_EQ(Describe(copy), u"a=added|k=changed|m=w");
  EXPECT_EQ(Describe(other), u"k=v|m=w");
  EXPECT_EQ(other.GetName(), u"S");
}

TEST(SettingsSection, OrdersKeysHoldingNulUnitsOrdinally) {
  SettingsSection section;
  section.Parse(u"[S]\na\0=1\na=2\na\0\0=3\nb=4"s);
  EXPECT_EQ(Describe(section), u"a=2|a\0=1|a\0\0=3|b=4"s);
  EXPECT_EQ(section.GetValue(u"a\0"s), u"1");
}

TEST(SettingsFileLoad, ReportsWhetherTheFileGaveAText) {
  testing::TempDir dir;
  SettingsFile file(unusedPlatform);
  const auto Load = [&](std::string_view bytes) { return file.Load(dir.Write("Setup.ini", bytes)); };
  EXPECT_FALSE(file.Load(dir.PathOf("missing.ini")));
  EXPECT_FALSE(Load(""));
  EXPECT_FALSE(Load("\xFE\xFF[\0A\0]\0"s));
  EXPECT_TRUE(Load("no sections"));
  EXPECT_TRUE(Load("\x1A[A]\nk=v"));
  EXPECT_TRUE(Load("\xFF\xFE[\0A\0]\0\r\0\n\0k\0=\0\xAC\x20"s));
  ExpectDocument(file, {{u"A", u"k=\u20AC"}}, u"UTF-16 file");
  EXPECT_TRUE(Load("\xEF\xBB\xBF[B]\nk=\xE3\x80\x80v\xC2\xA0"));
  EXPECT_EQ(file.GetSection(u"B").GetValue(u"k"), u"v");
}

}  // namespace
}  // namespace setup
