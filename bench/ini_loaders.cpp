#include "ini_loaders.h"

#include <benchmark/benchmark.h>
#include <ini.h>

#include <algorithm>
#include <boost/property_tree/ini_parser.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "setup/platform/host/host_platform.h"

namespace setup::bench {
namespace {

// The host platform reading the file in one sized read and decoding it in one pass, as the
// Windows build does with large reads and MultiByteToWideChar: it shows how much of our time is
// the host stand-in's character-by-character stream and decoding. (It skips the stand-in's
// directory check, which the corpus files never need, and hands every byte outside ASCII to
// the stand-in so that the decoded text is the same.)
class BulkIoPlatform : public HostPlatform {
 public:
  FileContent ReadWholeFile(const Text& path) override {
    FileContent content;
    std::FILE* file = std::fopen(HostPathOf(path).c_str(), "rb");
    if (file == nullptr) {
      content.error = FromUtf8(std::strerror(errno));
      return content;
    }
    content.opened = true;
    std::fseek(file, 0, SEEK_END);
    const auto size = static_cast<size_t>(std::max(std::ftell(file), 0L));
    std::rewind(file);
    content.bytes = FileBytes::ReadToEnd(file, size);
    std::fclose(file);
    return content;
  }

  Text DecodeAnsi(std::string_view bytes) override {
    Text text(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      text[i] = byte < 0x80 ? byte : HostPlatform::DecodeAnsi(bytes.substr(i, 1)).front();
    }
    return text;
  }
};

// Built before any meter runs, so that their own allocations count for no parser.
HostPlatform hostPlatform;
BulkIoPlatform bulkIoPlatform;

template <typename MakeDocument, typename ShapeOf>
LoadResult Load(Look look, MakeDocument make, ShapeOf shapeOf) {
  if (look == Look::kTimeOnly) {
    benchmark::DoNotOptimize(make());
    return {};
  }
  LoadResult result;
  std::optional<HeapMeter> meter(std::in_place);
  const auto document = make();
  result.heap = meter->Use();
  meter.reset();
  result.shape = shapeOf(*document);
  return result;
}

[[noreturn]] void Refuse(const char* parser, const CorpusFile& file) {
  throw std::runtime_error(std::string(parser) + " cannot read " + file.path);
}

LoadResult LoadOursOver(Platform& platform, const CorpusFile& file, Look look) {
  return Load(
      look,
      [&] {
        auto settings = std::make_unique<SettingsFile>(platform);
        if (!settings->Load(FromUtf8(file.path))) Refuse("SettingsFile", file);
        return settings;
      },
      [&](const SettingsFile& settings) {
        DocumentShape shape{settings.GetSectionCount(), 0};
        for (const std::string& name : file.sectionNames) {
          shape.keys += settings.GetSection(FromUtf8(name)).GetKeyCount();
        }
        return shape;
      });
}

LoadResult LoadOurs(const CorpusFile& file, Look look) {
  return LoadOursOver(hostPlatform, file, look);
}

LoadResult LoadOursBulkIo(const CorpusFile& file, Look look) {
  return LoadOursOver(bulkIoPlatform, file, look);
}

int StoreInihPair(void* user, const char* section, const char* name, const char* value) {
  auto& document = *static_cast<InihDocument*>(user);
  if (document.current == nullptr || document.currentName != section) {
    document.currentName = section;
    document.current = &document.sections[document.currentName];
  }
  document.current->insert_or_assign(name, value);
  return 1;
}

LoadResult LoadInih(const CorpusFile& file, Look look) {
  return Load(
      look,
      [&] {
        auto document = std::make_unique<InihDocument>();
        if (ini_parse(file.path.c_str(), StoreInihPair, document.get()) != 0) Refuse("inih", file);
        return document;
      },
      [](const InihDocument& document) {
        DocumentShape shape{document.sections.size(), 0};
        for (const auto& [name, keys] : document.sections) shape.keys += keys.size();
        return shape;
      });
}

// inih with a handler that keeps nothing: the cost of its scanning alone.
struct InihCount {
  DocumentShape shape;
  std::string lastSection;
};

int CountInihPair(void* user, const char* section, const char*, const char*) {
  auto& count = *static_cast<InihCount*>(user);
  if (count.shape.keys == 0 || count.lastSection != section) {
    count.lastSection = section;
    ++count.shape.sections;
  }
  ++count.shape.keys;
  return 1;
}

LoadResult LoadInihScanOnly(const CorpusFile& file, Look look) {
  return Load(
      look,
      [&] {
        auto count = std::make_unique<InihCount>();
        if (ini_parse(file.path.c_str(), CountInihPair, count.get()) != 0) Refuse("inih", file);
        return count;
      },
      [](const InihCount& count) { return count.shape; });
}

LoadResult LoadSimpleIni(const CorpusFile& file, Look look) {
  return Load(
      look,
      [&] {
        auto ini = std::make_unique<CSimpleIniW>();
        ini->SetUnicode(true);
        if (ini->LoadFile(file.path.c_str()) < 0) Refuse("SimpleIni", file);
        return ini;
      },
      [](const CSimpleIniW& ini) {
        CSimpleIniW::TNamesDepend sections;
        ini.GetAllSections(sections);
        DocumentShape shape{sections.size(), 0};
        for (const auto& section : sections) shape.keys += ini.GetSectionSize(section.pItem);
        return shape;
      });
}

LoadResult LoadPropertyTree(const CorpusFile& file, Look look) {
  return Load(
      look,
      [&] {
        auto tree = std::make_unique<boost::property_tree::ptree>();
        boost::property_tree::ini_parser::read_ini(file.path, *tree);
        return tree;
      },
      [](const boost::property_tree::ptree& tree) {
        DocumentShape shape{tree.size(), 0};
        for (const auto& section : tree) shape.keys += section.second.size();
        return shape;
      });
}

}  // namespace

std::unique_ptr<SettingsFile> OursFromText(const std::string& text) {
  auto settings = std::make_unique<SettingsFile>(hostPlatform);
  settings->LoadText(FromUtf8(text));
  return settings;
}

std::unique_ptr<InihDocument> InihFromText(const std::string& text) {
  auto document = std::make_unique<InihDocument>();
  if (ini_parse_string(text.c_str(), StoreInihPair, document.get()) != 0) {
    throw std::runtime_error("inih cannot read the text");
  }
  return document;
}

std::unique_ptr<CSimpleIniW> SimpleIniFromText(const std::string& text) {
  auto ini = std::make_unique<CSimpleIniW>();
  ini->SetUnicode(true);
  if (ini->LoadData(text.data(), text.size()) < 0) {
    throw std::runtime_error("SimpleIni cannot read the text");
  }
  return ini;
}

std::unique_ptr<boost::property_tree::ptree> PropertyTreeFromText(const std::string& text) {
  auto tree = std::make_unique<boost::property_tree::ptree>();
  std::istringstream stream(text);
  boost::property_tree::ini_parser::read_ini(stream, *tree);
  return tree;
}

const std::vector<IniLoader>& IniLoaders() {
  static const std::vector<IniLoader> loaders = {
      {"ours", "SettingsFile::Load over HostPlatform (UTF-16 document)", LoadOurs},
      {"inih", "inih ini_parse, pairs kept in std::map per section", LoadInih},
      {"SimpleIni", "CSimpleIniW (UTF-16 via ICU), LoadFile", LoadSimpleIni},
      {"PropertyTree", "boost::property_tree::read_ini into a ptree", LoadPropertyTree},
      {"inih-scan", "inih ini_parse with a handler that keeps nothing", LoadInihScanOnly},
      {"ours-bulkio", "SettingsFile::Load over a host platform that reads and decodes in bulk",
       LoadOursBulkIo},
  };
  return loaders;
}

}  // namespace setup::bench
