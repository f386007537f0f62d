#include "ini_corpus.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace setup::bench {
namespace {

// A fixed linear congruential sequence: the files must be the same on every run.
class Sequence {
 public:
  uint32_t Next(uint32_t bound) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state_ >> 33) % bound;
  }

 private:
  uint64_t state_ = 0x5e7b0e5ULL;
};

constexpr std::array<const char*, 16> kWords = {
    "Product", "Version", "Location", "Feature", "Component", "Language", "Install",  "Target",
    "Folder",  "Message", "Option",   "Display", "Registry",  "Service",  "Shortcut", "Update"};

class IniWriter {
 public:
  void Comment(const std::string& text) { Line("; " + text); }
  void Blank() { Line(""); }
  void Section(const std::string& name) {
    Line("[" + name + "]");
    text_.sectionNames.push_back(name);
  }
  void Pair(const std::string& key, const std::string& value, bool spaced) {
    Line(spaced ? key + " = " + value : key + "=" + value);
    ++text_.keyCount;
  }
  size_t Size() const { return text_.bytes.size(); }
  GeneratedText Take() { return std::move(text_); }

 private:
  void Line(const std::string& line) { text_.bytes.append(line).append("\r\n"); }
  GeneratedText text_;
};

std::string Guid(Sequence& random) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string guid = "{";
  for (const int group : {8, 4, 4, 4, 12}) {
    for (int i = 0; i < group; ++i) guid.push_back(kHex[random.Next(16)]);
    guid.push_back(group == 12 ? '}' : '-');
  }
  return guid;
}

// Values of the kinds settings files hold: words, numbers, product codes, paths, property lists.
std::string Value(Sequence& random, size_t index) {
  const std::string word = kWords[random.Next(kWords.size())];
  switch (random.Next(5)) {
    case 0:
      return word + " text of entry " + std::to_string(index);
    case 1:
      return std::to_string(random.Next(100000));
    case 2:
      return Guid(random);
    case 3:
      return "C:\\Program Files\\Example\\" + word + "\\file" + std::to_string(index) + ".dll";
    default:
      return "REBOOT=ReallySuppress " + word + "=" + std::to_string(random.Next(1000));
  }
}

// Keys in no particular order (a sorted file would flatter a parser that sorts), unique by index.
std::string Key(Sequence& random, size_t index) {
  return kWords[random.Next(kWords.size())] + std::to_string(index);
}

void FillSection(IniWriter& writer, Sequence& random, const std::string& name, size_t keys) {
  writer.Section(name);
  for (size_t i = 0; i < keys; ++i) {
    if (i % 8 == 7) writer.Comment("entry " + std::to_string(i) + " and after");
    writer.Pair(Key(random, i), Value(random, i), random.Next(4) == 0);
  }
  writer.Blank();
}

void WriteIfDifferent(const std::filesystem::path& path, const std::string& bytes) {
  std::ifstream existing(path, std::ios::binary);
  if (existing) {
    const std::string old((std::istreambuf_iterator<char>(existing)),
                          std::istreambuf_iterator<char>());
    if (old == bytes) return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

GeneratedText TypicalSettings() {
  IniWriter writer;
  Sequence random;
  writer.Comment("Settings of the distribution: setup.exe reads this file from its own folder.");
  writer.Section("Startup");
  writer.Pair("Product", "Example Product", false);
  writer.Pair("PackageName", "Package", false);
  writer.Pair("ProductVersion", "2.0.1.5", false);
  writer.Pair("ProductCode", "{6F1D3C2A-8B4E-4F5A-9C7D-2E3B4A5C6D71}", false);
  writer.Pair("LogResults", "N", false);
  writer.Pair("CmdLine", "REBOOT=ReallySuppress", false);
  writer.Blank();
  writer.Section("Package");
  writer.Pair("Location", "product.msi", false);
  writer.Blank();
  writer.Comment("The first key names the lowest Windows Installer engine.");
  writer.Section("MsiVersion");
  writer.Pair("3.1", "Systems", false);
  writer.Blank();
  writer.Section("Systems");
  for (const char* system : {"WinXP", "Vista", "Win10"}) writer.Pair(system, "1", false);
  writer.Blank();
  const std::array<std::array<const char*, 4>, 3> systems = {
      {{"WinXP", "5", "1", "2600"}, {"Vista", "6", "0", "6000"}, {"Win10", "10", "0", "10240"}}};
  for (const auto& [name, major, minor, build] : systems) {
    writer.Section(name);
    writer.Pair("MajorVer", major, false);
    writer.Pair("MinorVer", minor, false);
    writer.Pair("BuildNo", build, false);
    writer.Blank();
  }
  writer.Section("Instances");
  writer.Pair("count", "2", false);
  writer.Pair("1", "Second", false);
  writer.Pair("2", "Third", false);
  writer.Blank();
  for (const char* instance : {"Second", "Third"}) {
    writer.Section(instance);
    writer.Pair("ProductCode", Guid(random), false);
    writer.Blank();
  }
  writer.Section("Features");
  for (size_t index = 0; writer.Size() < 2000; ++index) {
    writer.Pair(Key(random, index), Value(random, index), true);
  }
  return writer.Take();
}

GeneratedText ManySections(size_t minimumBytes, size_t keysPerSection) {
  IniWriter writer;
  Sequence random;
  for (size_t section = 0; writer.Size() < minimumBytes; ++section) {
    if (section % 4 == 0) writer.Comment("Group " + std::to_string(section / 4));
    FillSection(writer, random,
                kWords[section % kWords.size()] + std::string("Section") + std::to_string(section),
                keysPerSection);
  }
  return writer.Take();
}

GeneratedText OneSection(size_t keyCount) {
  IniWriter writer;
  Sequence random;
  FillSection(writer, random, "Big", keyCount);
  return writer.Take();
}

std::vector<CorpusFile> WriteCorpus(const std::string& folder) {
  std::filesystem::create_directories(folder);
  struct Spec {
    const char* label;
    GeneratedText (*make)();
  };
  const Spec specs[] = {
      {"2KB", [] { return TypicalSettings(); }},
      {"1MB", [] { return ManySections(1 << 20, 40); }},
      {"50MB", [] { return ManySections(50 << 20, 20000); }},
      {"100k-keys", [] { return OneSection(100000); }},
  };
  std::vector<CorpusFile> files;
  for (const Spec& spec : specs) {
    GeneratedText text = spec.make();
    const std::filesystem::path path =
        std::filesystem::absolute(folder) / (std::string(spec.label) + ".ini");
    WriteIfDifferent(path, text.bytes);
    files.push_back({spec.label, path.string(), text.bytes.size(), std::move(text.sectionNames),
                     text.keyCount});
  }
  return files;
}

}  // namespace setup::bench
