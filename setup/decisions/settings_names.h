#pragma once
// Every name the program reads from its settings, its language files and its folder, spelt once:
// the run reads by these names, and setup-check tells a misspelt name from a read one by them.

#include <array>

namespace setup {

inline constexpr char16_t kStartupSection[] = u"Startup";
inline constexpr char16_t kProductKey[] = u"Product";
inline constexpr char16_t kPackageNameKey[] = u"PackageName";
inline constexpr char16_t kProductVersionKey[] = u"ProductVersion";
inline constexpr char16_t kPackageCodeKey[] = u"PackageCode";
inline constexpr char16_t kLogResultsKey[] = u"LogResults";
inline constexpr char16_t kCmdLineKey[] = u"CmdLine";
inline constexpr char16_t kProductCodeKey[] = u"ProductCode";
inline constexpr std::array<const char16_t*, 7> kStartupKeys = {
    kProductKey, kPackageNameKey, kProductVersionKey, kPackageCodeKey, kLogResultsKey, kCmdLineKey, kProductCodeKey};
inline constexpr char16_t kLocationKey[] = u"Location";  // in the section PackageName names
inline constexpr std::array<const char16_t*, 1> kPackageKeys = {kLocationKey};

// The first key of [MsiVersion] names the lowest engine and, as its value, the list of systems,
// whose keys set to "1" name the entries.
inline constexpr char16_t kMsiVersionSection[] = u"MsiVersion";
inline constexpr char16_t kEnabledEntry[] = u"1";
inline constexpr char16_t kMajorVersionKey[] = u"MajorVer";
inline constexpr char16_t kMinorVersionKey[] = u"MinorVer";
inline constexpr char16_t kBuildNumberKey[] = u"BuildNo";
inline constexpr char16_t kServicePackKey[] = u"ServicePack";
inline constexpr std::array<const char16_t*, 4> kEntryKeys = {kMajorVersionKey, kMinorVersionKey, kBuildNumberKey,
                                                              kServicePackKey};

// A language file is named after its language ("0x0419.ini") and holds a section of that name.
inline constexpr char16_t kLanguageFileExtension[] = u".ini";
inline constexpr char16_t kFallbackLanguage[] = u"0x0409";
inline constexpr char16_t kUnsupportedSystemMessage[] = u"1150";
inline constexpr std::array<const char16_t*, 4> kUsageMessages = {u"1203", u"1204", u"1205", u"1206"};

// The "setup.ini" beside the package names the instances, read ignoring the case of A-Z.
inline constexpr char16_t kInstanceFileName[] = u"setup.ini";
inline constexpr char16_t kInstancesSection[] = u"Instances";
inline constexpr char16_t kInstanceCountKey[] = u"count";
inline constexpr std::array<const char16_t*, 1> kInstanceKeys = {kProductCodeKey};

// The name the program ships under. The run takes its own name from the system instead; this one
// is for whoever writes the folder or starts the program from it.
inline constexpr char16_t kProgramFileName[] = u"setup.exe";

inline constexpr char16_t kEngineInstallerName[] = u"instmsi30.exe";
inline constexpr char16_t kAdministrativeUpdateMarker[] = u"admupdt.cfg";
inline constexpr char16_t kTransformExtension[] = u".mst";

}  // namespace setup
