#include "setup/cmdline/command_line_parser.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "setup/base/chars.h"
#include "setup/base/numbers.h"

namespace setup {
namespace {

// Only space and tab separate arguments; the other C-library white space is argument text.
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool IsShortNameChar(char16_t c) { return IsAlnum(c) || c == u'_' || c == u'?'; }

// A hyphen continues a long name ("--debug-log") but ends a short one ("/debug-log").
bool IsLongNameChar(char16_t c) { return IsShortNameChar(c) || c == u'-'; }

template <typename Predicate>
TextView LeadingRun(TextView text, Predicate belongs) {
  const auto end = std::find_if_not(text.begin(), text.end(), belongs);
  return text.substr(0, static_cast<size_t>(end - text.begin()));
}

Text TextOrEmpty(const char16_t* text) { return text != nullptr ? Text(text) : Text(); }

bool IsLoadableKind(int32_t kind) { return kind == kSwitch || kind == kValueOption || kind == kPositional; }

Text Placeholder(int32_t valueType) {
  switch (valueType) {
    case kNumberValue:
      return u"<num>";
    case kDateValue:
      return u"<date>";
    default:
      return u"<str>";
  }
}

Text Concat(std::initializer_list<TextView> parts) {
  Text joined;
  for (TextView part : parts) joined.append(part);
  return joined;
}

}  // namespace

std::vector<Text> SplitCommandLine(TextView commandLine) {
  // Nothing is ever removed from an argument, so each one is a slice of the line and no
  // working buffer (with a length limit of its own) is needed.
  std::vector<Text> arguments;
  bool quoted = false;
  size_t position = 0;
  while (true) {
    while (position < commandLine.size() && IsBlank(commandLine[position])) ++position;
    if (position == commandLine.size()) break;
    const size_t start = position;
    bool escaped = false;
    for (; position < commandLine.size(); ++position) {
      const char16_t c = commandLine[position];
      if (IsBlank(c) && !quoted) break;
      if (c == u'"' && !escaped) {
        quoted = !quoted;
      } else if (escaped) {
        escaped = false;
      } else if (c == u'\\') {
        escaped = true;
      }
    }
    arguments.emplace_back(commandLine.substr(start, position - start));
  }
  return arguments;
}

CommandLineParser::CommandLineParser() : prefixes_(u"/-") {}

void CommandLineParser::SetArguments(const std::vector<Text>& arguments) { arguments_ = arguments; }

void CommandLineParser::SetLongOptions(bool enabled) { longOptions_ = enabled; }

void CommandLineParser::SetHeader(Text header) { header_ = std::move(header); }

void CommandLineParser::LoadOptionTable(const OptionSpec* rows) {
  if (rows == nullptr) return;
  for (const OptionSpec* row = rows; IsLoadableKind(row->kind); ++row) {
    if (row->kind == kPositional) {
      positionalSpecs_.push_back({TextOrEmpty(row->description), row->valueType, row->flags});
      continue;
    }
    OptionState option;
    option.kind = row->kind;
    option.name = TextOrEmpty(row->name);
    option.longName = TextOrEmpty(row->longName);
    option.description = TextOrEmpty(row->description);
    option.valueType = row->kind == kSwitch ? kNoValue : row->valueType;
    option.flags = row->flags;
    options_.push_back(std::move(option));
  }
}

ParseResult CommandLineParser::Parse() {
  errorText_.clear();
  for (OptionState& option : options_) option.present = false;
  ParseCursor cursor;
  while (cursor.next < arguments_.size()) {
    const Text& argument = arguments_[cursor.next++];
    switch (ExamineArgument(argument, cursor)) {
      case Outcome::kAccepted:
        break;
      case Outcome::kHelp:
        return kParseHelp;
      case Outcome::kFailed:
        return kParseRejected;
    }
  }
  return CheckCompleteness(cursor) == Outcome::kAccepted ? kParseAccepted : kParseRejected;
}

CommandLineParser::Outcome CommandLineParser::ExamineArgument(const Text& argument, ParseCursor& cursor) {
  if (argument == u"--") {
    cursor.optionsActive = false;
    return Outcome::kAccepted;
  }
  const bool isOption = cursor.optionsActive && argument.size() >= 2 &&
                        prefixes_.find(argument[0]) != Text::npos;
  if (!isOption) return AcceptPositional(argument, cursor);
  if (argument[0] == u'-' && argument[1] == u'-') return ExamineLongOption(argument);
  return ExamineShortOption(argument, cursor);
}

CommandLineParser::Outcome CommandLineParser::ExamineLongOption(TextView argument) {
  const TextView name = LeadingRun(argument.substr(2), IsLongNameChar);
  if (!longOptions_) return Fail(Concat({u"Unknown option --", name}));
  const int index = FindLongOption(name);
  if (index < 0) return Fail(Concat({u"Unknown long option ", name}));
  OptionState& option = options_[static_cast<size_t>(index)];
  const TextView tail = argument.substr(2 + name.size());
  if (option.kind == kSwitch) return AcceptSwitch(option, name, tail);
  if (tail.empty() || tail.front() != u'=') {
    return Fail(Concat({u"Option '", name, u"' requires a value, '=' expected."}));
  }
  return StoreValue(option, name, tail.substr(1));
}

CommandLineParser::Outcome CommandLineParser::ExamineShortOption(TextView argument, ParseCursor& cursor) {
  const TextView scanned = LeadingRun(argument.substr(1), IsShortNameChar);
  for (size_t length = scanned.size(); length > 0; --length) {
    const TextView typedName = scanned.substr(0, length);
    const int index = FindOption(typedName);
    if (index < 0) continue;
    OptionState& option = options_[static_cast<size_t>(index)];
    const TextView tail = argument.substr(1 + length);
    if (option.kind == kSwitch) return AcceptSwitch(option, typedName, tail);
    return AcceptShortValue(option, typedName, tail, cursor);
  }
  return Fail(Concat({u"Unknown option ", scanned}));
}

CommandLineParser::Outcome CommandLineParser::AcceptSwitch(OptionState& option, TextView typedName,
                                                           TextView tail) {
  // Switches cannot be grouped: "/Sa" is not "/S /a".
  if (!tail.empty()) return Fail(Concat({u"Unexpected characters following option \"", typedName, u"\""}));
  option.present = true;
  return (option.flags & kHelp) != 0 ? Outcome::kHelp : Outcome::kAccepted;
}

CommandLineParser::Outcome CommandLineParser::AcceptShortValue(OptionState& option, TextView typedName,
                                                               TextView tail, ParseCursor& cursor) {
  if (tail.empty()) {
    // The next argument is the value whatever it looks like, so "/l /S" never sets "S".
    if (cursor.next >= arguments_.size()) {
      return Fail(Concat({u"Option \"", typedName, u"\" requires a value."}));
    }
    const Text& value = arguments_[cursor.next++];
    return StoreValue(option, typedName, value);
  }
  if (tail.front() == u':' || tail.front() == u'=') return StoreValue(option, typedName, tail.substr(1));
  if ((option.flags & kSeparatorRequired) != 0) {
    return Fail(Concat({u"Separator expected after the option ", typedName}));
  }
  return StoreValue(option, typedName, tail);
}

CommandLineParser::Outcome CommandLineParser::StoreValue(OptionState& option, TextView typedName,
                                                         TextView value) {
  if (option.valueType == kNumberValue) {
    // Zero doubles as the "no number here" answer of the conversion, so it is refused too.
    const int32_t number = ParseSignedDecimal(value).value;
    if (number == 0) {
      return Fail(Concat({value, u" is not a correct numeric value for option ", typedName}));
    }
    option.numberValue = number;
  } else {
    option.textValue = Text(value);
  }
  option.present = true;
  return Outcome::kAccepted;
}

CommandLineParser::Outcome CommandLineParser::AcceptPositional(const Text& argument, ParseCursor& cursor) {
  if (cursor.positionalIndex >= positionalSpecs_.size()) {
    return Fail(Concat({u"Unexpected parameter '", argument, u"'"}));
  }
  positionalValues_.push_back(argument);
  if ((positionalSpecs_[cursor.positionalIndex].flags & kRepeatable) != 0) {
    cursor.repeatableFilled = true;
  } else {
    ++cursor.positionalIndex;
  }
  return Outcome::kAccepted;
}

CommandLineParser::Outcome CommandLineParser::CheckCompleteness(const ParseCursor& cursor) {
  for (const OptionState& option : options_) {
    if ((option.flags & kRequired) != 0 && !option.present) return Outcome::kFailed;
  }
  for (size_t index = cursor.positionalIndex; index < positionalSpecs_.size(); ++index) {
    const PositionalSpec& spec = positionalSpecs_[index];
    const bool isLast = index + 1 == positionalSpecs_.size();
    const bool filledRepeatable = isLast && (spec.flags & kRepeatable) != 0 && cursor.repeatableFilled;
    if ((spec.flags & kOptional) == 0 && !filledRepeatable) {
      return Fail(Concat({u"The required parameter '", spec.displayName, u"' was not specified."}));
    }
  }
  return Outcome::kAccepted;
}

CommandLineParser::Outcome CommandLineParser::Fail(TextView message) {
  errorText_.assign(message);
  errorText_ += u'\n';
  return Outcome::kFailed;
}

int CommandLineParser::FindByName(TextView name, bool longNames) const {
  if (name.empty()) return -1;
  for (size_t index = 0; index < options_.size(); ++index) {
    const Text& candidate = longNames ? options_[index].longName : options_[index].name;
    if (EqualsIgnoringAsciiCase(candidate, name)) return static_cast<int>(index);
  }
  return -1;
}

int CommandLineParser::FindOption(TextView name) const { return FindByName(name, false); }

int CommandLineParser::FindLongOption(TextView name) const { return FindByName(name, true); }

bool CommandLineParser::IsPresent(TextView name) const {
  int index = FindOption(name);
  if (index < 0) index = FindLongOption(name);
  return index >= 0 && options_[static_cast<size_t>(index)].present;
}

Text CommandLineParser::GetText(TextView name) const {
  int index = FindOption(name);
  if (index < 0) index = FindLongOption(name);
  return index >= 0 ? options_[static_cast<size_t>(index)].textValue : Text();
}

int32_t CommandLineParser::GetNumber(TextView name) const {
  int index = FindOption(name);
  if (index < 0) index = FindLongOption(name);
  return index >= 0 ? options_[static_cast<size_t>(index)].numberValue : 0;
}

Text CommandLineParser::GetPositional(size_t index) const {
  return index < positionalValues_.size() ? positionalValues_[index] : Text();
}

char16_t CommandLineParser::ShownPrefix() const { return prefixes_.empty() ? u'-' : prefixes_.front(); }

Text CommandLineParser::UsageItem(const OptionState& option) const {
  const bool required = (option.flags & kRequired) != 0;
  Text item = required ? u"" : u"[";
  if (!option.name.empty()) {
    item += ShownPrefix();
    item += option.name;
  } else if (longOptions_ && !option.longName.empty()) {
    item += u"--" + option.longName;
  }
  if (option.kind == kValueOption) item += u" " + Placeholder(option.valueType);
  if (!required) item += u']';
  return item;
}

Text CommandLineParser::ColumnText(const OptionState& option) const {
  Text column;
  if (!option.name.empty()) {
    column += ShownPrefix();
    column += option.name;
  }
  if (longOptions_ && !option.longName.empty()) {
    column += column.empty() ? u"  --" : u", --";
    column += option.longName;
  }
  if (option.kind == kValueOption) {
    column += option.longName.empty() ? u':' : u'=';
    column += Placeholder(option.valueType);
  }
  return column;
}

Text CommandLineParser::BuildUsage() const {
  Text usage;
  if (!header_.empty()) usage += header_ + u'\n';
  usage += u"Usage: ";
  for (const OptionState& option : options_) usage += u' ' + UsageItem(option);
  for (const PositionalSpec& spec : positionalSpecs_) {
    const bool optional = (spec.flags & kOptional) != 0;
    usage += optional ? u" [" : u" ";
    usage += spec.displayName;
    if ((spec.flags & kRepeatable) != 0) usage += u"...";
    if (optional) usage += u']';
  }
  usage += u'\n';

  std::vector<Text> columns;
  size_t width = 0;
  for (const OptionState& option : options_) {
    columns.push_back(ColumnText(option));
    width = std::max(width, columns.back().size());
  }
  for (size_t index = 0; index < options_.size(); ++index) {
    usage += columns[index];
    usage.append(width - columns[index].size(), u' ');
    usage += u'\t' + options_[index].description + u'\n';
  }
  return usage;
}

}  // namespace setup
