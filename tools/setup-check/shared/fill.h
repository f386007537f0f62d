#pragma once
// Texts with named holes: the language files' messages and the check's findings.

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace setup::check {

// The pattern with each placeholder replaced by its value, in one pass: a value is never read again.
std::string Fill(std::string_view pattern, std::initializer_list<std::pair<std::string_view, std::string>> values);

}  // namespace setup::check
