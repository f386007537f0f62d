// setup_bench [--corpus=DIR] [--describe] [Google Benchmark flags]
//   Writes the corpus into DIR (default build/bench/corpus). With --describe, loads every file
//   once with every parser and prints, as JSON lines, what each document holds and the peak heap
//   of building it; otherwise runs the benchmarks.

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "ini_corpus.h"
#include "ini_loaders.h"
#include "suites.h"

namespace {

using namespace setup::bench;

void Describe(const std::vector<CorpusFile>& files) {
  for (const CorpusFile& file : files) {
    for (const IniLoader& loader : IniLoaders()) {
      const LoadResult result = loader.load(file, Look::kShapeAndHeap);
      std::cout << "{\"file\": \"" << file.label << "\", \"bytes\": " << file.bytes
                << ", \"expected_sections\": " << file.sectionNames.size()
                << ", \"expected_keys\": " << file.keyCount << ", \"parser\": \"" << loader.name
                << "\", \"sections\": " << result.shape.sections
                << ", \"keys\": " << result.shape.keys
                << ", \"peak_heap\": " << result.heap.peakBytes
                << ", \"allocations\": " << result.heap.allocations << "}" << std::endl;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string corpus = "build/bench/corpus";
  bool describe = false;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--corpus=", 9) == 0) {
      corpus = argv[i] + 9;
    } else if (std::strcmp(argv[i], "--describe") == 0) {
      describe = true;
    } else {
      rest.push_back(argv[i]);
    }
  }
  const std::vector<CorpusFile> files = WriteCorpus(corpus);
  if (describe) {
    Describe(files);
    return 0;
  }
  RegisterParseBenchmarks(files);
  RegisterQueryBenchmarks(files);
  RegisterCommandLineBenchmarks();
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 2;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
