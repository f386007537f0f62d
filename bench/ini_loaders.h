#pragma once
// The settings loader and its peers, each reading a corpus file from disk into the document its
// API offers and dropping it again.

#include <SimpleIni.h>

#include <boost/property_tree/ptree.hpp>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "heap_meter.h"
#include "ini_corpus.h"
#include "setup/settings/settings_file.h"

namespace setup::bench {

struct DocumentShape {
  size_t sections = 0;
  size_t keys = 0;
  bool operator==(const DocumentShape&) const = default;
};

struct LoadResult {
  DocumentShape shape;
  HeapUse heap;  // from before reading the file to the finished document
};

enum class Look {
  kTimeOnly,      // build and drop the document, nothing else
  kShapeAndHeap,  // also meter the heap and count what the document holds
};

struct IniLoader {
  std::string name;
  std::string description;
  LoadResult (*load)(const CorpusFile& file, Look look);
};

// ours first, then the peers.
const std::vector<IniLoader>& IniLoaders();

// What a caller of inih keeps: sections by name, keys in order, the last value of a key winning.
struct InihDocument {
  std::map<std::string, std::map<std::string, std::string>> sections;
  std::map<std::string, std::string>* current = nullptr;
  std::string currentName;
};

// The same documents built from a text in memory, for the query benchmarks.
std::unique_ptr<SettingsFile> OursFromText(const std::string& text);
std::unique_ptr<InihDocument> InihFromText(const std::string& text);
std::unique_ptr<CSimpleIniW> SimpleIniFromText(const std::string& text);
std::unique_ptr<boost::property_tree::ptree> PropertyTreeFromText(const std::string& text);

}  // namespace setup::bench
