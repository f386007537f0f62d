// The texts --init writes for each language (tools/setup-check/init/languages/), as the tool embeds
// them, held to what --init and setup.exe make of them. Host only: ICU judges the Unicode.

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "setup/cmdline/setup_options.h"
#include "setup/decisions/settings_names.h"
#include "tools/setup-check/init/message_templates.h"

namespace setup::check::testing {
namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;  // key and value, in file order

std::string FileText(const LanguageCode& language) {
  std::string_view text = EmbeddedLanguageText(ToUtf8(language.code));
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return std::string(text);
}

// The lines MessageTemplatesOf reads; a line without "=" is all key, so that it shows as one.
Lines LinesOf(const LanguageCode& language) {
  const std::string text = FileText(language);
  Lines lines;
  for (size_t start = 0; start < text.size();) {
    std::string line = text.substr(start, text.find('\n', start) - start);
    start += line.size() + 1;
    if (line.ends_with('\r')) line.pop_back();
    if (line.empty() || line.starts_with('#')) continue;
    const size_t equals = line.find('=');
    lines.emplace_back(line.substr(0, equals), equals == std::string::npos ? "" : line.substr(equals + 1));
  }
  return lines;
}

std::string Name(const LanguageCode& language, const std::string& key) {
  return ToUtf8(language.code) + ".txt " + key;
}

std::set<std::string> Placeholders(const std::string& value) {
  static const std::regex placeholder(R"(\{[^}]*\})");
  std::set<std::string> found;
  for (std::sregex_iterator at(value.begin(), value.end(), placeholder), end; at != end; ++at) found.insert(at->str());
  return found;
}

// Letters besides the placeholders and the names that stay as typed: Windows's own, service
// packs included, as --init's table names them ("Windows XP Service Pack 3") for every language.
bool HasWords(const std::string& value) {
  static const std::regex kept(R"(\{[^}]*\}|Windows|Service Pack)");
  const icu::UnicodeString rest = icu::UnicodeString::fromUTF8(std::regex_replace(value, kept, ""));
  for (int32_t i = 0; i < rest.length(); i = rest.moveIndex32(i, 1)) {
    if (u_isalpha(rest.char32At(i)) != 0) return true;
  }
  return false;
}

// The characters of UTF-8 bytes in order, a negative number where the bytes are not UTF-8.
std::vector<UChar32> Utf8Characters(std::string_view bytes) {
  const char* const start = bytes.data();
  const auto length = static_cast<int32_t>(bytes.size());
  std::vector<UChar32> characters;
  for (int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(start, i, length, c);
    characters.push_back(c);
  }
  return characters;
}

// The byte Latin-1, or else Windows-1252, writes a character as; 0xFF, which UTF-8 never holds,
// where neither writes it as one.
char OneByte(UConverter* cp1252, char16_t c) {
  if (c <= 0xFF) return static_cast<char>(c);
  char byte = 0;
  UErrorCode status = U_ZERO_ERROR;
  const int32_t written = ucnv_fromUChars(cp1252, &byte, 1, &c, 1, &status);
  return written == 1 && U_SUCCESS(status) != 0 ? byte : '\xFF';
}

// UTF-8 read as Latin-1 or Windows-1252 and saved again ("hÃ¶her" for "höher"): the bytes those
// code pages write the characters as hold a UTF-8 character beyond ASCII. In real text an
// accented letter is never followed by just the symbols that stand for continuation bytes.
bool ReadsAsUtf8Twice(const std::string& value) {
  UErrorCode status = U_ZERO_ERROR;
  const std::unique_ptr<UConverter, decltype(&ucnv_close)> cp1252(ucnv_open("windows-1252", &status), ucnv_close);
  ucnv_setFromUCallBack(cp1252.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);  // ICU warns that the alias names several tables
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(value);
  std::string bytes;
  for (int32_t i = 0; i < text.length(); ++i) bytes += OneByte(cp1252.get(), text[i]);
  return std::ranges::any_of(Utf8Characters(bytes), [](UChar32 c) { return c >= 0x80; });
}

TEST(LanguageTexts, HaveTheKeysOfEnglishInItsOrder) {
  const auto keysOf = [](const LanguageCode& language) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : LinesOf(language)) keys.push_back(key);
    return keys;
  };
  // Each language, English too, gives every key MessageTemplatesOf reads, once, in English's order.
  std::vector<std::string> read = {ToUtf8(kUnsupportedSystemMessage), ToUtf8(kUnsupportedSystemMessage) + "-no-name",
                                   "service-pack", "build"};
  for (const auto& usage : kUsageMessages) read.push_back(ToUtf8(usage));
  for (const LanguageCode& language : kLanguageCodes) {
    EXPECT_EQ(keysOf(language), read) << ToUtf8(language.code) << ".txt";
  }
}

TEST(LanguageTexts, KeepThePlaceholdersEnglishHasForEachKey) {
  const Lines englishLines = LinesOf(*FindLanguageCode(u"en"));
  const std::map<std::string, std::string> english(englishLines.begin(), englishLines.end());
  for (const LanguageCode& language : kLanguageCodes) {
    for (const auto& [key, value] : LinesOf(language)) {
      if (!english.contains(key)) continue;  // the keys' own test tells
      EXPECT_EQ(Placeholders(value), Placeholders(english.at(key))) << Name(language, key) << ": " << value;
    }
  }
}

TEST(LanguageTexts, AreUtf8InNormalizationFormC) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  for (const LanguageCode& language : kLanguageCodes) {
    const std::string text = FileText(language);
    EXPECT_TRUE(std::ranges::none_of(Utf8Characters(text), [](UChar32 c) { return c < 0; }))
        << ToUtf8(language.code) << ".txt is not UTF-8";
    EXPECT_TRUE(nfc->isNormalized(icu::UnicodeString::fromUTF8(text), status)) << ToUtf8(language.code) << ".txt";
  }
}

TEST(LanguageTexts, HoldNoCharacterAtWhichSetupExeCutsTheLine) {
  for (const LanguageCode& language : kLanguageCodes) {
    for (const auto& [key, value] : LinesOf(language)) {
      EXPECT_EQ(value.find_first_of("[#;"), std::string::npos) << Name(language, key) << ": " << value;
    }
  }
}

TEST(LanguageTexts, ShareNoWordedTextWithAnotherLanguage) {
  for (const auto* one = kLanguageCodes.begin(); one != kLanguageCodes.end(); ++one) {
    for (const auto* other = std::next(one); other != kLanguageCodes.end(); ++other) {
      const Lines theirs = LinesOf(*other);
      for (const auto& line : LinesOf(*one)) {
        EXPECT_FALSE(std::ranges::find(theirs, line) != theirs.end() && HasWords(line.second))
            << Name(*one, line.first) << " is " << ToUtf8(other->code) << ".txt's: " << line.second;
      }
    }
  }
}

TEST(LanguageTexts, AreNotUtf8ReadAsLatin1) {
  for (const LanguageCode& language : kLanguageCodes) {
    for (const auto& [key, value] : LinesOf(language)) {
      EXPECT_FALSE(ReadsAsUtf8Twice(value)) << Name(language, key) << ": " << value;
    }
  }
}

}  // namespace
}  // namespace setup::check::testing
