#pragma once
// What Windows shows of the folder's files before anyone runs them: the version resource that
// Explorer's details and the file's properties show, and the Authenticode signature whose
// publisher SmartScreen and Smart App Control name, or whose absence they warn about. Read from
// the files' bytes, so that both builds tell the same; Windows alone also judges the signature.

#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>

#include "setup/base/text.h"

namespace setup::check {

struct Signature {
  bool present = false;                  // the file carries one, whoever made it
  std::optional<uint32_t> verification;  // WinVerifyTrust's result; none off Windows
  Text verdict;                          // the system's words for that result
};

struct VersionResource {
  Text productName, productVersion, companyName, fileDescription;
  Text fileVersion;  // the fixed part's four numbers, which Explorer shows as the file version
};

struct ExecutableIdentity {
  bool exists = false;
  std::optional<Text> architecture;        // none when the file is no program (PE) file
  std::optional<VersionResource> version;  // none when the file holds no version resource
  Signature signature;
};

// The Windows a program (PE) file starts on, from its header's machine: "x86", "x64", "arm64", or
// "unknown (machine 0x01c4)"; a machine whose optional header is not of its width is unknown too.
std::optional<Text> ArchitectureOf(std::istream& in);
// A program file's version resource (its first string table) and signature.
std::optional<VersionResource> VersionResourceOf(std::istream& in);
bool HoldsProgramSignature(std::istream& in);
// A package's signature: the stream "\5DigitalSignature" at the root of its compound file.
bool HoldsPackageSignature(std::istream& in);

ExecutableIdentity ReadExecutableIdentity(const std::filesystem::path& path);
Signature ReadPackageSignature(const std::filesystem::path& path);

// What Windows shows of a distribution folder's files before anything runs.
struct FileIdentities {
  ExecutableIdentity setupExe;
  Signature packageSignature;  // none where the package path is empty
};
FileIdentities ReadFileIdentities(const std::filesystem::path& setupExe, const std::filesystem::path& package);

}  // namespace setup::check
