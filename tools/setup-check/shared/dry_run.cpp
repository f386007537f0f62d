#include "tools/setup-check/shared/dry_run.h"

#include <cstdio>
#include <cstdlib>

#include "setup/decisions/os_requirements.h"
#include "tools/setup-check/shared/host_paths.h"
#include "tools/setup-check/shared/package_reader.h"

#ifdef _WIN32
#include "setup/platform/win32/win32_platform.h"
#endif

namespace setup::check {
namespace {

DryRun* current = nullptr;

constexpr MsiResult kUnknownProduct = 1605;   // ERROR_UNKNOWN_PRODUCT
constexpr MsiResult kUnknownProperty = 1608;  // ERROR_UNKNOWN_PROPERTY

MsiResult SETUP_WINAPI InstallProduct(const NativeChar* path, const NativeChar* commandLine) {
  DryRun& run = DryRun::Called(ExportName(MsiEntry::kInstallProduct));
  run.install = InstallCall{TextOf(path), TextOf(commandLine)};
  return kMsiSuccess;
}

int32_t SETUP_WINAPI SetInternalUI(int32_t level, void**) {
  DryRun& run = DryRun::Called(ExportName(MsiEntry::kSetInternalUI));
  const int32_t previous = run.uiLevel.value_or(1);  // INSTALLUILEVEL_DEFAULT
  run.uiLevel = level;
  return previous;
}

MsiResult SETUP_WINAPI EnableLog(uint32_t mode, const NativeChar* path, uint32_t attributes) {
  DryRun& run = DryRun::Called(ExportName(MsiEntry::kEnableLog));
  run.log = LogCall{mode, TextOf(path), attributes};
  return kMsiSuccess;
}

// Installed products are the ones the check was told about; their folder is not known, and
// setup.exe only asks for it to learn that the product is there.
MsiResult SETUP_WINAPI GetProductInfo(const NativeChar* product, const NativeChar* attribute, NativeChar* buffer,
                                      uint32_t* capacity) {
  DryRun& run = DryRun::Called(ExportName(MsiEntry::kGetProductInfo));
  const auto found = run.installedVersions.find(TextOf(product));
  if (found == run.installedVersions.end()) return kUnknownProduct;
  const Text name = TextOf(attribute);
  if (name == u"InstallLocation") return CopyOut(Text(), buffer, capacity);
  if (name == u"VersionString") return CopyOut(found->second, buffer, capacity);
  return kUnknownProperty;
}

FakeModule DryRunMsiDll(const FakeModule& packageReader) {
  const auto Export = [](auto function) { return reinterpret_cast<EntryPoint>(function); };
  FakeModule module;
  for (const char* name : kPackageReadingExports) {
    const auto found = packageReader.exports.find(name);
    if (found != packageReader.exports.end()) module.exports[name] = found->second;
  }
  module.exports[ExportName(MsiEntry::kInstallProduct)] = Export(&InstallProduct);
  module.exports[ExportName(MsiEntry::kSetInternalUI)] = Export(&SetInternalUI);
  module.exports[ExportName(MsiEntry::kEnableLog)] = Export(&EnableLog);
  module.exports[ExportName(MsiEntry::kGetProductInfo)] = Export(&GetProductInfo);
  return module;
}

}  // namespace

bool DryRunPlatform::Search(const Text& path) {
#ifdef _WIN32
  static Win32Platform windows;
  return windows.FileExists(path);
#else
  return SearchFile(path).has_value();
#endif
}

bool DryRunPlatform::FileExists(const Text& path) {
  const bool found = Search(path);
  probes.push_back({path, found});
  return found;
}

bool DryRunPlatform::Found(const Text& path) const {
  const std::optional<bool> probed = Probed(path);
  return probed ? *probed : Search(path);
}

FileContent DryRunPlatform::ReadWholeFile(const Text& path) {
  // The host platform maps '\' itself; handing it the resolved name keeps the case Windows ignores.
  FileContent content = HostPlatform::ReadWholeFile(TextOf(ResolveHostPath(path)));
  if (content.opened) bytesRead[path] = std::string(content.bytes.View());
  return content;
}

// 1252 keeps the host platform's own table, which maps the five bytes 1252 leaves undefined as
// Windows does; other code pages are decoded by the machine the check runs on.
Text DryRunPlatform::DecodeAnsi(std::string_view bytes) {
  if (codePage == kDefaultCodePage) return HostPlatform::DecodeAnsi(bytes);
  return DecodeCodePage(codePage, bytes).value_or(Text());
}

std::optional<ProductVersionWords> DryRunPlatform::ReadProductVersion(const Text& path) {
  const std::optional<ProductVersionWords> version = HostPlatform::ReadProductVersion(path);
  if (path == u"msi.dll") engineAsked = version;
  return version;
}

bool DryRunPlatform::IsSystemAtLeast(const OsRequirement& requirement) {
  if (takesFirstSystem && !IsNeverMet(requirement)) {
    system = requirement;
    takesFirstSystem = false;
  }
  return HostPlatform::IsSystemAtLeast(requirement);
}

std::optional<bool> DryRunPlatform::Probed(const Text& path) const {
  for (const FileProbe& probe : probes) {
    if (probe.path == path) return probe.found;
  }
  return std::nullopt;
}

DryRun::DryRun(const CheckOptions& options, const Text& modulePath, const FakeModule& packageReader) {
  if (current != nullptr) {
    (void)std::fputs("setup-check: two dry runs at once\n", stderr);
    std::abort();
  }
  current = this;
  platform.moduleFileName = modulePath;
  platform.userLanguage = options.language;
  platform.codePage = options.codePage;
  platform.system = options.system;
  platform.takesFirstSystem = options.takesFirstSystem;
  platform.productVersions[u"msi.dll"] = options.engine;
  platform.modules[u"msi.dll"] = DryRunMsiDll(packageReader);
  for (const InstalledProductOption& product : options.installed)
    installedVersions[product.productCode] = product.version;
  platform.commandLine = SetupCommandLine(modulePath, options);
}

DryRun::~DryRun() {
  msi.Release();
  current = nullptr;
}

DryRun& DryRun::Called(const char* exportName) {
  if (current == nullptr) {
    (void)std::fputs("setup-check: msi.dll called outside a dry run\n", stderr);
    std::abort();
  }
  current->calls.push_back(exportName);
  return *current;
}

}  // namespace setup::check
