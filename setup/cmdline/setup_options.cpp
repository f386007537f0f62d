#include "setup/cmdline/setup_options.h"

namespace setup {

// No option is required and none demands a separator, so "/lru" is the language "ru".
// The optional bit on options only documents intent; brackets in the usage come from
// the required bit being absent.
const OptionSpec kSetupOptions[] = {
    {kValueOption, u"l", u"", u"language", kTextValue, kOptional},
    {kSwitch, u"S", u"", u"Silent", kTextValue, 0},
    {kSwitch, u"a", u"", u"admin install", kTextValue, 0},
    {kSwitch, u"x", u"", u"uninstall", kTextValue, 0},
    {kValueOption, u"instance", u"", u"instance", kTextValue, kOptional},
    {kValueOption, u"debuglog", u"", u"debuglog", kTextValue, kOptional},
    {kSwitch, u"?", u"", u"Usage", kTextValue, kHelp | kOptional},
    {kPositional, u"", u"", u"input params", kTextValue, kOptional | kRepeatable},
    {kEndOfTable, u"", u"", u"", kTextValue, 0},
};

int ParseSetupCommandLine(CommandLineParser& parser, TextView commandLine) {
  parser.SetArguments(SplitCommandLine(commandLine));
  parser.SetLongOptions(false);
  parser.LoadOptionTable(kSetupOptions);
  return parser.Parse();
}

}  // namespace setup
