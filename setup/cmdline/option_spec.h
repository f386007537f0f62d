#pragma once
// One row of a static option table.

#include <cstdint>

namespace setup {

enum OptionKind : int32_t {
  kSwitch = 0,       // an option without a value
  kValueOption = 1,  // an option with a value
  kPositional = 2,   // a positional parameter
  kEndOfTable = 3,
};

enum OptionValueType : int32_t {
  kTextValue = 0,
  kNumberValue = 1,
  kDateValue = 2,
  kNoValue = 3,      // what every switch gets, whatever its row says
};

enum OptionFlags : int32_t {
  kRequired = 0x01,
  kOptional = 0x02,
  kRepeatable = 0x04,
  kHelp = 0x08,
  kSeparatorRequired = 0x10,
};

struct OptionSpec {
  int32_t kind;
  const char16_t* name;          // after one prefix character; unused for positional rows
  const char16_t* longName;      // after "--"; empty when none
  const char16_t* description;   // the usage line's text; a positional row's display name
  int32_t valueType;
  int32_t flags;
};

}  // namespace setup
