#pragma once
// The messages of the language files --init writes, one text file per language in languages/,
// compiled into the tool (see languages/README.md for their form).

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "setup/base/text.h"
#include "tools/setup-check/shared/fill.h"

namespace setup::check {

// One language's texts as its file gives them, in UTF-8, with their placeholders.
struct MessageTemplates {
  std::string unsupportedSystem;        // 1150: {product} and {windows}
  std::string unsupportedSystemNoName;  // 1150 for a package without a name: {windows}
  std::string servicePack;              // {windows} with its service pack {number}
  std::string build;                    // a Windows known by its numbers: {version} and {build}
  std::array<std::string, 4> usage;     // 1203 to 1206
};

// The texts of a code of /l as kLanguageCodes spells it ("ru"); all empty for a code without a file.
MessageTemplates MessageTemplatesOf(TextView code);

// languages/CODE.txt as bytes, from the source the build generates; empty for an unknown code.
std::string_view EmbeddedLanguageText(std::string_view code);

}  // namespace setup::check
