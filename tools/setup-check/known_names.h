#pragma once
// Names setup.exe knows, for telling a person what a name they wrote was probably meant to be.

#include <optional>
#include <string>
#include <vector>

#include "setup/base/text.h"

namespace setup::check {

// The known name that name most likely misspells: the same ignoring case, or a letter or two
// off (one for names of four letters or fewer); nullopt when none is that close.
std::optional<Text> NearestName(TextView name, const std::vector<Text>& known);

// "English (0x0409)" for a language of setup.exe's /l table; "0x0c0a" for others.
std::string LanguageName(uint32_t languageId);

}  // namespace setup::check
