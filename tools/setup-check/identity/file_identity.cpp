#include "tools/setup-check/identity/file_identity.h"

#include <algorithm>
#include <fstream>
#include <utility>
#include <vector>

#include "setup/base/numbers.h"
#include "setup/installer/engine_update.h"
#include "tools/setup-check/shared/host_paths.h"
#ifdef _WIN32
#include "setup/platform/win32/win32_platform.h"
#endif

namespace setup::check {
namespace {

// A file read where its formats point, a few bytes at a time: a package can be gigabytes, and
// only its header and directory matter here. Numbers are little-endian; one that lies past the
// end reads as 0, which every format below takes as "none".
class Bytes {
 public:
  explicit Bytes(std::istream& in) : in_(in) {
    in_.seekg(0, std::ios::end);
    const std::streamoff end = in_.tellg();
    size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
  }
  uint64_t Size() const { return size_; }
  bool Holds(uint64_t at, uint64_t size) const { return at <= size_ && size <= size_ - at; }
  uint32_t U8(uint64_t at) { return Number(at, 1); }
  uint32_t U16(uint64_t at) { return Number(at, 2); }
  uint32_t U32(uint64_t at) { return Number(at, 4); }

  // A NUL-ended UTF-16 text from at, read no further than end.
  Text TextAt(uint64_t at, uint64_t end) {
    Text text;
    for (; at + 2 <= end; at += 2) {
      const auto unit = static_cast<char16_t>(U16(at));
      if (unit == 0) break;
      text += unit;
    }
    return text;
  }

 private:
  uint32_t Number(uint64_t at, int width) {
    if (!Holds(at, width)) return 0;
    unsigned char raw[4] = {};
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(at));
    in_.read(reinterpret_cast<char*>(raw), width);
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | raw[i];
    return value;
  }

  std::istream& in_;
  uint64_t size_ = 0;
};

// Where a program file's parts lie: its data directories and its section table.
struct ProgramLayout {
  uint64_t directories = 0;
  uint32_t directoryCount = 0;
  uint64_t sections = 0;
  uint32_t sectionCount = 0;
};

// Where a program file's "PE\0\0" lies. A file that ends before its COFF header and the optional
// header's magic is no program: read past the end, they would pass for machine 0.
std::optional<uint64_t> HeaderOf(Bytes& file) {
  if (file.U16(0) != 0x5A4D) return std::nullopt;  // "MZ"
  const uint64_t pe = file.U32(0x3C);
  if (file.U32(pe) != 0x4550 || !file.Holds(pe, 26)) return std::nullopt;
  return pe;
}

constexpr uint32_t kPe32 = 0x10B, kPe32Plus = 0x20B;

std::optional<ProgramLayout> LayoutOf(Bytes& file) {
  const std::optional<uint64_t> pe = HeaderOf(file);
  if (!pe) return std::nullopt;
  const uint64_t optional = *pe + 24;
  const uint32_t magic = file.U16(optional);
  if (magic != kPe32 && magic != kPe32Plus) return std::nullopt;
  const uint64_t wide = magic == kPe32Plus ? 16 : 0;  // a 64-bit program's larger fields before them
  return ProgramLayout{optional + 96 + wide, file.U32(optional + 92 + wide), optional + file.U16(*pe + 20),
                       file.U16(*pe + 6)};
}

constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;  // its address is a file offset, not a virtual one

std::pair<uint64_t, uint32_t> DirectoryOf(Bytes& file, const ProgramLayout& layout, uint32_t index) {
  if (index >= layout.directoryCount) return {0, 0};
  const uint64_t entry = layout.directories + 8ULL * index;
  return {file.U32(entry), file.U32(entry + 4)};
}

std::optional<uint64_t> FileOffsetOf(Bytes& file, const ProgramLayout& layout, uint32_t address) {
  for (uint32_t i = 0; i < layout.sectionCount; ++i) {
    const uint64_t section = layout.sections + 40ULL * i;
    const uint32_t start = file.U32(section + 12);
    const uint32_t size = std::max(file.U32(section + 8), file.U32(section + 16));
    if (address >= start && address - start < size) return file.U32(section + 20) + uint64_t{address - start};
  }
  return std::nullopt;
}

constexpr uint32_t kVersionType = 16;  // RT_VERSION
constexpr uint32_t kSubdirectory = 0x80000000;

// The offset field of a resource directory's entry with this id, or of its first entry.
std::optional<uint32_t> ResourceEntry(Bytes& file, uint64_t root, uint32_t directory, std::optional<uint32_t> id) {
  const uint64_t table = root + directory;
  const uint32_t count = file.U16(table + 12) + file.U16(table + 14);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = table + 16 + 8ULL * i;
    if (!id || file.U32(entry) == *id) return file.U32(entry + 4);
  }
  return std::nullopt;
}

// The file offset and size of the first version resource: type, then first name, then first language.
std::optional<std::pair<uint64_t, uint32_t>> VersionData(Bytes& file, const ProgramLayout& layout) {
  const auto [address, size] = DirectoryOf(file, layout, kResourceDirectory);
  const std::optional<uint64_t> root = FileOffsetOf(file, layout, address);
  if (size == 0 || !root) return std::nullopt;
  std::optional<uint32_t> entry = ResourceEntry(file, *root, 0, kVersionType);
  for (int level = 0; level < 2 && entry && (*entry & kSubdirectory) != 0; ++level) {
    entry = ResourceEntry(file, *root, *entry & ~kSubdirectory, std::nullopt);
  }
  if (!entry || (*entry & kSubdirectory) != 0) return std::nullopt;
  const std::optional<uint64_t> data = FileOffsetOf(file, layout, file.U32(*root + *entry));
  if (!data) return std::nullopt;
  return std::pair{*data, file.U32(*root + *entry + 4)};
}

// A node of a version resource: a key, a value, children; each part starts on four bytes.
struct VersionNode {
  Text key;
  uint64_t value = 0, children = 0, end = 0;
};

class VersionTree {
 public:
  VersionTree(Bytes& file, uint64_t base) : file_(file), base_(base) {}

  std::optional<VersionNode> NodeAt(uint64_t at, uint64_t limit) {
    const uint32_t length = file_.U16(at);
    if (length < 6 || at + length > limit) return std::nullopt;
    VersionNode node;
    node.end = at + length;
    const uint32_t valueLength = file_.U16(at + 2);
    const uint32_t unitSize = file_.U16(at + 4) == 1 ? 2 : 1;  // a text's length counts characters
    node.key = file_.TextAt(at + 6, node.end);
    node.value = Aligned(at + 6 + 2 * (node.key.size() + 1));
    node.children = Aligned(node.value + uint64_t{unitSize} * valueLength);
    return node;
  }

  template <typename Visit>
  void ForEachChild(const VersionNode& parent, Visit visit) {
    for (uint64_t at = parent.children; at < parent.end;) {
      const std::optional<VersionNode> child = NodeAt(at, parent.end);
      if (!child) return;
      visit(*child);
      at = Aligned(child->end);
    }
  }

 private:
  uint64_t Aligned(uint64_t at) const { return base_ + ((at - base_ + 3) & ~uint64_t{3}); }

  Bytes& file_;
  uint64_t base_;
};

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;

std::optional<VersionResource> ReadVersionResource(Bytes& file, uint64_t at, uint32_t size) {
  VersionTree tree(file, at);
  const std::optional<VersionNode> root = tree.NodeAt(at, at + size);
  if (!root || root->key != u"VS_VERSION_INFO" || file.U32(root->value) != kFixedInfoSignature) return std::nullopt;
  VersionResource version;
  // The two halves of each number, the high one first, lie in little-endian order.
  const auto word = [&](uint64_t at) { return static_cast<uint16_t>(file.U16(root->value + at)); };
  version.fileVersion = FormatVersionWords({word(10), word(8), word(14), word(12)});
  const std::pair<const char16_t*, Text*> wanted[] = {{u"ProductName", &version.productName},
                                                       {u"ProductVersion", &version.productVersion},
                                                       {u"CompanyName", &version.companyName},
                                                       {u"FileDescription", &version.fileDescription}};
  bool tableRead = false;  // Explorer shows one language's strings: the first table's here
  tree.ForEachChild(*root, [&](const VersionNode& info) {
    if (info.key != u"StringFileInfo") return;
    tree.ForEachChild(info, [&](const VersionNode& table) {
      if (std::exchange(tableRead, true)) return;
      tree.ForEachChild(table, [&](const VersionNode& string) {
        for (const auto& [key, target] : wanted)
          if (string.key == key) *target = file.TextAt(string.value, string.end);
      });
    });
  });
  return version;
}

// The sectors of a compound file: numbered from the one after its header, chained by its FAT.
class CompoundFile {
 public:
  explicit CompoundFile(Bytes& file) : file_(file) {}

  bool Open() {
    if (file_.U32(0) != 0xE011CFD0 || file_.U32(4) != 0xE11AB1A1) return false;
    shift_ = file_.U16(0x1E);
    if (shift_ != 9 && shift_ != 12) return false;
    ReadFatSectors();
    return true;
  }

  // Whether an entry of this name and type lies at the root of the storage tree.
  bool RootHolds(TextView name, uint32_t type) {
    const std::vector<uint64_t> entries = DirectoryEntries();
    if (entries.empty()) return false;
    std::vector<bool> seen(entries.size());
    std::vector<uint32_t> pending{file_.U32(entries[0] + 0x4C)};  // the root's child: a tree of siblings
    while (!pending.empty()) {
      const uint32_t id = pending.back();
      pending.pop_back();
      if (id >= entries.size() || seen[id]) continue;
      seen[id] = true;
      const uint64_t entry = entries[id];
      if (file_.U8(entry + 0x42) == type && file_.TextAt(entry, entry + 64) == name) return true;
      pending.push_back(file_.U32(entry + 0x44));
      pending.push_back(file_.U32(entry + 0x48));
    }
    return false;
  }

 private:
  static constexpr uint32_t kLastSector = 0xFFFFFFF9;  // numbers above it mark chain ends and free sectors

  uint64_t SectorSize() const { return uint64_t{1} << shift_; }
  uint64_t OffsetOf(uint32_t sector) const { return (uint64_t{sector} + 1) << shift_; }
  uint64_t SectorsInFile() const { return file_.Size() >> shift_; }

  // The FAT's own sectors: the first 109 named in the header, the rest in a chain of sectors that
  // each end with the number of the next.
  void ReadFatSectors() {
    const uint64_t count = std::min<uint64_t>(file_.U32(0x2C), SectorsInFile());
    for (uint32_t i = 0; i < 109 && fat_.size() < count; ++i) fat_.push_back(file_.U32(0x4C + 4 * i));
    const uint64_t perSector = SectorSize() / 4 - 1;
    for (uint32_t sector = file_.U32(0x44); sector <= kLastSector && fat_.size() < count;) {
      for (uint64_t i = 0; i < perSector && fat_.size() < count; ++i) fat_.push_back(file_.U32(OffsetOf(sector) + 4 * i));
      sector = file_.U32(OffsetOf(sector) + 4 * perSector);
    }
  }

  uint32_t NextSector(uint32_t sector) {
    const uint64_t perSector = SectorSize() / 4;
    const uint64_t index = sector / perSector;
    return index < fat_.size() ? file_.U32(OffsetOf(fat_[index]) + 4 * (sector % perSector)) : kLastSector + 1;
  }

  // The offsets of the directory's 128-byte entries, no more than the file has room for.
  std::vector<uint64_t> DirectoryEntries() {
    std::vector<uint64_t> entries;
    const uint64_t perSector = SectorSize() / 128;
    for (uint32_t sector = file_.U32(0x30); sector <= kLastSector && file_.Holds(OffsetOf(sector), SectorSize()) &&
                                            entries.size() < SectorsInFile() * perSector;
         sector = NextSector(sector)) {
      for (uint64_t i = 0; i < perSector; ++i) entries.push_back(OffsetOf(sector) + 128 * i);
    }
    return entries;
  }

  Bytes& file_;
  uint32_t shift_ = 9;
  std::vector<uint32_t> fat_;
};

constexpr uint32_t kStreamEntry = 2;
constexpr uint32_t kSignedData = 2;  // WIN_CERT_TYPE_PKCS_SIGNED_DATA: an Authenticode signature

Signature Judged(bool present, [[maybe_unused]] const std::filesystem::path& path) {
  Signature signature{present, std::nullopt, {}};
#ifdef _WIN32
  signature.verification = VerifyAuthenticode(TextOf(path));
  signature.verdict = Win32Platform().SystemMessageText(*signature.verification);
#endif
  return signature;
}

// The machines Windows names, each with the optional header of its width; a header of the other
// width is no program that machine's Windows loads.
struct Machine {
  uint32_t machine, magic;
  const char16_t* name;
};
constexpr Machine kMachines[] = {{0x14C, kPe32, u"x86"}, {0x8664, kPe32Plus, u"x64"}, {0xAA64, kPe32Plus, u"arm64"}};

}  // namespace

std::optional<Text> ArchitectureOf(std::istream& in) {
  Bytes file(in);
  const std::optional<uint64_t> pe = HeaderOf(file);
  if (!pe) return std::nullopt;
  const uint32_t machine = file.U16(*pe + 4);
  const uint32_t magic = file.U16(*pe + 24);
  const Text unknown = u"unknown (machine " + FormatHex4(machine);
  for (const Machine& known : kMachines) {
    if (known.machine != machine) continue;
    return known.magic == magic ? Text(known.name) : unknown + u", optional header " + FormatHex4(magic) + u")";
  }
  return unknown + u")";
}

std::optional<VersionResource> VersionResourceOf(std::istream& in) {
  Bytes file(in);
  const std::optional<ProgramLayout> layout = LayoutOf(file);
  if (!layout) return std::nullopt;
  const auto data = VersionData(file, *layout);
  return data ? ReadVersionResource(file, data->first, data->second) : std::nullopt;
}

bool HoldsProgramSignature(std::istream& in) {
  Bytes file(in);
  const std::optional<ProgramLayout> layout = LayoutOf(file);
  if (!layout) return false;
  const auto [offset, size] = DirectoryOf(file, *layout, kSecurityDirectory);
  return size >= 8 && file.Holds(offset, size) && file.U16(offset + 6) == kSignedData;
}

bool HoldsPackageSignature(std::istream& in) {
  Bytes file(in);
  CompoundFile compound(file);
  return compound.Open() && compound.RootHolds(u"\x05" u"DigitalSignature", kStreamEntry);
}

ExecutableIdentity ReadExecutableIdentity(const std::filesystem::path& path) {
  ExecutableIdentity identity;
  std::ifstream file(path, std::ios::binary);
  identity.exists = file.is_open();
  if (!identity.exists) return identity;
  identity.architecture = ArchitectureOf(file);
  identity.version = VersionResourceOf(file);
  identity.signature = Judged(HoldsProgramSignature(file), path);
  return identity;
}

FileIdentities ReadFileIdentities(const std::filesystem::path& setupExe, const std::filesystem::path& package) {
  FileIdentities files;
  files.setupExe = ReadExecutableIdentity(setupExe);
  if (!package.empty()) files.packageSignature = ReadPackageSignature(package);
  return files;
}

Signature ReadPackageSignature(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return {};
  return Judged(HoldsPackageSignature(file), path);
}

}  // namespace setup::check
