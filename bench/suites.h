#pragma once
// The benchmark groups; each registers its benchmarks with Google Benchmark.

#include <vector>

#include "ini_corpus.h"

namespace setup::bench {

// parse/<file>/<parser>: loading each corpus file, reported in bytes per second.
void RegisterParseBenchmarks(const std::vector<CorpusFile>& files);
// enumerate/<keys>/<parser> and getsection/<file>/<parser>: the queries the program makes.
void RegisterQueryBenchmarks(const std::vector<CorpusFile>& files);
// cmdline/<arguments>/ours: splitting and parsing a long command line.
void RegisterCommandLineBenchmarks();

}  // namespace setup::bench
