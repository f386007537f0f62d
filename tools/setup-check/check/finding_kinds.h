#pragma once
// Every kind of problem the check reports, in one table: its code, its severity, its message and
// its row of the README's "Problems reported". The messages and the README are read by people who
// never see the code that finds the problem, so both are written here, where one can be read
// against the other; a test holds the README to this table.

#include <string_view>

namespace setup::check {

enum class KindSeverity { kError, kWarning, kErrorOrWarning };

struct FindingKind {
  std::string_view code;  // stable, for scripts
  KindSeverity severity;
  std::string_view message;  // with holes "{name}" that the finding fills (Fill)
  std::string_view what;     // the README's row, in Markdown
};

// clang-format off
inline constexpr FindingKind kFindingKinds[] = {
    {"settings-missing", KindSeverity::kError,
     "Setup.ini is missing: setup.exe shows nothing, writes its usage text and ends with exit code 1",
     "no `Setup.ini`: `setup.exe` ends at once with exit code 1"},
    {"settings-unreadable", KindSeverity::kError,
     "Setup.ini cannot be read ({error}): setup.exe reads ANSI, UTF-8 with a byte-order mark and UTF-16LE, and "
     "refuses UTF-16BE; every run ends with message 1150",
     "`Setup.ini` cannot be opened, e.g. UTF-16BE"},
    {"package-name-missing", KindSeverity::kError,
     "[Startup] has no PackageName: setup.exe takes the folder itself for the package",
     "`[Startup]` has no `PackageName`"},
    {"package-section-missing", KindSeverity::kError,
     "PackageName names the section [{section}], which Setup.ini does not have: setup.exe takes the folder itself "
     "for the package",
     "the section `PackageName` names is missing"},
    {"location-missing", KindSeverity::kError,
     "[{section}] has no Location: setup.exe takes the folder itself for the package",
     "the package section has no `Location`"},
    {"package-file-missing", KindSeverity::kError,
     "the package \"{location}\" does not exist (looked for as {path})",
     "the package file does not exist"},
    {"package-unreadable", KindSeverity::kError,
     "the package cannot be read as a Windows Installer package (result {result}); setup.exe still hands it to the "
     "installer",
     "the package cannot be read as a Windows Installer package"},
    {"product-code-mismatch", KindSeverity::kError,
     "ProductCode \"{ours}\" differs from the package's own \"{package}\": setup.exe asks whether the wrong product "
     "is installed",
     "`ProductCode` of `Setup.ini` differs from the package's own"},
    {"product-version-mismatch", KindSeverity::kError,
     "ProductVersion \"{ours}\" differs from the package's own \"{package}\" (all four parts count, a missing part "
     "as -1): setup.exe never recognises the installed product or instance",
     "`ProductVersion` differs (all four parts count)"},
    {"instances-unread", KindSeverity::kWarning,
     "the package has no File row \"{file}\", so setup.exe stops reading it before the instance file: the instance "
     "\"{instance}\" of setup.ini is never used",
     "the package has no `File` row `ledgr.dll`, so the instance of `setup.ini` is never read"},
    {"msiversion-missing", KindSeverity::kError,
     "no key in [MsiVersion]: no operating system can pass, every run ends with message 1150",
     "`[MsiVersion]` has no key: every run ends with message 1150"},
    {"msiversion-several-keys", KindSeverity::kWarning,
     "[MsiVersion] has {count} keys; only the first in key order, \"{first}\", counts: \"{key}\" is ignored",
     "only the first key in key order counts; one line per ignored key"},
    {"os-list-missing", KindSeverity::kError,
     "[MsiVersion] names the list [{list}], which Setup.ini does not have: every run ends with message 1150",
     "the list section `[MsiVersion]` names is missing"},
    {"os-list-value", KindSeverity::kWarning,
     "{entry}={value}: only \"1\" enables an entry and \"0\" turns it off; [{entry}] is skipped",
     "a list value other than `1` and `0` (`0` turns an entry off on purpose): the entry is skipped"},
    {"os-entry-missing", KindSeverity::kWarning,
     "the list enables [{entry}], which Setup.ini does not have: it can never be satisfied",
     "an enabled entry's section is missing"},
    {"os-entry-key-missing", KindSeverity::kWarning,
     "[{entry}] has no {key}: {consequence}",
     "an entry lacks `MajorVer`, `MinorVer` or `BuildNo`: never satisfied"},
    {"os-entry-malformed", KindSeverity::kWarning,
     "[{entry}] {key}={value} is not a whole decimal number: {consequence}",
     "not a whole decimal number: never satisfied, or shifted parts for a dotted one"},
    {"os-none-satisfiable", KindSeverity::kError,
     "no entry of [{list}] can ever be satisfied: every run ends with message 1150",
     "no entry of the list can ever be satisfied"},
    {"service-pack-encoding", KindSeverity::kWarning,
     "[{entry}] ServicePack={value} asks for service pack 0.{number}; service pack {number}.0 is written {word}",
     "`ServicePack` 1 to 255: a service-pack number where the word is wanted (2 means 0.2, 2.0 is 512)"},
    {"bracket-in-line", KindSeverity::kWarning,
     "\"[\" inside a line starts a new section there, cutting the line short: {line}",
     "a `[` that is not first on its line starts a new section"},
    {"duplicate-section", KindSeverity::kWarning,
     "section [{section}] appears again (first at line {first}); setup.exe ignores this one",
     "a repeated section name: the later section is ignored"},
    {"utf8-without-mark", KindSeverity::kWarning,
     "UTF-8 text without a byte-order mark: setup.exe reads it in the ANSI code page, so letters beyond ASCII come "
     "out garbled; save it with a byte-order mark",
     "UTF-8 text without a byte-order mark is read in the ANSI code page"},
    {"ansi-code-page", KindSeverity::kWarning,
     "ANSI text with characters beyond ASCII: setup.exe reads them in the target machine's ANSI code page, so they "
     "read as here (code page {codePage}) only where that is the system's; save the file as UTF-8 with a "
     "byte-order mark",
     "ANSI text with bytes above 0x7F: it reads as in the report only where `--codepage` is the system's code page"},
    {"missing-equals", KindSeverity::kWarning,
     "\"{line}\" has no \"=\": setup.exe takes the whole line for a key with an empty value; did you mean {meant}?",
     "a line without `=`: the whole line becomes a key with an empty value; reported at its own line"},
    {"unknown-section", KindSeverity::kErrorOrWarning,
     "setup.exe never reads [{section}]{hint}",
     "a section setup.exe never reads; an error when it is a near miss (\"did you mean\") of a section the file "
     "lacks"},
    {"unknown-key", KindSeverity::kErrorOrWarning,
     "setup.exe never reads {key} in [{section}]{hint}",
     "a key setup.exe never reads in a section it reads; an error when it is a near miss of a key the section lacks "
     "(`Cmdline` for `CmdLine`)"},
    {"engine-installer-missing", KindSeverity::kWarning,
     "the installed engine (msi.dll {installed}) is older than {required}, the first key of [MsiVersion], but "
     "{installer} is not in the folder: setup.exe goes on with the old engine, and the installation may fail",
     "the engine is older than `[MsiVersion]` asks for (`--engine`), and `instmsi30.exe` is not in the folder"},
    {"instance-transform-missing", KindSeverity::kError,
     "setup.ini names the instance \"{instance}\", but the package holds no transform {transform}: where that "
     "instance is installed, setup.exe asks for TRANSFORMS=:{transform}; and the installation fails",
     "the instance named beside the package has no transform `Name.mst` among the package's sub-storages "
     "(`_Storages`)"},
    {"language-code-unknown", KindSeverity::kWarning,
     "/l {code}: {code} is not a language setup.exe knows; it keeps the user's language, {language}, for its "
     "messages and transform",
     "`/l` gives a code setup.exe does not know: it keeps the user's language, named in the message"},
    {"language-file-missing", KindSeverity::kWarning,
     "no language file for {wanted} and no fallback {file}: message boxes show empty texts",
     "neither the language's file nor `0x0409.ini` exists"},
    {"language-file-name", KindSeverity::kWarning,
     "setup.exe never looks for this name: it formats the language as {section}.ini",
     "a language file whose name `setup.exe` never forms (`0x419.ini`)"},
    {"language-file-unreadable", KindSeverity::kWarning,
     "cannot be read ({error})",
     "a language file that cannot be opened"},
    {"language-section-mismatch", KindSeverity::kWarning,
     "no section [{section}] ({found}): setup.exe finds none of its messages",
     "a language file without the section named like the file"},
    {"language-file-no-1150", KindSeverity::kWarning,
     "[{section}] has no message 1150, the text shown when the system is not supported",
     "a language file without message 1150"},
    {"language-transform-missing", KindSeverity::kWarning,
     "/l {code} names the transform {transform}, which is not in the folder: the installation runs untranslated",
     "`/l` with a known code names a transform (`1049.mst`) that is not in the folder"},
    {"command-line-rejected", KindSeverity::kWarning,
     "setup.exe rejects an argument and ignores it and everything after it: {error}",
     "`setup.exe` rejects an argument and ignores everything from it on"},
};

// What goes into a hole where the words depend on what was found.
namespace hint {
// unknown-section and unknown-key: an error names the near miss and what it costs; a warning
// guesses only when something is close, and the name it guesses is there already.
inline constexpr std::string_view kSectionNearMiss =
    ": did you mean [{meant}]? Names count letter for letter, case included, and Setup.ini has no [{meant}]";
inline constexpr std::string_view kSectionGuess = "; did you mean [{meant}]?";
inline constexpr std::string_view kKeyNearMiss =
    ": did you mean {meant}? Names count letter for letter, case included, so this value is lost";
inline constexpr std::string_view kKeyGuess = "; did you mean {meant}?";
// os-entry-key-missing and os-entry-malformed: whether the entry still asks for some system.
inline constexpr std::string_view kNeverMet = "this entry can never be satisfied";
inline constexpr std::string_view kAsksInstead = "the entry asks for {requirement} instead";
// language-section-mismatch: the sections the file has instead.
inline constexpr std::string_view kNoSections = "no sections";
inline constexpr std::string_view kFoundSections = "found {sections}";
}  // namespace hint
// clang-format on

constexpr std::string_view SeverityWords(KindSeverity severity) {
  switch (severity) {
    case KindSeverity::kError: return "error";
    case KindSeverity::kWarning: return "warning";
    case KindSeverity::kErrorOrWarning: return "error or warning";
  }
  return "";
}

// Called only where a kind is named wrongly: not being constexpr, each fails the compilation with
// its name in the message.
void NoKindOfFindingHasThisCode();
void ThisKindsSeverityIsTheTables();
void ThisKindsSeverityIsGivenWhereItIsFound();

// A kind named by its code where a finding is made: a code the table lacks does not compile.
consteval const FindingKind* KindNamed(std::string_view code) {
  for (const FindingKind& kind : kFindingKinds) {
    if (kind.code == code) return &kind;
  }
  NoKindOfFindingHasThisCode();
  return nullptr;
}

// A kind whose severity the table gives; naming one whose severity the call must choose does not
// compile, so that no unknown-key slips through as always a warning.
struct KindOfOneSeverity {
  consteval KindOfOneSeverity(const char* code) : kind(KindNamed(code)) {
    if (kind->severity == KindSeverity::kErrorOrWarning) ThisKindsSeverityIsGivenWhereItIsFound();
  }
  const FindingKind* kind;
};

// A kind whose severity the call chooses; naming one of a fixed severity does not compile.
struct KindOfEitherSeverity {
  consteval KindOfEitherSeverity(const char* code) : kind(KindNamed(code)) {
    if (kind->severity != KindSeverity::kErrorOrWarning) ThisKindsSeverityIsTheTables();
  }
  const FindingKind* kind;
};

}  // namespace setup::check
