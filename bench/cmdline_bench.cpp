#include <benchmark/benchmark.h>

#include <string>

#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/setup_options.h"
#include "suites.h"

namespace setup::bench {
namespace {

// The program path, then arguments of every kind the option table accepts: switches, values
// joined to their option or following it, and free properties, quoted or not.
Text LongCommandLine(size_t arguments) {
  const char* const kinds[] = {"/S",
                               "/lru",
                               "/debuglog",
                               "C:\\Temp\\setup.log",
                               "PROPERTY{}=value{}",
                               "\"TITLE{}=a value with blanks\"",
                               "INSTALLDIR=\"C:\\Program Files\\Example {}\"",
                               "-x",
                               "REBOOT=ReallySuppress",
                               "/instance:Second"};
  std::string line = "\"C:\\dist\\setup.exe\"";
  for (size_t i = 0; i < arguments; ++i) {
    std::string argument = kinds[i % std::size(kinds)];
    for (size_t at; (at = argument.find("{}")) != std::string::npos;) {
      argument.replace(at, 2, std::to_string(i));
    }
    line += " " + argument;
  }
  return FromUtf8(line);
}

// What the entry does with the process command line.
int SplitAndParse(TextView commandLine, CommandLineParser& parser) {
  parser.SetArguments(SplitCommandLine(commandLine));
  parser.SetLongOptions(false);
  parser.LoadOptionTable(kSetupOptions);
  return parser.Parse();
}

void ParseCommandLine(benchmark::State& state, size_t arguments) {
  const Text commandLine = LongCommandLine(arguments);
  CommandLineParser check;
  if (SplitAndParse(commandLine, check) != 0) {
    state.SkipWithError("the command line is not accepted whole");
  }
  for (auto _ : state) {
    CommandLineParser parser;
    benchmark::DoNotOptimize(SplitAndParse(commandLine, parser));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(arguments));
}

}  // namespace

void RegisterCommandLineBenchmarks() {
  for (const size_t arguments : {1000, 10000}) {
    const std::string name = "cmdline/" + std::to_string(arguments) + "/ours";
    benchmark::RegisterBenchmark(name.c_str(), ParseCommandLine, arguments)
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace setup::bench
