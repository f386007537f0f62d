// Any command line splits and parses as a plain reading of the parser's rules says, against the
// program's option table and against a table that uses what the program's does not; and the
// program's options set the run's context as that reading says.
//
// Input: one byte of choices (bit 0 long options, bit 1 the other table, bit 2 a CmdLine value
// already held, bit 3 another user language), then the command line: each byte one character,
// so that option names are plain text to the fuzzer, except that a byte 0xFF takes the two after
// it as one UTF-16 unit, low byte first.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/oracle.h"
#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/cmdline/command_line_parser.h"
#include "setup/cmdline/option_spec.h"
#include "setup/cmdline/setup_options.h"
#include "setup/driver/setup_context.h"
#include "setup/installer/msi_library.h"
#include "setup/platform/host/host_platform.h"

namespace {

using setup::OptionSpec;
using setup::Text;
using setup::TextView;

// Numbers, dates, long names, required options and parameters, the separator rule, and a name
// that begins another ("v", "vv").
const OptionSpec kOtherOptions[] = {
    {setup::kValueOption, u"n", u"count", u"count", setup::kNumberValue, setup::kRequired},
    {setup::kValueOption, u"o", u"out", u"output", setup::kTextValue, setup::kSeparatorRequired},
    {setup::kSwitch, u"v", u"verbose", u"verbose", setup::kNumberValue, 0},
    {setup::kSwitch, u"vv", u"", u"very verbose", setup::kTextValue, 0},
    {setup::kValueOption, u"", u"since", u"since", setup::kDateValue, 0},
    {setup::kSwitch, u"h", u"", u"help", setup::kTextValue, setup::kHelp},
    {setup::kPositional, nullptr, nullptr, u"source", setup::kTextValue, 0},
    {setup::kPositional, nullptr, nullptr, u"targets", setup::kTextValue, setup::kRepeatable},
    {setup::kEndOfTable, nullptr, nullptr, nullptr, 0, 0},
};

// The model. Which characters are letters and digits (iswalnum) and how a number is read
// (wcstol) are the C library's, taken from base.

Text TextOf(const char16_t* text) { return text != nullptr ? Text(text) : Text(); }

using fuzz::SameName;

// Only a space or a tab outside quotation marks ends an argument. A quotation mark starts or
// ends the quoting unless a backslash stands just before it, and a backslash after a backslash
// escapes nothing. Nothing is removed from an argument.
std::vector<Text> ModelSplit(TextView line) {
  std::vector<Text> arguments;
  Text argument;
  bool quoted = false;
  bool escaped = false;
  for (const char16_t c : line) {
    if ((c == u' ' || c == u'\t') && !quoted) {
      if (!argument.empty()) arguments.push_back(argument);
      argument.clear();
      escaped = false;
      continue;
    }
    argument += c;
    if (c == u'"' && !escaped) quoted = !quoted;
    escaped = !escaped && c == u'\\';
  }
  if (!argument.empty()) arguments.push_back(argument);
  return arguments;
}

struct OptionAnswer {
  bool present = false;
  int32_t number = 0;
  Text text;
  friend bool operator==(const OptionAnswer&, const OptionAnswer&) = default;
};

struct ParseAnswer {
  int result = 0;
  Text error;
  std::vector<OptionAnswer> options;  // in table order
  std::vector<Text> positionals;
  friend bool operator==(const ParseAnswer&, const ParseAnswer&) = default;
};

class ModelParser {
 public:
  ModelParser(const OptionSpec* table, bool longOptions) : longOptions_(longOptions) {
    for (const OptionSpec* row = table; row->kind >= 0 && row->kind <= 2; ++row) {
      (row->kind == setup::kPositional ? parameters_ : options_).push_back(row);
    }
    answer_.options.resize(options_.size());
  }

  ParseAnswer Parse(const std::vector<Text>& arguments) {
    answer_.result = Run(arguments);
    return answer_;
  }

 private:
  int Run(const std::vector<Text>& arguments) {
    bool optionsActive = true;
    size_t parameter = 0;
    bool repeatedOnce = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
      const Text& argument = arguments[i];
      if (argument == u"--") {
        optionsActive = false;
        continue;
      }
      const bool isOption = optionsActive && argument.size() >= 2 && (argument[0] == u'/' || argument[0] == u'-');
      if (!isOption) {
        if (parameter == parameters_.size()) return Fail(u"Unexpected parameter '" + argument + u"'");
        answer_.positionals.push_back(argument);
        if ((parameters_[parameter]->flags & setup::kRepeatable) != 0) {
          repeatedOnce = true;
        } else {
          ++parameter;
        }
        continue;
      }
      const bool isLong = argument[0] == u'-' && argument[1] == u'-';
      const TextView afterPrefix = TextView(argument).substr(isLong ? 2 : 1);
      const TextView scanned = afterPrefix.substr(0, NameLength(afterPrefix, isLong));
      size_t typed = scanned.size();
      int found = -1;
      if (isLong) {
        if (!longOptions_) return Fail(u"Unknown option --" + Text(scanned));
        found = Find(scanned, true);
        if (found < 0) return Fail(u"Unknown long option " + Text(scanned));
      } else {
        // The longest leading part of the scanned name that is an option's name.
        while (typed > 0 && (found = Find(scanned.substr(0, typed), false)) < 0) --typed;
        if (found < 0) return Fail(u"Unknown option " + Text(scanned));
      }
      const Text name(scanned.substr(0, typed));
      const TextView tail = afterPrefix.substr(typed);
      const OptionSpec& row = *options_[static_cast<size_t>(found)];
      OptionAnswer& option = answer_.options[static_cast<size_t>(found)];
      if (row.kind == setup::kSwitch) {
        if (!tail.empty()) return Fail(u"Unexpected characters following option \"" + name + u"\"");
        option.present = true;
        if ((row.flags & setup::kHelp) != 0) return -1;
        continue;
      }
      Text value;
      if (isLong) {
        if (!tail.starts_with(u'=')) return Fail(u"Option '" + name + u"' requires a value, '=' expected.");
        value = tail.substr(1);
      } else if (tail.empty()) {
        if (i + 1 == arguments.size()) return Fail(u"Option \"" + name + u"\" requires a value.");
        value = arguments[++i];
      } else if (tail[0] == u':' || tail[0] == u'=') {
        value = tail.substr(1);
      } else {
        if ((row.flags & setup::kSeparatorRequired) != 0) return Fail(u"Separator expected after the option " + name);
        value = tail;
      }
      if (row.valueType == setup::kNumberValue) {
        const int32_t number = setup::ParseSignedDecimal(value).value;
        if (number == 0) return Fail(value + u" is not a correct numeric value for option " + name);
        option.number = number;
      } else {
        option.text = value;
      }
      option.present = true;
    }
    for (size_t i = 0; i < options_.size(); ++i) {
      if ((options_[i]->flags & setup::kRequired) != 0 && !answer_.options[i].present) return 1;
    }
    for (; parameter < parameters_.size(); ++parameter) {
      const int flags = parameters_[parameter]->flags;
      const bool lastRepeated = parameter + 1 == parameters_.size() && (flags & setup::kRepeatable) != 0 && repeatedOnce;
      if ((flags & setup::kOptional) == 0 && !lastRepeated) {
        return Fail(u"The required parameter '" + TextOf(parameters_[parameter]->description) + u"' was not specified.");
      }
    }
    return 0;
  }

  // Letters, digits, "_" and "?"; a long name takes "-" as well.
  static size_t NameLength(TextView text, bool isLong) {
    size_t length = 0;
    for (const char16_t c : text) {
      if (!setup::IsAlnum(c) && c != u'_' && c != u'?' && !(isLong && c == u'-')) break;
      ++length;
    }
    return length;
  }

  int Find(TextView name, bool longName) const {
    for (size_t i = 0; i < options_.size() && !name.empty(); ++i) {
      if (SameName(TextOf(longName ? options_[i]->longName : options_[i]->name), name)) return static_cast<int>(i);
    }
    return -1;
  }

  int Fail(const Text& message) {
    answer_.error = message + u"\n";
    return 1;
  }

  bool longOptions_;
  std::vector<const OptionSpec*> options_;
  std::vector<const OptionSpec*> parameters_;
  ParseAnswer answer_;
};

ParseAnswer AskParser(const OptionSpec* table, const Text& line, bool longOptions) {
  setup::CommandLineParser parser;
  parser.SetArguments(setup::SplitCommandLine(line));
  parser.SetLongOptions(longOptions);
  parser.LoadOptionTable(table);
  ParseAnswer answer;
  answer.result = parser.Parse();
  answer.error = parser.ErrorText();
  for (const OptionSpec* row = table; row->kind != setup::kEndOfTable; ++row) {
    if (row->kind == setup::kPositional) continue;
    const Text name = TextOf(row->name).empty() ? TextOf(row->longName) : TextOf(row->name);
    answer.options.push_back({parser.IsPresent(name), parser.GetNumber(name), parser.GetText(name)});
  }
  for (size_t i = 0; i < parser.PositionalCount(); ++i) answer.positionals.push_back(parser.GetPositional(i));
  return answer;
}

// The fields of the run's context that the program's options set.
struct ContextAnswer {
  int32_t installMode = 0;
  int32_t uiLevel = 0;
  uint32_t languageId = 0;
  Text debugLogPath;
  Text installProperties;
  bool usageRequested = false;
  Text usageText;
  friend bool operator==(const ContextAnswer&, const ContextAnswer&) = default;
};

constexpr TextView kSetupUsage =
    u"Usage:  [/l <str>] [/S] [/a] [/x] [/instance <str>] [/debuglog <str>] [/?] [input params...]\n"
    u"/l:<str>       \tlanguage\n/S             \tSilent\n/a             \tadmin install\n"
    u"/x             \tuninstall\n/instance:<str>\tinstance\n/debuglog:<str>\tdebuglog\n/?             \tUsage\n";

// The codes in the order they are tried; any other code keeps the user's language with the
// default sublanguage.
uint32_t ModelLanguage(TextView code, uint16_t userLanguage) {
  const struct {
    const char16_t* code;
    uint32_t id;
  } codes[] = {{u"ru", 0x0419}, {u"uk", 0x0422}, {u"en", 0x0409}, {u"lv", 0x0426}, {u"lt", 0x0427},
               {u"ro", 0x0418}, {u"bg", 0x0402}, {u"de", 0x0407}, {u"ka", 0x0437}, {u"kk", 0x043F},
               {u"vi", 0x042A}, {u"pl", 0x0415}, {u"tr", 0x041F}, {u"az", 0x042C}, {u"zh", 0x0804}};
  for (const auto& known : codes) {
    if (SameName(code, known.code)) return known.id;
  }
  return userLanguage | 0x0400u;
}

// The program's options as they land in the context.
ContextAnswer ModelContext(const ParseAnswer& parse, const Text& cmdLine, uint16_t userLanguage) {
  // The options of the program's table, in its order: l, S, a, x, instance, debuglog, ?.
  const OptionAnswer& l = parse.options[0];
  const OptionAnswer& S = parse.options[1];
  const OptionAnswer& a = parse.options[2];
  const OptionAnswer& x = parse.options[3];
  const OptionAnswer& debuglog = parse.options[5];
  const OptionAnswer& help = parse.options[6];
  ContextAnswer context;
  context.installMode = a.present ? 1 : x.present ? 2 : 0;
  context.uiLevel = S.present ? 2 : 5;
  context.languageId = l.present ? ModelLanguage(l.text, userLanguage) : userLanguage;
  context.debugLogPath = debuglog.present ? debuglog.text : Text();
  context.installProperties = cmdLine;
  if (!cmdLine.empty() && !parse.positionals.empty()) context.installProperties += u" ";
  for (const Text& value : parse.positionals) context.installProperties += value + u" ";
  context.usageRequested = help.present;
  context.usageText = help.present ? Text(kSetupUsage) : Text();
  return context;
}

std::string ShowParse(const ParseAnswer& answer) {
  std::string shown = "result " + std::to_string(answer.result) + ", error '" + fuzz::Printable(answer.error) + "'";
  for (size_t i = 0; i < answer.options.size(); ++i) {
    const OptionAnswer& option = answer.options[i];
    if (option.present || option.number != 0 || !option.text.empty()) {
      shown += "; option " + std::to_string(i) + (option.present ? " present" : " absent") + " number " +
               std::to_string(option.number) + " text '" + fuzz::Printable(option.text) + "'";
    }
  }
  for (const Text& value : answer.positionals) shown += "; +'" + fuzz::Printable(value) + "'";
  return shown;
}

std::string ShowContext(const ContextAnswer& c) {
  return "installMode " + std::to_string(c.installMode) + ", uiLevel " + std::to_string(c.uiLevel) + ", languageId " +
         std::to_string(c.languageId) + ", debugLogPath '" + fuzz::Printable(c.debugLogPath) +
         "', installProperties '" + fuzz::Printable(c.installProperties) + "', usage " +
         (c.usageRequested ? "requested" : "not requested") + " '" + fuzz::Printable(c.usageText) + "'";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choices = data[0];
  Text line;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      line += static_cast<char16_t>(data[i + 1] | data[i + 2] << 8);
      i += 2;
    } else {
      line += static_cast<char16_t>(data[i]);
    }
  }

  const auto show = [](const std::vector<Text>& arguments) {
    std::string shown;
    for (const Text& argument : arguments) shown += "'" + fuzz::Printable(argument) + "' ";
    return shown;
  };
  const std::vector<Text> arguments = ModelSplit(line);
  fuzz::ExpectSame("SplitCommandLine", line, setup::SplitCommandLine(line), arguments, show);

  const OptionSpec* table = (choices & 2) != 0 ? kOtherOptions : setup::kSetupOptions;
  const bool longOptions = (choices & 1) != 0;
  fuzz::ExpectSame("CommandLineParser::Parse", line, AskParser(table, line, longOptions),
                   ModelParser(table, longOptions).Parse(arguments), ShowParse);

  static setup::HostPlatform platform;
  static setup::MsiLibrary msi(platform);
  platform.commandLine = line;
  platform.userLanguage = (choices & 8) != 0 ? 0x0809 : 0x0419;
  const Text cmdLine = (choices & 4) != 0 ? u"A=1" : u"";
  setup::SetupContext context(platform, msi);
  context.installProperties = cmdLine;
  context.ApplyCommandLine();
  const ContextAnswer program{context.installMode,       context.uiLevel,        context.languageId,
                              context.debugLogPath,      context.installProperties, context.usageRequested,
                              context.usageText};
  const ParseAnswer setupParse = ModelParser(setup::kSetupOptions, false).Parse(arguments);
  fuzz::ExpectSame("SetupContext::ApplyCommandLine", line, program,
                   ModelContext(setupParse, cmdLine, platform.userLanguage), ShowContext);
  return 0;
}
