#pragma once
// The platform of the shipped program: each member is a call or two into Windows.

#include <optional>

#include "setup/platform/platform.h"

namespace setup {

// Bytes in a code page other than the system's; nullopt when the system has no such code page.
std::optional<Text> DecodeWithCodePage(uint32_t codePage, std::string_view bytes);
// WinVerifyTrust's verdict on a file's Authenticode signature (0: trusted), with no UI and no
// revocation check, which would go to the network.
uint32_t VerifyAuthenticode(const Text& path);

class Win32Platform : public Platform {
 public:
  Text CommandLine() override;
  std::optional<Text> ModuleFileName() override;
  uint16_t UserDefaultLanguage() override;

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

  void WriteStandardOutput(const Text& text) override;
  Text SystemMessageText(uint32_t code) override;
  bool PersonCanSeeBoxes() override;

  bool IsSystemAtLeast(const OsRequirement& requirement) override;

  ModuleHandle LoadModule(const Text& name) override;
  EntryPoint FindEntryPoint(ModuleHandle module, const char* name) override;
  void UnloadModule(ModuleHandle module) override;
  std::optional<ProductVersionWords> ReadProductVersion(const Text& path) override;

  bool RunAndWait(const Text& path) override;
  int32_t InitializeCom() override;

 protected:
  void PresentMessageBox(const Text& text, const Text& caption, uint32_t style) override;
};

}  // namespace setup
