#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <map>

#include "ini_loaders.h"
#include "suites.h"

namespace setup::bench {
namespace {

// Documents are built once per process and kept: Google Benchmark calls a benchmark several
// times, and building a 50 MB document each time would dwarf the query measured.
template <typename Document>
const Document& Cached(const std::string& key,
                       std::unique_ptr<Document> (*build)(const std::string&),
                       const std::string& text) {
  static std::map<std::string, std::unique_ptr<Document>> documents;
  auto& slot = documents[key];
  if (!slot) slot = build(text);
  return *slot;
}

const std::string& SectionText(size_t keys) {
  static std::map<size_t, std::string> texts;
  auto& text = texts[keys];
  if (text.empty()) text = OneSection(keys).bytes;
  return text;
}

std::string FileText(const CorpusFile& file) {
  std::ifstream stream(file.path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void Finish(benchmark::State& state, size_t itemsPerIteration) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(itemsPerIteration));
}

// As the program's callers enumerate: the key at each index, then the value of that key.
void EnumerateOurs(benchmark::State& state, size_t keys) {
  const std::string cacheKey = std::to_string(keys);
  const SettingsSection section =
      Cached(cacheKey, OursFromText, SectionText(keys)).GetSection(u"Big");
  if (section.GetKeyCount() != keys) state.SkipWithError("the section does not hold every key");
  for (auto _ : state) {
    for (size_t i = 0; i < section.GetKeyCount(); ++i) {
      Text key = section.GetKeyAt(i);
      Text value = section.GetValue(key);
      benchmark::DoNotOptimize(key);
      benchmark::DoNotOptimize(value);
    }
  }
  Finish(state, keys);
}

// The peers enumerate by their cheapest idiom, copying each key and value out as ours does.
void EnumerateSimpleIni(benchmark::State& state, size_t keys) {
  const CSimpleIniW& ini = Cached(std::to_string(keys), SimpleIniFromText, SectionText(keys));
  for (auto _ : state) {
    CSimpleIniW::TNamesDepend names;
    ini.GetAllKeys(u"Big", names);
    for (const auto& name : names) {
      std::u16string key(name.pItem);
      std::u16string value(ini.GetValue(u"Big", name.pItem));
      benchmark::DoNotOptimize(key);
      benchmark::DoNotOptimize(value);
    }
  }
  Finish(state, keys);
}

void EnumeratePropertyTree(benchmark::State& state, size_t keys) {
  const auto& tree = Cached(std::to_string(keys), PropertyTreeFromText, SectionText(keys));
  for (auto _ : state) {
    for (const auto& [name, node] : tree.get_child("Big")) {
      std::string key = name;
      std::string value = node.data();
      benchmark::DoNotOptimize(key);
      benchmark::DoNotOptimize(value);
    }
  }
  Finish(state, keys);
}

void EnumerateInih(benchmark::State& state, size_t keys) {
  const InihDocument& document = Cached(std::to_string(keys), InihFromText, SectionText(keys));
  for (auto _ : state) {
    for (const auto& [name, text] : document.sections.at("Big")) {
      std::string key = name;
      std::string value = text;
      benchmark::DoNotOptimize(key);
      benchmark::DoNotOptimize(value);
    }
  }
  Finish(state, keys);
}

const CorpusFile& FileLabelled(const std::vector<CorpusFile>& files, const std::string& label) {
  for (const CorpusFile& file : files) {
    if (file.label == label) return file;
  }
  throw std::runtime_error("no corpus file " + label);
}

// The section in the middle of the file: a long one in the 50 MB file.
std::string MiddleSection(const CorpusFile& file) {
  return file.sectionNames[file.sectionNames.size() / 2];
}

void GetSectionOurs(benchmark::State& state, const CorpusFile* file, const std::string& name) {
  const SettingsFile& settings = Cached(file->label, OursFromText, FileText(*file));
  const Text wanted = FromUtf8(name);
  size_t keys = 0;
  for (auto _ : state) {
    SettingsSection section = settings.GetSection(wanted);
    keys = section.GetKeyCount();
    benchmark::DoNotOptimize(section);
  }
  Finish(state, keys);
}

void GetSectionInih(benchmark::State& state, const CorpusFile* file, const std::string& name) {
  const InihDocument& document = Cached(file->label, InihFromText, FileText(*file));
  size_t keys = 0;
  for (auto _ : state) {
    auto section = document.sections.at(name);
    keys = section.size();
    benchmark::DoNotOptimize(section);
  }
  Finish(state, keys);
}

void GetSectionPropertyTree(benchmark::State& state, const CorpusFile* file,
                            const std::string& name) {
  const auto& tree = Cached(file->label, PropertyTreeFromText, FileText(*file));
  size_t keys = 0;
  for (auto _ : state) {
    boost::property_tree::ptree section = tree.get_child(name);
    keys = section.size();
    benchmark::DoNotOptimize(section);
  }
  Finish(state, keys);
}

}  // namespace

void RegisterQueryBenchmarks(const std::vector<CorpusFile>& files) {
  for (const size_t keys : {10000, 100000}) {
    const std::string suffix = "enumerate/" + std::to_string(keys) + "/";
    benchmark::RegisterBenchmark((suffix + "ours").c_str(), EnumerateOurs, keys)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((suffix + "inih").c_str(), EnumerateInih, keys)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((suffix + "SimpleIni").c_str(), EnumerateSimpleIni, keys)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((suffix + "PropertyTree").c_str(), EnumeratePropertyTree, keys)
        ->Unit(benchmark::kMillisecond);
  }
  // SimpleIni hands out a pointer to its own section rather than a copy, so it has no peer here.
  for (const char* label : {"2KB", "50MB"}) {
    const CorpusFile& file = FileLabelled(files, label);
    const std::string section = std::string(label) == "2KB" ? "Startup" : MiddleSection(file);
    const std::string prefix = std::string("getsection/") + label + "/";
    benchmark::RegisterBenchmark((prefix + "ours").c_str(), GetSectionOurs, &file, section)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((prefix + "inih").c_str(), GetSectionInih, &file, section)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((prefix + "PropertyTree").c_str(), GetSectionPropertyTree, &file,
                                 section)
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace setup::bench
