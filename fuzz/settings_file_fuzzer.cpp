// Raw bytes as settings files, read from memory through the program's own reader and parser:
// the document it makes is the one a plain reading of the settings-file rules gives.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/oracle.h"
#include "setup/base/chars.h"
#include "setup/platform/host/host_platform.h"
#include "setup/settings/settings_file.h"

namespace {

using setup::Text;
using setup::TextView;
constexpr size_t kNone = TextView::npos;

// An input holding this line is two files, loaded one after the other into one document.
constexpr std::string_view kNextFile = "\n==next file==\n";
const Text kPath = u"Setup.ini";  // made once, not once a load

// The program reads every file through its platform; this one answers with bytes in memory, so
// that an input costs no file. The stream is opened once over whatever input is current, so that
// no input costs a stream or a buffer of its own; without a buffer it would read byte by byte.
class MemoryPlatform : public setup::HostPlatform {
 public:
  std::string_view file;

  ~MemoryPlatform() override { std::fclose(stream_); }

  setup::FileContent ReadWholeFile(const Text&) override {
    setup::FileContent content;
    content.opened = true;
    unread_ = file;
    std::clearerr(stream_);
    content.bytes = setup::FileBytes::ReadToEnd(stream_, file.size());
    return content;
  }

 private:
  static ssize_t Read(void* cookie, char* buffer, size_t size) {
    std::string_view& unread = static_cast<MemoryPlatform*>(cookie)->unread_;
    const size_t count = unread.copy(buffer, size);
    unread.remove_prefix(count);
    return static_cast<ssize_t>(count);
  }

  std::string_view unread_;
  std::FILE* stream_ = [this] {
    static char buffer[1 << 16];
    std::FILE* stream = fopencookie(this, "rb", {Read, nullptr, nullptr, nullptr});
    std::setvbuf(stream, buffer, _IOFBF, sizeof buffer);
    return stream;
  }();
};

// The model. Which characters the C library counts as white space is taken from base, where
// the set is compared with msvcrt character by character.

using Section = std::map<Text, Text>;  // std::u16string orders by unsigned code units: ordinal
using Document = std::map<Text, Section>;

// Every CR that stands before an LF dropped, the text between them copied whole: erasing them
// one by one made a file of many lines quadratic.
Text WithoutCr(TextView text) {
  Text kept;
  kept.reserve(text.size());
  for (size_t at = text.find(u"\r\n"); at != kNone; at = text.find(u"\r\n")) {
    kept.append(text.substr(0, at));
    text.remove_prefix(at + 1);
  }
  kept.append(text);
  return kept;
}

// The ANSI code page is the platform's, one character a byte: it is asked once for every byte.
Text ModelAnsi(std::string_view bytes, setup::Platform& platform) {
  static const Text characters = [&platform] {
    std::string every(256, '\0');
    for (size_t byte = 0; byte < every.size(); ++byte) every[byte] = static_cast<char>(byte);
    return platform.DecodeAnsi(every);
  }();
  Text text(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), text.begin(),
                 [](char byte) { return characters[static_cast<uint8_t>(byte)]; });
  return text;
}

// No file, an empty one, or a UTF-16BE mark yields no text. A UTF-16LE mark means UTF-16 (the
// mark read as U+FEFF); a UTF-8 mark UTF-8 (likewise); otherwise the ANSI code page up to a
// Ctrl+Z. The text ends at its first NUL; the text stream turns CR LF into LF, and the document
// then does so once more.
std::optional<Text> ModelRead(std::string_view bytes, setup::Platform& platform) {
  if (bytes.empty() || bytes.starts_with("\xFE\xFF")) return std::nullopt;
  Text text;
  if (bytes.starts_with("\xFF\xFE")) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      text += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
    }
  } else if (bytes.starts_with("\xEF\xBB\xBF")) {
    text = u"\uFEFF" + platform.DecodeUtf8(bytes.substr(3));
  } else {
    text = ModelAnsi(bytes.substr(0, bytes.find('\x1A')), platform);
  }
  text.resize(std::min(text.find(u'\0'), text.size()));
  return WithoutCr(WithoutCr(text));
}

TextView Trimmed(TextView text) {
  while (!text.empty() && setup::IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && setup::IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// A line trimmed, then a comment when it starts with "#" or ";"; else cut at its last "#" and
// then at its last ";". The first "=" parts the key from the value, both trimmed.
std::pair<TextView, TextView> ModelLine(TextView line) {
  TextView rest = Trimmed(line);
  if (rest.starts_with(u'#') || rest.starts_with(u';')) return {};
  rest = rest.substr(0, rest.rfind(u'#'));
  rest = rest.substr(0, rest.rfind(u';'));
  const size_t equals = rest.find(u'=');
  if (equals == kNone) return {Trimmed(rest), TextView()};
  return {Trimmed(rest.substr(0, equals)), Trimmed(rest.substr(equals + 1))};
}

// A section from each "[" up to one character before the next "[", the last one to the end. Its
// name runs to the first "]", and a chunk without one makes no section. The lines after the
// header line give the keys; the last line of a key wins, an empty key adds nothing. A name
// already in the document keeps the section it has.
void ModelLoad(TextView text, Document& document) {
  for (size_t open = text.find(u'['); open != kNone;) {
    const size_t next = text.find(u'[', open + 1);
    const TextView chunk = text.substr(open, next == kNone ? kNone : next - 1 - open);
    open = next;
    const size_t close = chunk.find(u']');
    if (close == kNone) continue;
    const auto [entry, isNew] = document.try_emplace(Text(chunk.substr(1, close - 1)));
    if (!isNew) continue;
    TextView body = chunk.substr(close);
    for (size_t lineEnd = body.find(u'\n'); lineEnd != kNone;) {
      body.remove_prefix(lineEnd + 1);
      lineEnd = body.find(u'\n');
      const auto [key, value] = ModelLine(body.substr(0, lineEnd));
      if (!key.empty()) entry->second[Text(key)] = value;
    }
  }
}

// What callers can learn of a document: whether each load read a text, how many sections it
// holds, and each section with its pairs in GetKeyAt order (and what lies past the last one).
struct SectionAnswer {
  Text name;
  std::vector<std::pair<Text, Text>> pairs;
  Text pastTheLast;
};
struct Answer {
  std::vector<bool> loaded;
  size_t sectionCount = 0;
  std::vector<SectionAnswer> sections;
};

// The program's answer, asked for the sections the model found.
Answer AskProgram(const setup::SettingsFile& file, std::vector<bool> loaded, const Document& document) {
  Answer answer{std::move(loaded), file.GetSectionCount(), {}};
  answer.sections.reserve(document.size());
  for (const auto& entry : document) {
    const setup::SettingsSection section = file.GetSection(entry.first);
    SectionAnswer& found = answer.sections.emplace_back();
    found.name = section.GetName();
    found.pairs.reserve(section.GetKeyCount());
    for (size_t i = 0; i < section.GetKeyCount(); ++i) {
      Text key = section.GetKeyAt(i);
      Text value = section.GetValue(key);
      found.pairs.emplace_back(std::move(key), std::move(value));
    }
    found.pastTheLast = section.GetKeyAt(section.GetKeyCount());
  }
  return answer;
}

Answer ModelAnswer(std::vector<bool> loaded, const Document& document) {
  Answer answer{std::move(loaded), document.size(), {}};
  for (const auto& [name, section] : document) answer.sections.push_back({name, {section.begin(), section.end()}, {}});
  return answer;
}

bool Matches(const Answer& program, const std::vector<bool>& loaded, const Document& document) {
  if (program.loaded != loaded || program.sectionCount != document.size()) return false;
  auto asked = program.sections.begin();
  for (const auto& [name, section] : document) {
    const auto samePair = [](const auto& a, const auto& b) { return a.first == b.first && a.second == b.second; };
    if (asked->name != name || !asked->pastTheLast.empty() ||
        !std::equal(asked->pairs.begin(), asked->pairs.end(), section.begin(), section.end(), samePair)) {
      return false;
    }
    ++asked;
  }
  return true;
}

std::string Show(const Answer& answer) {
  std::string shown = "loaded";
  for (const bool loaded : answer.loaded) shown += loaded ? " yes" : " no";
  shown += "; " + std::to_string(answer.sectionCount) + " sections";
  for (const SectionAnswer& section : answer.sections) {
    shown += "; [" + fuzz::Printable(section.name) + "]";
    for (const auto& [key, value] : section.pairs) shown += " '" + fuzz::Printable(key) + "'='" + fuzz::Printable(value) + "'";
    if (!section.pastTheLast.empty()) shown += " past the last: '" + fuzz::Printable(section.pastTheLast) + "'";
  }
  return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryPlatform platform;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> files{input.substr(0, input.find(kNextFile))};
  if (files[0].size() < input.size()) files.push_back(input.substr(files[0].size() + kNextFile.size()));

  setup::SettingsFile settings(platform);
  std::vector<bool> programLoaded;
  std::vector<bool> modelLoaded;
  Document document;
  std::vector<Text> texts;  // what the model read, shown when the answers differ
  for (const std::string_view file : files) {
    platform.file = file;
    programLoaded.push_back(settings.Load(kPath));
    std::optional<Text> text = ModelRead(file, platform);
    modelLoaded.push_back(text.has_value());
    if (!text) continue;
    ModelLoad(*text, document);
    texts.push_back(std::move(*text));
  }
  const Answer program = AskProgram(settings, std::move(programLoaded), document);
  if (Matches(program, modelLoaded, document)) return 0;
  Text shown;
  for (const Text& text : texts) shown += (shown.empty() ? u"" : u" / ") + text;
  fuzz::Disagree("the settings document", shown, Show(program), Show(ModelAnswer(std::move(modelLoaded), document)));
}
