#include <benchmark/benchmark.h>

#include "ini_loaders.h"
#include "suites.h"

namespace setup::bench {

void RegisterParseBenchmarks(const std::vector<CorpusFile>& files) {
  for (const CorpusFile& file : files) {
    for (const IniLoader& loader : IniLoaders()) {
      const std::string name = "parse/" + file.label + "/" + loader.name;
      benchmark::RegisterBenchmark(name.c_str(), [&file, &loader](benchmark::State& state) {
        for (auto _ : state) loader.load(file, Look::kTimeOnly);
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                                static_cast<int64_t>(file.bytes));
      })->Unit(file.bytes < 100000 ? benchmark::kMicrosecond : benchmark::kMillisecond);
    }
  }
}

}  // namespace setup::bench
