#include "tools/setup-check/check_options.h"

#include <algorithm>
#include <charconv>
#include <ranges>
#include <span>

#include <CLI/CLI.hpp>

#include "setup/base/chars.h"

namespace setup::check {
namespace {

// The dot-separated parts of text, each plain digits of the base and at most max. std::from_chars
// rather than CLI11's conversion, which reads "010" as octal and takes blanks and signs, and whose
// delimiter drops empty parts, so that "6..1" would pass for 6.1.
std::optional<std::vector<uint32_t>> Numbers(std::string_view text, uint32_t max, int base = 10) {
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

std::optional<uint32_t> Number(std::string_view text, uint32_t max = UINT32_MAX, int base = 10) {
  const auto parts = Numbers(text, max, base);
  return parts && parts->size() == 1 ? std::optional(parts->front()) : std::nullopt;
}

std::optional<SystemVersion> SystemFrom(std::string_view text) {
  auto parts = Numbers(text, 0x7FFFFFFF).value_or(std::vector<uint32_t>());
  if (parts.size() == 3) parts.resize(5);  // service pack 0.0
  if (parts.size() != 5 || parts[3] > 0xFFFF || parts[4] > 0xFFFF) return std::nullopt;
  return SystemVersion{parts[0], parts[1], parts[2], static_cast<uint16_t>(parts[3]), static_cast<uint16_t>(parts[4])};
}

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

std::optional<MinimumWindows> MinimumFrom(std::string_view text) {
  if (auto named = MinimumWindowsNamed(FromUtf8(text))) return named;
  const auto system = SystemFrom(text);
  // The ServicePack word holds each service-pack number in one byte.
  if (!system || system->servicePackMajor > 0xFF || system->servicePackMinor > 0xFF) return std::nullopt;
  return MinimumWindowsOf(*system);
}

std::optional<Text> AsText(std::string_view text) { return FromUtf8(text); }

std::string LanguageCodeNames() {
  std::string names;
  for (const LanguageCode& language : kLanguageCodes) names += (names.empty() ? "" : ",") + ToUtf8(language.code);
  return names;
}

// "ru,de" or "all": codes of /l, each once. An unknown code is refused with the known ones, so
// that a misspelt code writes nothing rather than a file setup.exe never reads.
std::vector<LanguageCode> LanguagesFrom(const std::string& text) {
  if (EqualsIgnoringAsciiCase(FromUtf8(text), u"all")) return {kLanguageCodes.begin(), kLanguageCodes.end()};
  std::vector<LanguageCode> languages;
  for (size_t start = 0; start <= text.size();) {
    const std::string code = text.substr(start, text.find(',', start) - start);
    start += code.size() + 1;
    const LanguageCode* known = FindLanguageCode(FromUtf8(code));
    if (known == nullptr) {
      throw CLI::ValidationError("--languages", "no language has the code \"" + code + "\"; the codes of /l are " +
                                                    LanguageCodeNames() + ", or all");
    }
    const auto same = [&](const LanguageCode& language) { return language.languageId == known->languageId; };
    if (std::ranges::none_of(languages, same)) languages.push_back(*known);
  }
  return languages;
}

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

constexpr const char* kVersionForm = "MAJOR.MINOR.BUILD[.SPMAJOR.SPMINOR]";

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

// setup-check --init's command line.
struct InitCommand {
  InitOptions options;
  CLI::App app{"--init writes a starting distribution into DIR from the package itself: Setup.ini (its\n"
               "ProductName, ProductCode, ProductVersion and engine version) and 0x0409.ini; it copies the\n"
               "package in and never overwrites a file.",
               "setup-check --init"};

  InitCommand() {
    AddOption(app, "--min-os", options.minimum, MinimumFrom,
              "the lowest Windows the product accepts (default xp-sp3):\n" + MinimumWindowsNames())
        ->type_name(std::string("NAME|") + kVersionForm);
    AddOption(app, "--cmdline", options.cmdLine, AsText, "CmdLine, the properties every installation gets")
        ->type_name("TEXT");
    AddOption(app, "--setup-exe", options.setupExe, AsText, "copies this setup.exe in")->type_name("PATH");
    app.add_flag_callback("--no-copy", [this] { options.copyPackage = false; },
                          "Location names the package where it lies instead of a copy");
    app.add_flag("--force", options.force, "overwrites files that exist");
    app.add_option_function<std::string>(
           "--languages", [this](const std::string& text) { options.languages = LanguagesFrom(text); },
           "beside 0x0409.ini, the language file of each code of /l, translated:\n" + LanguageCodeNames() +
               ", or all")
        ->type_name("CODE,...|all");
    AddOption(app, "PACKAGE.msi", options.package, AsText, "the package")->type_name("")->required();
    AddOption(app, "DIR", options.folder, AsText, "the folder to write, made when missing")->type_name("")->required();
    app.footer("Exit code: 0 written, 3 nothing written.");
  }
};

// setup-check --deploy's command line.
struct DeployCommand {
  DeployOptions options;
  CLI::App app{"--deploy checks DIST_DIR and, when it has no error, writes into OUT_DIR what winget, Intune and\n"
               "Configuration Manager need to install it: winget's manifests for the folder as one zip (written\n"
               "there too unless --zip), the body of an Intune Win32 app, and a script that makes the\n"
               "Configuration Manager application.",
               "setup-check --deploy"};

  DeployCommand() {
    AddOption(app, "--url", options.url, AsText, "where winget downloads the zip from")->type_name("URL")->required();
    AddOption(app, "--id", options.id, AsText,
              "winget's PackageIdentifier (default: from the package's Manufacturer\nand ProductName)")
        ->type_name("PUBLISHER.PRODUCT");
    AddOption(app, "--zip", options.zip, AsText, "the folder as zipped already, instead of OUT_DIR/NAME-VERSION.zip")
        ->type_name("FILE");
    app.add_flag("--force", options.force, "overwrites files that exist");
    AddOption(app, "DIST_DIR", options.distribution, AsText, "the distribution folder")->type_name("")->required();
    AddOption(app, "OUT_DIR", options.outDir, AsText, "the folder to write, made when missing")->type_name("")->required();
    app.footer("Exit code: 0 written, 2 the folder has errors, 3 nothing written.");
  }
};

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

// Backslashes count only before a quotation mark: there they are doubled, and the mark escaped.
Text QuoteArgument(TextView argument) {
  if (!argument.empty() && argument.find_first_of(u" \t\"") == TextView::npos) return Text(argument);
  Text quoted(1, u'"');
  size_t backslashes = 0;
  for (const char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, u'\\');
  return quoted + u'"';
}

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

ParsedInit ParseInitArguments(const std::vector<Text>& arguments) { return Parse<InitCommand>(arguments); }

ParsedDeploy ParseDeployArguments(const std::vector<Text>& arguments) { return Parse<DeployCommand>(arguments); }

std::string CheckUsage() {
#ifdef SETUP_CHECK_DEPLOY
  const std::string deploy = DeployCommand().app.help();
#else
  const std::string deploy =
      "--deploy (winget, Intune and Configuration Manager descriptions) is not in this build, which\n"
      "has no YAML emitter, zip writer or SHA-256: use the host build's setup-check.\n";
#endif
  return CheckCommand().app.help() + "\n" + InitCommand().app.help() + "\n" + deploy;
}

Text SetupCommandLine(const Text& modulePath, const CheckOptions& options) {
  Text commandLine = u"\"" + modulePath + u"\"";
  if (options.setupArgumentText) {
    if (!options.setupArgumentText->empty()) commandLine += u" " + *options.setupArgumentText;
    return commandLine;
  }
  for (const Text& argument : options.setupArguments) commandLine += u" " + QuoteArgument(argument);
  return commandLine;
}

}  // namespace setup::check
