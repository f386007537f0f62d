#pragma once
// The platform of the host build and of dry runs: real files, and everything else answered
// from what the owner set up and recorded for the owner to inspect. Unit tests use it on both
// builds, so it holds no Windows calls.

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "setup/platform/platform.h"

namespace setup {

// A stand-in for a loaded library: its exports by name.
struct FakeModule {
  std::map<std::string, EntryPoint> exports;
};

// A file the host stand-in "unpacks" from a cabinet: the host build has no cabinet reader.
struct CabinetEntry {
  Text name;
  std::string bytes;
};

struct CabinetExtraction {
  Text path;
  uint64_t offset = 0;
  uint64_t size = 0;
  Text folder;
};

struct MessageBoxCall {
  Text text;
  Text caption;
  uint32_t style = 0;
};

// The running system as VerifyVersionInfoW sees it: the same five fields a requirement names.
using SystemVersion = OsRequirement;
inline constexpr SystemVersion kWindows7Sp1{6, 1, 7601, 1, 0};

// VerifyVersionInfoW with VER_GREATER_EQUAL on all five fields: the build number is tested on
// its own, the other four together, most significant first.
bool SystemSatisfies(const SystemVersion& system, const OsRequirement& requirement);

// Windows path to a path the host's file functions accept ('\' becomes '/' off Windows), as
// bytes and as a file-system path (which on Windows keeps the name's UTF-16 whole).
std::string HostPathOf(const Text& windowsPath);
std::filesystem::path HostFsPath(const Text& windowsPath);

class HostPlatform : public Platform {
 public:
  Text commandLine;
  std::optional<Text> moduleFileName = Text(u"C:\\dist\\setup.exe");
  uint16_t userLanguage = 0x0409;
  SystemVersion system = kWindows7Sp1;
  std::map<Text, FakeModule> modules;                // by the name LoadModule is given
  std::map<Text, ProductVersionWords> productVersions;
  std::map<uint32_t, Text> systemMessages;
  int32_t comResult = 0;
  bool personCanSeeBoxes = true;                     // false: as in a service's window station
  // Decides what starting a program does; by default it starts when the file exists.
  std::function<bool(const Text&)> onRun;
  // The user's temporary folder, Windows style; empty: the host's own.
  Text tempDirectory;
  // What ExtractCabinet finds in the cabinet carried by each file; any other file holds none.
  // The entries are written as the Win32 platform would write them: each asked of the filter
  // first, none over an existing file, and the first refusal ends the extraction.
  std::map<Text, std::vector<CabinetEntry>> cabinets;

  std::vector<MessageBoxCall> messageBoxes;
  Text standardOutput;
  std::vector<Text> runRequests;
  std::vector<CabinetExtraction> extractions;
  int loads = 0;
  int unloads = 0;

  Text CommandLine() override { return commandLine; }
  std::optional<Text> ModuleFileName() override { return moduleFileName; }
  uint16_t UserDefaultLanguage() override { return userLanguage; }

  bool FileExists(const Text& path) override;
  FileContent ReadWholeFile(const Text& path) override;
  Text DecodeAnsi(std::string_view bytes) override;
  Text DecodeUtf8(std::string_view bytes) override;

  std::optional<uint64_t> FileSize(const Text& path) override;
  std::string ReadFileRange(const Text& path, uint64_t offset, size_t size) override;
  std::optional<Sha256Digest> HashFileRange(const Text& path, uint64_t offset, uint64_t size) override;
  bool ExtractCabinet(const Text& path, uint64_t offset, uint64_t size, const Text& folder,
                      CabinetEntryFilter& filter) override;

  std::optional<Text> CreatePrivateFolder(TextView prefix) override;
  bool RemoveFolder(const Text& folder) override;
  std::vector<Text> TemporaryFolders(TextView prefix) override;

  void WriteStandardOutput(const Text& text) override { standardOutput += text; }
  Text SystemMessageText(uint32_t code) override;
  bool PersonCanSeeBoxes() override { return personCanSeeBoxes; }

  bool IsSystemAtLeast(const OsRequirement& requirement) override {
    return SystemSatisfies(system, requirement);
  }

  ModuleHandle LoadModule(const Text& name) override;
  EntryPoint FindEntryPoint(ModuleHandle module, const char* name) override;
  void UnloadModule(ModuleHandle module) override;
  std::optional<ProductVersionWords> ReadProductVersion(const Text& path) override;

  bool RunAndWait(const Text& path) override;
  int32_t InitializeCom() override { return comResult; }

 protected:
  void PresentMessageBox(const Text& text, const Text& caption, uint32_t style) override {
    messageBoxes.push_back({text, caption, style});
  }

 private:
  Text TemporaryRoot() const;  // ends in '\'
};

}  // namespace setup
