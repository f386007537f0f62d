#pragma once
// A small table-driven command-line parser: splits the process command line, marks the options
// given, stores their values, collects positional arguments and renders a usage text.

#include <cstdint>
#include <vector>

#include "setup/base/text.h"
#include "setup/cmdline/option_spec.h"

namespace setup {

// Splits a whole command line (program path included) into arguments. Quotation marks and
// backslashes stay in the text: quoting only keeps white space from ending an argument.
std::vector<Text> SplitCommandLine(TextView commandLine);

// What Parse makes of the arguments.
enum ParseResult : int { kParseAccepted = 0, kParseRejected = 1, kParseHelp = -1 };

class CommandLineParser {
 public:
  CommandLineParser();

  void SetArguments(const std::vector<Text>& arguments);
  void SetLongOptions(bool enabled);
  void SetHeader(Text header);
  // Appends one record per row until the first row whose kind is not 0, 1 or 2.
  void LoadOptionTable(const OptionSpec* rows);

  // Accepted when every argument was, rejected at the first problem, help when a help switch was given.
  ParseResult Parse();
  // The one-line description of the last problem, ended by a line feed; empty otherwise.
  const Text& ErrorText() const { return errorText_; }

  int FindOption(TextView name) const;
  int FindLongOption(TextView name) const;
  bool IsPresent(TextView name) const;
  // The text and number values of a named option (from its last occurrence).
  Text GetText(TextView name) const;
  int32_t GetNumber(TextView name) const;

  size_t PositionalCount() const { return positionalValues_.size(); }
  Text GetPositional(size_t index) const;

  Text BuildUsage() const;

 private:
  struct OptionState {
    int32_t kind = 0;
    Text name;
    Text longName;
    Text description;
    int32_t valueType = kNoValue;
    int32_t flags = 0;
    bool present = false;
    int32_t numberValue = 0;
    Text textValue;
  };
  struct PositionalSpec {
    Text displayName;
    int32_t valueType = kTextValue;
    int32_t flags = 0;
  };

  // What one examined argument leads to.
  enum class Outcome { kAccepted, kHelp, kFailed };
  // Where a parse stands between arguments.
  struct ParseCursor {
    size_t next = 1;              // the argument examined next; argument 0 is the program
    bool optionsActive = true;    // false after "--"
    size_t positionalIndex = 0;
    bool repeatableFilled = false;
  };

  int FindByName(TextView name, bool longNames) const;
  Outcome ExamineArgument(const Text& argument, ParseCursor& cursor);
  Outcome ExamineLongOption(TextView argument);
  Outcome ExamineShortOption(TextView argument, ParseCursor& cursor);
  Outcome AcceptSwitch(OptionState& option, TextView typedName, TextView tail);
  Outcome AcceptShortValue(OptionState& option, TextView typedName, TextView tail, ParseCursor& cursor);
  Outcome StoreValue(OptionState& option, TextView typedName, TextView value);
  Outcome AcceptPositional(const Text& argument, ParseCursor& cursor);
  Outcome CheckCompleteness(const ParseCursor& cursor);
  Outcome Fail(TextView message);
  char16_t ShownPrefix() const;
  Text UsageItem(const OptionState& option) const;
  Text ColumnText(const OptionState& option) const;

  Text prefixes_;
  bool longOptions_ = true;
  Text header_;
  std::vector<Text> arguments_;
  std::vector<OptionState> options_;
  std::vector<PositionalSpec> positionalSpecs_;
  std::vector<Text> positionalValues_;
  Text errorText_;
};

}  // namespace setup
