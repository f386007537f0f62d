#include "tools/setup-check/init/init_command.h"

#include <algorithm>

#include "setup/decisions/os_requirements.h"

namespace setup::check {
namespace {

std::optional<MinimumWindows> MinimumFrom(std::string_view text) {
  if (auto named = MinimumWindowsNamed(FromUtf8(text))) return named;
  const auto system = SystemFrom(text);
  if (!system || !FitsServicePackWord(system->servicePackMajor, system->servicePackMinor)) return std::nullopt;
  return MinimumWindowsOf(*system);
}

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

}  // namespace

ParsedInit ParseInitArguments(const std::vector<Text>& arguments) { return Parse<InitCommand>(arguments); }

std::string InitHelp() { return InitCommand().app.help(); }

}  // namespace setup::check
