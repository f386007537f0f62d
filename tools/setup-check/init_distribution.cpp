#include "tools/setup-check/init_distribution.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>

#include "setup/base/chars.h"
#include "setup/base/numbers.h"
#include "setup/decisions/settings_names.h"
#include "tools/setup-check/host_paths.h"
#include "tools/setup-check/message_templates.h"
#include "tools/setup-check/result_codes.h"

namespace setup::check {
namespace fs = std::filesystem;
namespace {

constexpr int kWritten = 0;
constexpr int kNothingWritten = 3;
constexpr int32_t kUnstatedEngine = 200;  // what a package that names no engine can count on

struct NamedWindows {
  const char16_t* key;
  MinimumWindows windows;
};

// Build numbers of the first release of each; a service pack is its word, 512 for 2.0.
const std::array<NamedWindows, 13> kWindows = {{
    {u"xp", {u"WinXP", "Windows XP", 5, 1, 2600, 0}},
    {u"xp-sp1", {u"WinXPSP1", "Windows XP Service Pack 1", 5, 1, 2600, 0x0100}},
    {u"xp-sp2", {u"WinXPSP2", "Windows XP Service Pack 2", 5, 1, 2600, 0x0200}},
    {u"xp-sp3", {u"WinXPSP3", "Windows XP Service Pack 3", 5, 1, 2600, 0x0300}},
    {u"vista", {u"Vista", "Windows Vista", 6, 0, 6000, 0}},
    {u"vista-sp1", {u"VistaSP1", "Windows Vista Service Pack 1", 6, 0, 6001, 0x0100}},
    {u"vista-sp2", {u"VistaSP2", "Windows Vista Service Pack 2", 6, 0, 6002, 0x0200}},
    {u"7", {u"Win7", "Windows 7", 6, 1, 7600, 0}},
    {u"7-sp1", {u"Win7SP1", "Windows 7 Service Pack 1", 6, 1, 7601, 0x0100}},
    {u"8", {u"Win8", "Windows 8", 6, 2, 9200, 0}},
    {u"8.1", {u"Win81", "Windows 8.1", 6, 3, 9600, 0}},
    {u"10", {u"Win10", "Windows 10", 10, 0, 10240, 0}},
    {u"11", {u"Win11", "Windows 11", 10, 0, 22000, 0}},
}};

std::string Ascii(TextView text) { return ToUtf8(text); }

// A value setup.exe reads back whole: "[" would start a section, and the reader cuts a line at
// its last "#" and ";". In texts that only label, they give way to their full-width look-alikes.
Text Labelled(TextView text) {
  constexpr TextView kCut = u"[]#;";
  constexpr TextView kLookAlike = u"\uFF3B\uFF3D\uFF03\uFF1B";
  Text safe;
  for (const char16_t c : text) {
    const size_t cut = kCut.find(c);
    safe += c == u'\r' || c == u'\n' ? u' ' : cut == TextView::npos ? c : kLookAlike[cut];
  }
  return safe;
}

// One "key=value" line.
std::string Line(const std::string& key, const std::string& value) { return key + "=" + value + "\n"; }

bool CutByTheReader(TextView value) { return value.find_first_of(u"[#;\r\n") != TextView::npos; }

// The lines as a Windows text file: CR LF, and a UTF-8 mark once anything is beyond ASCII.
std::string WindowsTextFile(const std::string& lines) {
  const bool ascii =
      std::all_of(lines.begin(), lines.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  std::string bytes = ascii ? "" : "\xEF\xBB\xBF";
  for (const char c : lines) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

fs::path PathOf(const Text& text) { return fs::path(std::u16string(text)); }

// Where Location points when the package stays where it lies: relative to the folder, with
// Windows separators, as setup.exe joins it to its own directory.
Text RelativeLocation(const fs::path& package, const fs::path& folder) {
  Text text = TextOf(package.lexically_relative(folder));
  std::replace(text.begin(), text.end(), u'/', u'\\');
  return text;
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

// The lowest Windows in a language's words: the names of Windows stay, a service pack and a
// build number take the language's form of them.
std::string WindowsInWords(const MinimumWindows& windows, const MessageTemplates& texts) {
  const bool named =
      std::ranges::any_of(kWindows, [&](const NamedWindows& n) { return n.windows.section == windows.section; });
  const uint16_t pack = windows.servicePack;
  // A named Windows is its English name without the service pack, which the table appends.
  const std::string name =
      named ? windows.name.substr(0, windows.name.find(" Service Pack "))
            : Fill(texts.build, {{"{version}", std::to_string(windows.major) + "." + std::to_string(windows.minor)},
                                 {"{build}", std::to_string(windows.build)}});
  const std::string number = std::to_string(pack >> 8) + (named ? "" : "." + std::to_string(pack & 0xFF));
  return pack == 0 ? name : Fill(texts.servicePack, {{"{windows}", name}, {"{number}", number}});
}

struct Output {
  fs::path target;
  std::string bytes;  // written when source is empty
  fs::path source;    // copied when set
};

}  // namespace

std::optional<MinimumWindows> MinimumWindowsNamed(TextView name) {
  for (const NamedWindows& named : kWindows) {
    if (EqualsIgnoringAsciiCase(name, named.key)) return named.windows;
  }
  return std::nullopt;
}

MinimumWindows MinimumWindowsOf(const SystemVersion& system) {
  MinimumWindows windows;
  windows.section = u"Windows";
  windows.name = "Windows " + std::to_string(system.major) + "." + std::to_string(system.minor) + " build " +
                 std::to_string(system.build);
  windows.major = system.major;
  windows.minor = system.minor;
  windows.build = system.build;
  windows.servicePack = static_cast<uint16_t>(system.servicePackMajor << 8 | system.servicePackMinor);
  if (windows.servicePack != 0) {
    windows.name +=
        " Service Pack " + std::to_string(system.servicePackMajor) + "." + std::to_string(system.servicePackMinor);
  }
  return windows;
}

std::string MinimumWindowsNames() {
  std::string names;
  for (const NamedWindows& named : kWindows) names += (names.empty() ? "" : ", ") + Ascii(named.key);
  return names;
}

std::string StartingSettings(const PackageFacts& package, const Text& location, const InitOptions& options) {
  const MinimumWindows& windows = options.minimum;
  const int32_t engine = package.engineVersion > 0 ? package.engineVersion : kUnstatedEngine;
  const std::string section = Ascii(windows.section);
  std::string text =
      "; Written by setup-check --init from the package. ProductCode and ProductVersion are the\n"
      "; package's own: setup.exe compares them with the installed product, all four parts exactly.\n"
      "[Startup]\n";
  text += Line("Product", ToUtf8(Labelled(package.productName)));
  text += Line("PackageName", "Package");
  text += Line("ProductVersion", ToUtf8(package.productVersion));
  text += Line("ProductCode", ToUtf8(package.productCode));
  if (!options.cmdLine.empty()) text += Line("CmdLine", ToUtf8(options.cmdLine));
  text += "\n[Package]\n" + Line("Location", ToUtf8(location)) + "\n";

  text += package.engineVersion > 0 ? "; The lowest Windows Installer engine, from the package's summary (page count " +
                                          std::to_string(engine) + "),\n; then the list of systems.\n"
                                    : "; The package names no engine version: 2.0, the first engine of its kind.\n";
  text += "[MsiVersion]\n" + Line(Ascii(EngineVersionText(engine)), "Systems") + "\n";
  text += "; Each key set to 1 names a section with the lowest version of a system; 0 turns it off.\n";
  text += "[Systems]\n" + Line(section, "1") + "\n";

  text += "; " + windows.name + " or later.";
  if (windows.servicePack != 0) {
    text += " ServicePack " + std::to_string(windows.servicePack) + " is service pack " +
            std::to_string(windows.servicePack >> 8) + "." + std::to_string(windows.servicePack & 0xFF) +
            ":\n; the major number times 256 plus the minor number.";
  }
  text += "\n[" + section + "]\n";
  text += Line("MajorVer", std::to_string(windows.major));
  text += Line("MinorVer", std::to_string(windows.minor));
  text += Line("BuildNo", std::to_string(windows.build));
  if (windows.servicePack != 0) text += Line("ServicePack", std::to_string(windows.servicePack));
  return WindowsTextFile(text);
}

std::string StartingMessages(const PackageFacts& package, const MinimumWindows& minimum) {
  const auto english = std::ranges::find_if(kLanguageCodes, [](const LanguageCode& language) {
    return FormatHex4(language.languageId) == kFallbackLanguage;
  });
  return LanguageMessages(package, minimum, *english);
}

std::string LanguageMessages(const PackageFacts& package, const MinimumWindows& minimum, const LanguageCode& language) {
  const MessageTemplates texts = MessageTemplatesOf(language.code);
  const std::string windows = WindowsInWords(minimum, texts);
  const std::string unsupported =
      package.productName.empty() ? Fill(texts.unsupportedSystemNoName, {{"{windows}", windows}})
                                  : Fill(texts.unsupportedSystem, {{"{product}", ToUtf8(Labelled(package.productName))},
                                                                   {"{windows}", windows}});
  std::string lines =
      "[" + ToUtf8(FormatHex4(language.languageId)) + "]\n" + Line(ToUtf8(kUnsupportedSystemMessage), unsupported);
  for (size_t i = 0; i < kUsageMessages.size(); ++i) lines += Line(ToUtf8(kUsageMessages[i]), texts.usage[i]);
  return WindowsTextFile(lines);
}

Text LanguageFileName(const LanguageCode& language) { return FormatHex4(language.languageId) + kLanguageFileExtension; }

int WriteStartingDistribution(const InitOptions& options, const FakeModule& packageReader, std::string& report) {
  std::error_code error;
  const fs::path package = fs::absolute(PathOf(options.package), error).lexically_normal();
  const fs::path folder = fs::absolute(PathOf(options.folder), error).lexically_normal();
  if (!fs::is_regular_file(package, error)) {
    report = "setup-check: no such package: " + ToUtf8(options.package) + "\n";
    return kNothingWritten;
  }
  if (CutByTheReader(options.cmdLine)) {
    report =
        "setup-check: --cmdline cannot hold \"[\", \"#\" or \";\": setup.exe's settings reader cuts the line "
        "there; give such properties on setup.exe's command line instead\n";
    return kNothingWritten;
  }
  HostPlatform platform;
  platform.modules[u"msi.dll"] = packageReader;
  MsiLibrary msi(platform);
  msi.Bind();
  const PackageFacts facts = ReadPackageFacts(msi, TextOf(package));
  if (facts.result != 0 || facts.productCode.empty() || facts.productVersion.empty()) {
    report = "setup-check: cannot read ProductCode and ProductVersion of " + ToUtf8(options.package) + " (result " +
             ResultCodeText(facts.result) + ")\n";
    return kNothingWritten;
  }

  const bool packageInFolder = SameFile(package.parent_path(), folder);
  const bool copy = options.copyPackage && !packageInFolder;
  const Text location = copy || packageInFolder ? TextOf(package.filename()) : RelativeLocation(package, folder);
  if (location.empty()) {
    report =
        "setup-check: the package lies on another drive than the folder, and Location is always relative to "
        "setup.exe's folder: leave out --no-copy\n";
    return kNothingWritten;
  }
  if (CutByTheReader(location)) {
    report = "setup-check: the package's path cannot stand in Setup.ini: \"[\", \"#\" and \";\" cut its line\n";
    return kNothingWritten;
  }
  std::vector<Output> outputs = {{folder / "Setup.ini", StartingSettings(facts, location, options), {}},
                                 {folder / "0x0409.ini", StartingMessages(facts, options.minimum), {}}};
  for (const LanguageCode& language : options.languages) {
    if (FormatHex4(language.languageId) == kFallbackLanguage) continue;  // 0x0409.ini is always written
    outputs.push_back(
        {folder / PathOf(LanguageFileName(language)), LanguageMessages(facts, options.minimum, language), {}});
  }
  if (copy) outputs.push_back({folder / package.filename(), {}, package});
  if (options.setupExe) {
    const fs::path setupExe = fs::absolute(PathOf(*options.setupExe), error);
    if (!fs::is_regular_file(setupExe, error)) {
      report = "setup-check: no such file: " + ToUtf8(*options.setupExe) + "\n";
      return kNothingWritten;
    }
    if (!SameFile(setupExe, folder / "setup.exe")) outputs.push_back({folder / "setup.exe", {}, setupExe});
  }

  // Windows finds "SETUP.INI" when asked for "Setup.ini": a file differing in case is the same file there.
  std::string existing;
  for (Output& output : outputs) {
    const fs::path found = ResolveHostPath(TextOf(output.target));
    if (!fs::exists(found, error)) continue;
    output.target = found;
    existing += "  " + ToUtf8(TextOf(found)) + "\n";
  }
  if (!existing.empty() && !options.force) {
    report = "setup-check: these files exist; nothing was written (--force overwrites them):\n" + existing;
    return kNothingWritten;
  }

  fs::create_directories(folder, error);
  report = "setup-check: a starting distribution for " + ToUtf8(facts.productName) + " " +
           ToUtf8(facts.productVersion) + " " + ToUtf8(facts.productCode) + ":\n";
  for (const Output& output : outputs) {
    if (!output.source.empty()) {
      fs::copy_file(output.source, output.target, fs::copy_options::overwrite_existing, error);
    } else {
      std::ofstream file(output.target, std::ios::binary | std::ios::trunc);
      file.write(output.bytes.data(), static_cast<std::streamsize>(output.bytes.size()));
      if (!file) error = std::make_error_code(std::errc::io_error);
    }
    if (error) {
      report += "setup-check: cannot write " + ToUtf8(TextOf(output.target)) + ": " + error.message() + "\n";
      return kNothingWritten;
    }
    report += "  wrote " + ToUtf8(TextOf(output.target)) + "\n";
  }
  if (!packageInFolder && !copy) report += "  Location refers to " + ToUtf8(location) + "\n";
  if (!options.setupExe) report += "  setup.exe is not in it yet: copy it in, or give --setup-exe PATH\n";
  report += "Check it with: setup-check " + ToUtf8(options.folder) + "\n";
  return kWritten;
}

}  // namespace setup::check
