#include "tools/setup-check/init/init_distribution.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/decisions/os_requirements.h"
#include "setup/decisions/settings_names.h"
#include "setup/driver/run.h"
#include "setup/settings/settings_section.h"
#include "tools/setup-check/init/message_templates.h"
#include "tools/setup-check/shared/host_paths.h"
#include "tools/setup-check/shared/windows_text.h"

namespace setup::check {
namespace fs = std::filesystem;
namespace {

constexpr int32_t kUnstatedEngine = 200;  // what a package that names no engine can count on
// The section PackageName names and the list [MsiVersion] names: the tool's choice, not read by name.
constexpr char16_t kPackageSection[] = u"Package";
constexpr char16_t kSystemsSection[] = u"Systems";
struct NamedWindows {
  const char16_t* key;  // as --min-os takes it
  MinimumWindows windows;
};
// Build numbers of the first release of each; a service pack is its word, 512 for 2.0.
const std::array<NamedWindows, 13>& KnownWindows() {
  static const std::array<NamedWindows, 13> windows = {{
    {u"xp", {u"WinXP", u"Windows XP", 5, 1, 2600, 0}},
    {u"xp-sp1", {u"WinXPSP1", u"Windows XP Service Pack 1", 5, 1, 2600, 0x0100}},
    {u"xp-sp2", {u"WinXPSP2", u"Windows XP Service Pack 2", 5, 1, 2600, 0x0200}},
    {u"xp-sp3", {u"WinXPSP3", u"Windows XP Service Pack 3", 5, 1, 2600, 0x0300}},
    {u"vista", {u"Vista", u"Windows Vista", 6, 0, 6000, 0}},
    {u"vista-sp1", {u"VistaSP1", u"Windows Vista Service Pack 1", 6, 0, 6001, 0x0100}},
    {u"vista-sp2", {u"VistaSP2", u"Windows Vista Service Pack 2", 6, 0, 6002, 0x0200}},
    {u"7", {u"Win7", u"Windows 7", 6, 1, 7600, 0}},
    {u"7-sp1", {u"Win7SP1", u"Windows 7 Service Pack 1", 6, 1, 7601, 0x0100}},
    {u"8", {u"Win8", u"Windows 8", 6, 2, 9200, 0}},
    {u"8.1", {u"Win81", u"Windows 8.1", 6, 3, 9600, 0}},
    {u"10", {u"Win10", u"Windows 10", 10, 0, 10240, 0}},
    {u"11", {u"Win11", u"Windows 11", 10, 0, 22000, 0}},
  }};
  return windows;
}

// Asked of the settings reader itself: whether a line holding the value gives it back, but for
// the white space around it, which the reader trims.
bool CutByTheReader(TextView value) {
  SettingsSection section;
  const Text line = Text(u"k=").append(value);
  return !section.Parse(u"[v]\n" + line + u"\n") || section.GetValue(u"k") != TrimmedView(value);
}

// A value setup.exe reads back whole. In texts that only label, the characters the reader would
// cut at give way to their full-width look-alikes, which mirror ASCII from U+FF01 on; "]" goes
// with "[" so that brackets stay a pair.
Text Labelled(TextView text) {
  Text safe(text);
  for (char16_t& c : safe) {
    if (c == u'\r' || c == u'\n') c = u' ';
    if (c == u']' || (c > u' ' && c < 0x7F && CutByTheReader(Text(1, c)))) c += 0xFEE0;
  }
  return safe;
}

Text Section(TextView name) { return Text(u"[").append(name).append(u"]\n"); }
Text Line(TextView key, TextView value) { return Text(key).append(u"=").append(value).append(u"\n"); }

// The lines as a Windows text file: CR LF, and a UTF-8 mark once anything is beyond ASCII.
std::string WindowsTextFile(TextView lines) {
  const bool ascii = std::ranges::all_of(lines, [](char16_t c) { return c < 0x80; });
  return (ascii ? "" : "\xEF\xBB\xBF") + WithCrLf(ToUtf8(lines));
}

std::string Utf8Of(const fs::path& path) { return ToUtf8(TextOf(path)); }

// The lowest Windows in a language's words: the names of Windows stay, a service pack and a
// build number take the language's form of them.
std::string WindowsInWords(const MinimumWindows& windows, const MessageTemplates& texts) {
  const bool named =
      std::ranges::any_of(KnownWindows(), [&](const NamedWindows& n) { return n.windows.section == windows.section; });
  const OsRequirement pack = ServicePackOf(windows.servicePack);
  // A named Windows is its English name without the service pack, which the table appends.
  const std::string name =
      named ? ToUtf8(windows.name.substr(0, windows.name.find(u" Service Pack ")))
            : Fill(texts.build, {{"{version}", std::to_string(windows.major) + "." + std::to_string(windows.minor)},
                                 {"{build}", std::to_string(windows.build)}});
  const std::string number =
      std::to_string(pack.servicePackMajor) + (named ? "" : "." + std::to_string(pack.servicePackMinor));
  return windows.servicePack == 0 ? name : Fill(texts.servicePack, {{"{windows}", name}, {"{number}", number}});
}

// Where Location points when the package stays where it lies: relative to the folder, with
// Windows separators, as setup.exe joins it to its own directory. Empty on another drive.
Text RelativeLocation(const fs::path& package, const fs::path& folder) {
  Text text = TextOf(package.lexically_relative(folder));
  std::ranges::replace(text, u'/', u'\\');
  return text;
}

struct Output {
  fs::path target;
  std::string bytes;  // written when source is empty
  fs::path source;    // copied when set
};

// Windows finds "SETUP.INI" when asked for "Setup.ini": a file differing in case is the same
// file there, and is the one overwritten. Returns a line for each file that exists.
std::string FindExisting(std::vector<Output>& outputs) {
  std::string existing;
  std::error_code error;
  for (Output& output : outputs) {
    const fs::path found = ResolveHostPath(TextOf(output.target));
    if (!fs::exists(found, error)) continue;
    output.target = found;
    existing += "\n  " + Utf8Of(found);
  }
  return existing;
}

std::error_code Write(const Output& output) {
  std::error_code error;
  if (!output.source.empty()) {
    fs::copy_file(output.source, output.target, fs::copy_options::overwrite_existing, error);
    return error;
  }
  std::ofstream file(output.target, std::ios::binary | std::ios::trunc);
  file.write(output.bytes.data(), static_cast<std::streamsize>(output.bytes.size()));
  return file ? error : std::make_error_code(std::errc::io_error);
}

CheckExitCode Refuse(std::string& report, const std::string& why) {
  report += "setup-check: " + why + "\n";
  return kCheckCouldNotRun;
}

// The operating-system entry, with a word on the ServicePack word, which people misread.
Text EntrySection(const MinimumWindows& windows) {
  const uint16_t servicePack = windows.servicePack;
  Text text = u"; " + windows.name + u" or later.";
  if (servicePack != 0) {
    const OsRequirement decoded = ServicePackOf(servicePack);
    text += Text(u" ") + kServicePackKey + u" " + FormatDecimal(servicePack) + u" is service pack " +
            FormatDecimal(decoded.servicePackMajor) + u"." + FormatDecimal(decoded.servicePackMinor) +
            u":\n; the major number times 256 plus the minor number.";
  }
  text += u"\n" + Section(windows.section) + Line(kMajorVersionKey, FormatDecimal(windows.major)) +
          Line(kMinorVersionKey, FormatDecimal(windows.minor)) + Line(kBuildNumberKey, FormatDecimal(windows.build));
  if (servicePack != 0) text += Line(kServicePackKey, FormatDecimal(servicePack));
  return text;
}

}  // namespace

std::optional<MinimumWindows> MinimumWindowsNamed(TextView name) {
  for (const NamedWindows& named : KnownWindows()) {
    if (EqualsIgnoringAsciiCase(name, named.key)) return named.windows;
  }
  return std::nullopt;
}

MinimumWindows MinimumWindowsOf(const SystemVersion& system) {
  const auto servicePack = static_cast<uint16_t>(ServicePackWord(system.servicePackMajor, system.servicePackMinor));
  Text name = u"Windows " + FormatDecimal(system.major) + u"." + FormatDecimal(system.minor) + u" build " +
              FormatDecimal(system.build);
  if (servicePack != 0) {
    name += u" Service Pack " + FormatDecimal(system.servicePackMajor) + u"." + FormatDecimal(system.servicePackMinor);
  }
  return {u"Windows", name, system.major, system.minor, system.build, servicePack};
}

std::string MinimumWindowsNames() {
  std::string names;
  for (const NamedWindows& named : KnownWindows()) names += (names.empty() ? "" : ", ") + ToUtf8(named.key);
  return names;
}

std::string StartingSettings(const PackageFacts& package, const Text& location, const InitOptions& options) {
  const MinimumWindows& windows = options.minimum;
  const int32_t engine = package.engineVersion > 0 ? package.engineVersion : kUnstatedEngine;
  const Text engineVersion = FormatDecimal(engine / 100) + u"." + FormatDecimal(engine % 100);  // 301: "3.1"
  Text text = u"; Written by setup-check --init from the package. " + Text(kProductCodeKey) + u" and " +
              kProductVersionKey + u" are the\n; package's own: setup.exe compares them with the installed product, "
              u"all four parts exactly.\n";
  text += Section(kStartupSection) + Line(kProductKey, Labelled(package.productName)) +
          Line(kPackageNameKey, kPackageSection) + Line(kProductVersionKey, package.productVersion) +
          Line(kProductCodeKey, package.productCode);
  if (!options.cmdLine.empty()) text += Line(kCmdLineKey, options.cmdLine);
  text += u"\n" + Section(kPackageSection) + Line(kLocationKey, location) + u"\n";

  text += package.engineVersion > 0
              ? u"; The lowest Windows Installer engine, from the package's summary (page count " +
                    FormatDecimal(engine) + u"),\n; then the list of systems.\n"
              : u"; The package names no engine version: 2.0, the first engine of its kind.\n";
  text += Section(kMsiVersionSection) + Line(engineVersion, kSystemsSection) + u"\n";
  text += Text(u"; Each key set to ") + kEnabledEntry +
          u" names a section with the lowest version of a system; 0 turns it off.\n";
  text += Section(kSystemsSection) + Line(windows.section, kEnabledEntry) + u"\n";
  return WindowsTextFile(text + EntrySection(windows));
}

std::string LanguageMessages(const PackageFacts& package, const MinimumWindows& minimum, const LanguageCode& language) {
  const MessageTemplates texts = MessageTemplatesOf(language.code);
  const std::string windows = WindowsInWords(minimum, texts);
  const std::string unsupported =
      package.productName.empty() ? Fill(texts.unsupportedSystemNoName, {{"{windows}", windows}})
                                  : Fill(texts.unsupportedSystem, {{"{product}", ToUtf8(Labelled(package.productName))},
                                                                   {"{windows}", windows}});
  Text text = Section(FormatHex4(language.languageId)) + Line(kUnsupportedSystemMessage, FromUtf8(unsupported));
  for (size_t i = 0; i < kUsageMessages.size(); ++i) text += Line(kUsageMessages[i], FromUtf8(texts.usage[i]));
  return WindowsTextFile(text);
}

Text LanguageFileName(const LanguageCode& language) { return FormatHex4(language.languageId) + kLanguageFileExtension; }

namespace {

// 0x0409.ini, which setup.exe falls back on, always; beside it each language asked for.
void AddLanguageFiles(std::vector<Output>& outputs, const fs::path& folder, const PackageFacts& facts,
                      const InitOptions& options) {
  const auto fallback = [](const LanguageCode& language) {
    return FormatHex4(language.languageId) == kFallbackLanguage;
  };
  std::vector<LanguageCode> languages = {*std::ranges::find_if(kLanguageCodes, fallback)};
  std::ranges::remove_copy_if(options.languages, std::back_inserter(languages), fallback);
  for (const LanguageCode& language : languages) {
    outputs.push_back({folder / LanguageFileName(language), LanguageMessages(facts, options.minimum, language), {}});
  }
}

}  // namespace

CheckExitCode WriteStartingDistribution(const InitOptions& options, const FakeModule& packageReader,
                                        std::string& report) {
  report.clear();
  std::error_code error;
  const fs::path package = fs::absolute(fs::path(options.package), error).lexically_normal();
  const fs::path folder = fs::absolute(fs::path(options.folder), error).lexically_normal();
  if (!fs::is_regular_file(package, error)) return Refuse(report, "no such package: " + ToUtf8(options.package));
  if (CutByTheReader(options.cmdLine)) {
    return Refuse(report,
                  "--cmdline cannot hold \"[\", \"#\" or \";\": setup.exe's settings reader cuts the line there; "
                  "give such properties on setup.exe's command line instead");
  }
  const PackageFacts facts = ReadPackageFacts(packageReader, TextOf(package));
  if (const std::string why = UnreadableReason(facts, ToUtf8(options.package)); !why.empty()) return Refuse(report, why);

  const bool packageInFolder = fs::equivalent(package.parent_path(), folder, error);
  const bool copy = options.copyPackage && !packageInFolder;
  const Text location = copy || packageInFolder ? TextOf(package.filename()) : RelativeLocation(package, folder);
  if (location.empty()) {
    return Refuse(report,
                  "the package lies on another drive than the folder, and " + ToUtf8(kLocationKey) +
                      " is always relative to setup.exe's folder: leave out --no-copy");
  }
  if (CutByTheReader(location)) {
    return Refuse(report, "the package's path cannot stand in " + ToUtf8(kSettingsFileName) +
                              ": \"[\", \"#\" and \";\" cut its line");
  }
  std::vector<Output> outputs = {{folder / kSettingsFileName, StartingSettings(facts, location, options), {}}};
  AddLanguageFiles(outputs, folder, facts, options);
  if (copy) outputs.push_back({folder / package.filename(), {}, package});
  if (options.setupExe) {
    const fs::path setupExe = fs::absolute(fs::path(*options.setupExe), error);
    if (!fs::is_regular_file(setupExe, error)) return Refuse(report, "no such file: " + ToUtf8(*options.setupExe));
    const fs::path copied = folder / kProgramFileName;
    if (!fs::equivalent(setupExe, copied, error)) outputs.push_back({copied, {}, setupExe});
  }

  const std::string existing = FindExisting(outputs);
  if (!existing.empty() && !options.force) {
    return Refuse(report, "these files exist; nothing was written (--force overwrites them):" + existing);
  }
  fs::create_directories(folder, error);
  report = "setup-check: a starting distribution for " + ToUtf8(facts.productName) + " " +
           ToUtf8(facts.productVersion) + " " + ToUtf8(facts.productCode) + ":\n";
  for (const Output& output : outputs) {
    error = Write(output);
    if (error) return Refuse(report, "cannot write " + Utf8Of(output.target) + ": " + error.message());
    report += "  wrote " + Utf8Of(output.target) + "\n";
  }
  if (!packageInFolder && !copy) report += "  " + ToUtf8(kLocationKey) + " refers to " + ToUtf8(location) + "\n";
  if (!options.setupExe) {
    report += "  " + ToUtf8(kProgramFileName) + " is not in it yet: copy it in, or give --setup-exe PATH\n";
  }
  report += "Check it with: setup-check " + ToUtf8(options.folder) + "\n";
  return kCheckClean;
}

}  // namespace setup::check
