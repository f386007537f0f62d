// Any command line splits and parses against the program's table without reading out of bounds.

#include <cstddef>
#include <cstdint>

#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/setup_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setup::Text line(reinterpret_cast<const char16_t*>(data), size / 2);
  setup::CommandLineParser parser;
  parser.SetArguments(setup::SplitCommandLine(line));
  parser.SetLongOptions((size & 1) != 0);
  parser.LoadOptionTable(setup::kSetupOptions);
  parser.Parse();
  parser.BuildUsage();
  for (size_t i = 0; i < parser.PositionalCount(); ++i) parser.GetPositional(i);
  return 0;
}
