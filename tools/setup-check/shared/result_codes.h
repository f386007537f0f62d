#pragma once
// Windows Installer result codes in words, for every code a report shows.

#include <cstdint>
#include <string>

namespace setup::check {

// "1603 (ERROR_INSTALL_FAILURE: a fatal error during installation)"; a code the table does not
// hold is shown as "N (a system error code)".
std::string ResultCodeText(uint32_t code);

// The part in parentheses, without the number.
std::string ResultCodeMeaning(uint32_t code);

}  // namespace setup::check
