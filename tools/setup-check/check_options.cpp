#include "tools/setup-check/check_options.h"

#include "setup/base/numbers.h"

namespace setup::check {
namespace {

// Digits only: the tool's own options accept no blanks or signs, unlike the program's parsers.
std::optional<uint32_t> WholeNumber(TextView text, int base = 10) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  uint32_t value = 0;
  for (const char16_t c : text) {
    int digit = -1;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
  }
  return value;
}

std::vector<std::optional<uint32_t>> DottedNumbers(TextView text) {
  std::vector<std::optional<uint32_t>> parts;
  size_t start = 0;
  while (true) {
    const size_t dot = text.find(u'.', start);
    parts.push_back(WholeNumber(text.substr(start, dot == TextView::npos ? TextView::npos : dot - start)));
    if (dot == TextView::npos) return parts;
    start = dot + 1;
  }
}

bool AllBelow(const std::vector<std::optional<uint32_t>>& parts, uint32_t limit) {
  for (const auto& part : parts) {
    if (!part || *part >= limit) return false;
  }
  return true;
}

std::optional<SystemVersion> ParseSystem(TextView text) {
  const auto parts = DottedNumbers(text);
  if ((parts.size() != 3 && parts.size() != 5) || !AllBelow(parts, 0x80000000u)) return std::nullopt;
  SystemVersion system{*parts[0], *parts[1], *parts[2], 0, 0};
  if (parts.size() == 5) {
    if (*parts[3] > 0xFFFF || *parts[4] > 0xFFFF) return std::nullopt;
    system.servicePackMajor = static_cast<uint16_t>(*parts[3]);
    system.servicePackMinor = static_cast<uint16_t>(*parts[4]);
  }
  return system;
}

std::optional<ProductVersionWords> ParseEngine(TextView text) {
  const auto parts = DottedNumbers(text);
  if (parts.size() != 4 || !AllBelow(parts, 0x10000)) return std::nullopt;
  return ProductVersionWords{static_cast<uint16_t>(*parts[0]), static_cast<uint16_t>(*parts[1]),
                             static_cast<uint16_t>(*parts[2]), static_cast<uint16_t>(*parts[3])};
}

std::optional<uint16_t> ParseLanguage(TextView text) {
  const bool hex = text.starts_with(u"0x") || text.starts_with(u"0X");
  const auto value = hex ? WholeNumber(text.substr(2), 16) : WholeNumber(text);
  if (!value || *value > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(*value);
}

std::optional<InstalledProductOption> ParseInstalled(TextView text) {
  const size_t equals = text.find(u'=');
  if (equals == 0 || equals == TextView::npos || equals + 1 == text.size()) return std::nullopt;
  return InstalledProductOption{Text(text.substr(0, equals)), Text(text.substr(equals + 1))};
}

bool NeedsQuotes(TextView argument) { return argument.empty() || argument.find_first_of(u" \t\"") != TextView::npos; }

// Backslashes count only before a quotation mark: there they are doubled, and the mark escaped.
Text QuoteArgument(TextView argument) {
  if (!NeedsQuotes(argument)) return Text(argument);
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

// Takes the value of an option written "--name value" or "--name=value".
class ArgumentCursor {
 public:
  explicit ArgumentCursor(const std::vector<Text>& arguments) : arguments_(arguments) {}
  bool Done() const { return next_ >= arguments_.size(); }
  const Text& Take() { return arguments_[next_++]; }
  std::optional<Text> ValueOf(const Text& argument, TextView name) {
    if (argument == name) return Done() ? std::nullopt : std::optional<Text>(Take());
    return Text(argument.substr(name.size() + 1));
  }

 private:
  const std::vector<Text>& arguments_;
  size_t next_ = 0;
};

bool IsOption(const Text& argument, TextView name) {
  return argument == name ||
         (argument.starts_with(name) && argument.size() > name.size() && argument[name.size()] == u'=');
}

std::string Problem(const char* option, const std::optional<Text>& value) {
  return std::string(option) + ": not a valid value: " + (value ? ToUtf8(*value) : std::string("(missing)"));
}

}  // namespace

ParsedArguments ParseCheckArguments(const std::vector<Text>& arguments) {
  CheckOptions options;
  ArgumentCursor cursor(arguments);
  bool distributionGiven = false;
  while (!cursor.Done()) {
    const Text& argument = cursor.Take();
    if (argument == u"--help" || argument == u"-h") return {};
    if (argument == u"--json") {
      options.json = true;
    } else if (argument == u"--") {
      while (!cursor.Done()) options.setupArguments.push_back(cursor.Take());
    } else if (IsOption(argument, u"--os")) {
      const auto value = cursor.ValueOf(argument, u"--os");
      const auto system = value ? ParseSystem(*value) : std::nullopt;
      if (!system) return {std::nullopt, Problem("--os", value)};
      options.system = *system;
    } else if (IsOption(argument, u"--language")) {
      const auto value = cursor.ValueOf(argument, u"--language");
      const auto language = value ? ParseLanguage(*value) : std::nullopt;
      if (!language) return {std::nullopt, Problem("--language", value)};
      options.language = *language;
    } else if (IsOption(argument, u"--engine")) {
      const auto value = cursor.ValueOf(argument, u"--engine");
      const auto engine = value ? ParseEngine(*value) : std::nullopt;
      if (!engine) return {std::nullopt, Problem("--engine", value)};
      options.engine = *engine;
    } else if (IsOption(argument, u"--installed")) {
      const auto value = cursor.ValueOf(argument, u"--installed");
      const auto installed = value ? ParseInstalled(*value) : std::nullopt;
      if (!installed) return {std::nullopt, Problem("--installed", value)};
      options.installed.push_back(*installed);
    } else if (IsOption(argument, u"--codepage")) {
      const auto value = cursor.ValueOf(argument, u"--codepage");
      const auto codePage = value ? WholeNumber(*value) : std::nullopt;
      if (!codePage || !DecodeCodePage(*codePage, "a")) return {std::nullopt, Problem("--codepage", value)};
      options.codePage = *codePage;
    } else if (IsOption(argument, u"--command-line")) {
      options.setupArgumentText = cursor.ValueOf(argument, u"--command-line");
      if (!options.setupArgumentText) return {std::nullopt, Problem("--command-line", std::nullopt)};
    } else if (argument.starts_with(u"--") || distributionGiven) {
      return {std::nullopt, "unexpected argument: " + ToUtf8(argument)};
    } else {
      options.distribution = argument;
      distributionGiven = true;
    }
  }
  if (!distributionGiven) return {std::nullopt, "no distribution folder given"};
  if (options.setupArgumentText && !options.setupArguments.empty()) {
    return {std::nullopt, "--command-line and arguments after \"--\" exclude each other"};
  }
  return {options, std::string()};
}

ParsedInit ParseInitArguments(const std::vector<Text>& arguments) {
  InitOptions options;
  ArgumentCursor cursor(arguments);
  std::vector<Text> positional;
  while (!cursor.Done()) {
    const Text& argument = cursor.Take();
    if (argument == u"--force") {
      options.force = true;
    } else if (argument == u"--no-copy") {
      options.copyPackage = false;
    } else if (IsOption(argument, u"--min-os")) {
      const auto value = cursor.ValueOf(argument, u"--min-os");
      std::optional<MinimumWindows> minimum = value ? MinimumWindowsNamed(*value) : std::nullopt;
      const auto system = value && !minimum ? ParseSystem(*value) : std::nullopt;
      // The ServicePack word holds each service-pack number in one byte.
      if (system && system->servicePackMajor < 256 && system->servicePackMinor < 256)
        minimum = MinimumWindowsOf(*system);
      if (!minimum)
        return {std::nullopt, Problem("--min-os", value) + " (a name: " + MinimumWindowsNames() +
                                  "; or MAJOR.MINOR.BUILD[.SPMAJOR.SPMINOR])"};
      options.minimum = *minimum;
    } else if (IsOption(argument, u"--cmdline")) {
      const auto value = cursor.ValueOf(argument, u"--cmdline");
      if (!value) return {std::nullopt, Problem("--cmdline", value)};
      options.cmdLine = *value;
    } else if (IsOption(argument, u"--setup-exe")) {
      options.setupExe = cursor.ValueOf(argument, u"--setup-exe");
      if (!options.setupExe) return {std::nullopt, Problem("--setup-exe", std::nullopt)};
    } else if (argument.starts_with(u"--") || positional.size() == 2) {
      return {std::nullopt, "unexpected argument: " + ToUtf8(argument)};
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() != 2) return {std::nullopt, "--init wants a package and a folder: --init PACKAGE.msi DIR"};
  options.package = positional[0];
  options.folder = positional[1];
  return {options, std::string()};
}

std::string CheckUsage() {
  return "usage: setup-check [--os MAJOR.MINOR.BUILD[.SPMAJOR.SPMINOR]] [--language 0x0419]\n"
         "                   [--engine 5.0.7601.17514] [--installed PRODUCTCODE=VERSION ...]\n"
         "                   [--codepage 1252] [--json]\n"
         "                   DIST_DIR [-- setup.exe arguments | --command-line TEXT]\n"
         "       setup-check --init PACKAGE.msi DIR [--min-os NAME | --min-os MAJOR.MINOR.BUILD[.SPMAJOR.SPMINOR]]\n"
         "                   [--cmdline TEXT] [--setup-exe PATH] [--no-copy] [--force]\n"
         "\n"
         "Runs setup.exe's own decisions against DIST_DIR without installing anything and reports\n"
         "what setup.exe would do there, with the problems found in the folder.\n"
         "  --os            the system setup.exe runs on (default 6.1.7601.1.0)\n"
         "  --language      the user's default language, hexadecimal or decimal (default 0x0409)\n"
         "  --engine        the product version of msi.dll (default 5.0.7601.17514)\n"
         "  --installed     a product installed in a version; repeat for more\n"
         "  --codepage      the ANSI code page of the target machine, for files without a mark (default 1252)\n"
         "  --json          the report as JSON (see tools/setup-check/README.md)\n"
         "  --command-line  the text after setup.exe's path on its command line, taken as it is\n"
         "Exit code: 0 clean, 1 warnings only, 2 errors, 3 the check itself could not run.\n"
         "\n"
         "--init writes a starting distribution into DIR from the package itself: Setup.ini (its\n"
         "ProductName, ProductCode, ProductVersion and engine version) and 0x0409.ini; it copies the\n"
         "package in and never overwrites a file.\n"
         "  --min-os        the lowest Windows the product accepts (default xp-sp3): " +
         MinimumWindowsNames() +
         "\n"
         "  --cmdline       CmdLine, the properties every installation gets\n"
         "  --setup-exe     copies this setup.exe in\n"
         "  --no-copy       Location names the package where it lies instead of a copy\n"
         "  --force         overwrites files that exist\n"
         "Exit code: 0 written, 3 nothing written.\n";
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
