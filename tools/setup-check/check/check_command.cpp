#include "tools/setup-check/check/check_command.h"

#include <algorithm>

namespace setup::check {
namespace {

std::optional<ProductVersionWords> EngineFrom(std::string_view text) {
  const auto parts = Numbers(text, 0xFFFF);
  if (!parts || parts->size() != 4) return std::nullopt;
  ProductVersionWords words;
  std::ranges::transform(*parts, words.begin(), [](uint32_t part) { return static_cast<uint16_t>(part); });
  return words;
}

std::optional<uint16_t> LanguageFrom(std::string_view text) {
  const bool hex = text.starts_with("0x") || text.starts_with("0X");
  const auto language = Number(hex ? text.substr(2) : text, 0xFFFF, hex ? 16 : 10);
  return language ? std::optional(static_cast<uint16_t>(*language)) : std::nullopt;
}

// Only a code page this machine decodes: files in any other could not be read as the target reads them.
std::optional<uint32_t> CodePageFrom(std::string_view text) {
  const auto codePage = Number(text);
  return codePage && DecodeCodePage(*codePage, "a") ? codePage : std::nullopt;
}

std::optional<InstalledProductOption> InstalledFrom(std::string_view text) {
  const size_t equals = text.find('=');
  if (equals == 0 || equals == std::string_view::npos || equals + 1 == text.size()) return std::nullopt;
  return InstalledProductOption{FromUtf8(text.substr(0, equals)), FromUtf8(text.substr(equals + 1))};
}

// The check's command line, bound to the options it fills.
struct CheckCommand {
  CheckOptions options;
  CLI::App app{"Runs setup.exe's own decisions against DIST_DIR without installing anything and reports\n"
               "what setup.exe would do there, with the problems found in the folder.",
               "setup-check"};

  CheckCommand() {
    AddOption(app, "--os", options.system, SystemFrom, "the system setup.exe runs on (default 6.1.7601.1.0)")
        ->type_name(kVersionForm);
    AddOption(app, "--language", options.language, LanguageFrom,
              "the user's default language, hexadecimal or decimal (default 0x0409)")
        ->type_name("0x0419|1049");
    AddOption(app, "--engine", options.engine, EngineFrom, "the product version of msi.dll (default 5.0.7601.17514)")
        ->type_name("A.B.C.D");
    app.add_option_function<std::vector<std::string>>(
           "--installed",
           [this](const std::vector<std::string>& all) {
             for (const std::string& one : all) {
               options.installed.push_back(Valid("--installed", InstalledFrom(one), one));
             }
           },
           "a product installed in a version; repeat for more")
        ->type_name("PRODUCTCODE=VERSION")
        ->allow_extra_args(false);  // one value each time, so that the folder after it stays the folder
    AddOption(app, "--codepage", options.codePage, CodePageFrom,
              "the ANSI code page of the target machine, for files without a mark\n(default 1252)")
        ->type_name("N");
    app.add_flag("--json", options.json, "the report as JSON (see tools/setup-check/README.md)");
    AddOption(app, "--command-line", options.setupArgumentText, AsText,
              "the text after setup.exe's path on its command line, taken as it is")
        ->type_name("TEXT");
    AddOption(app, "DIST_DIR", options.distribution, AsText, "the distribution folder")->type_name("")->required();
    app.footer(
        "After \"--\", setup.exe's arguments, quoted for its command line as Windows programs quote them\n"
        "(or --command-line instead).\n"
        "Exit code: 0 clean, 1 warnings only, 2 errors, 3 the check itself could not run.");
  }
};

}  // namespace

ParsedArguments ParseCheckArguments(const std::vector<Text>& arguments) {
  // setup.exe's arguments follow the first "--" word for word, whatever they look like.
  const auto dashes = std::ranges::find(arguments, TextView(u"--"));
  ParsedArguments parsed = Parse<CheckCommand>({arguments.begin(), dashes});
  if (!parsed.options) return parsed;
  parsed.options->setupArguments.assign(dashes == arguments.end() ? dashes : dashes + 1, arguments.end());
  if (parsed.options->setupArgumentText && !parsed.options->setupArguments.empty()) {
    return {std::nullopt, "--command-line and arguments after \"--\" exclude each other"};
  }
  return parsed;
}

std::string CheckHelp() { return CheckCommand().app.help(); }

}  // namespace setup::check
