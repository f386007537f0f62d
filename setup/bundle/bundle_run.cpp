#include "setup/bundle/bundle_run.h"

#include "setup/bundle/bundle_payload.h"

namespace setup {
namespace {

constexpr size_t kCabinetHeaderRead = 65536;  // the header and every folder entry it can have

}  // namespace

UnpackedBundle::~UnpackedBundle() {
  if (!folder_.empty()) platform_.RemoveFolder(folder_);
}

BundleStart UnpackedBundle::Unpack(const Text& programPath) {
  const PayloadLocation payload = LocatePayload(platform_, programPath);
  if (payload.status != PayloadStatus::kFound) {
    return payload.status == PayloadStatus::kNone ? BundleStart::kNoPayload : BundleStart::kCorrupt;
  }
  const BundleTrailer& trailer = payload.trailer;
  const std::optional<uint64_t> capacity = CabinetCapacity(platform_.ReadFileRange(
      programPath, trailer.payloadOffset, static_cast<size_t>(std::min<uint64_t>(trailer.payloadSize, kCabinetHeaderRead))));
  if (!capacity) return BundleStart::kCorrupt;
  // What earlier runs could not remove goes first; a folder still in use stays.
  for (const Text& earlier : platform_.TemporaryFolders(kBundleFolderPrefix)) platform_.RemoveFolder(earlier);
  const std::optional<Text> folder = platform_.CreatePrivateFolder(kBundleFolderPrefix);
  if (!folder) return BundleStart::kCannotUnpack;
  folder_ = *folder;
  PayloadEntryFilter filter(*capacity);
  if (platform_.ExtractCabinet(programPath, trailer.payloadOffset, trailer.payloadSize, folder_, filter)) {
    return BundleStart::kUnpacked;
  }
  platform_.RemoveFolder(folder_);
  folder_.clear();
  return BundleStart::kCorrupt;
}

}  // namespace setup
