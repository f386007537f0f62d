#pragma once
// Reading a verb's command line with CLI11: values refused with the option's name, versions read
// part by part, and the verb's usage when help is asked for.

#include <charconv>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "setup/base/chars.h"
#include "setup/base/text.h"
#include "setup/platform/host/host_platform.h"

namespace setup::check {

// The options, or no options and no error when help was asked for, or no options and the error.
template <typename Options>
struct Parsed {
  std::optional<Options> options;
  std::string error;
};

inline constexpr const char* kVersionForm = "MAJOR.MINOR.BUILD[.SPMAJOR.SPMINOR]";

// The dot-separated parts of text, each plain digits of the base and at most max. std::from_chars
// rather than CLI11's conversion, which reads "010" as octal and takes blanks and signs, and whose
// delimiter drops empty parts, so that "6..1" would pass for 6.1.
inline std::optional<std::vector<uint32_t>> Numbers(std::string_view text, uint32_t max, int base = 10) {
  std::vector<uint32_t> parts;
  for (size_t start = 0; start <= text.size();) {
    const std::string_view part = text.substr(start, text.find('.', start) - start);
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value, base);
    if (error != std::errc() || end != part.data() + part.size() || value > max) return std::nullopt;
    parts.push_back(value);
    start += part.size() + 1;
  }
  return parts;
}

inline std::optional<uint32_t> Number(std::string_view text, uint32_t max = UINT32_MAX, int base = 10) {
  const auto parts = Numbers(text, max, base);
  return parts && parts->size() == 1 ? std::optional(parts->front()) : std::nullopt;
}

inline std::optional<SystemVersion> SystemFrom(std::string_view text) {
  auto parts = Numbers(text, 0x7FFFFFFF).value_or(std::vector<uint32_t>());
  if (parts.size() == 3) parts.resize(5);  // service pack 0.0
  if (parts.size() != 5 || parts[3] > 0xFFFF || parts[4] > 0xFFFF) return std::nullopt;
  return SystemVersion{parts[0], parts[1], parts[2], static_cast<uint16_t>(parts[3]), static_cast<uint16_t>(parts[4])};
}

inline std::optional<Text> AsText(std::string_view text) { return FromUtf8(text); }

template <typename Value>
Value Valid(const std::string& option, std::optional<Value> value, const std::string& text) {
  if (!value) throw CLI::ValidationError(option, "not a valid value: " + text);
  return *std::move(value);
}

// CLI11 hands the option's text over in UTF-8; convert gives the value, or nullopt to refuse it.
template <typename Target, typename Convert>
CLI::Option* AddOption(CLI::App& app, const std::string& name, Target& target, Convert convert,
                       const std::string& description) {
  return app.add_option_function<std::string>(
      name, [name, &target, convert](const std::string& text) { target = Valid(name, convert(text), text); },
      description);
}

template <typename Command>
auto Parse(std::span<const Text> arguments) -> Parsed<decltype(Command::options)> {
  Command command;
  // Windows builds would otherwise take "/S" or "/srv/dist" for an option.
  command.app.allow_windows_style_options(false);
  std::vector<std::string> reversed;  // as CLI11 takes them: the last first
  for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument) reversed.push_back(ToUtf8(*argument));
  try {
    command.app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return {};
  } catch (const CLI::ParseError& error) {
    return {std::nullopt, error.what()};
  }
  return {std::move(command.options), std::string()};
}

}  // namespace setup::check
