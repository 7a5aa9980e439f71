#include "platform/urlcache/msie/MsieDeletion.h"

#include <map>

#include "platform/urlcache/msie/MsieIndexFormat.h"

namespace tessarine::urlcache::msie {
namespace {

void putLittle(std::map<std::uint32_t, char>& out, std::uint32_t offset,
               std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i)
    out[offset + static_cast<std::uint32_t>(i)] =
        static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t lowered(std::uint64_t value, std::uint64_t by) {
  return value > by ? value - by : 0;
}

}  // namespace

std::optional<std::vector<MsieDeletion::Patch>> MsieDeletion::plan(
    const MsieIndexFile& file, const MsieUrlRecord& record) {
  const std::string& bytes = file.bytes();
  const ByteReader r(bytes);
  // Only a file whose header agrees with its length is edited.
  if (file.sizeField() != bytes.size() || bytes.size() < kHeaderSize)
    return std::nullopt;
  const std::uint32_t totalBlocks = *r.u32(kHeaderTotalBlocks);
  if (std::uint64_t{totalBlocks} * kBlockSize + kHeaderSize != bytes.size() ||
      totalBlocks > kBitmapCapacityBlocks)
    return std::nullopt;
  if (record.recordOffset < kHeaderSize ||
      (record.recordOffset - kHeaderSize) % kBlockSize != 0 ||
      record.blocks == 0)
    return std::nullopt;
  const std::uint64_t first = (record.recordOffset - kHeaderSize) / kBlockSize;
  if (first + record.blocks > totalBlocks) return std::nullopt;
  // The slot must be a live slot of a hash table and point at the record.
  if (r.u32(record.slotOffset + 4) != record.recordOffset ||
      (r.u32(record.slotOffset).value_or(kSlotKeyFreeBit) & kSlotKeyFreeBit))
    return std::nullopt;

  std::map<std::uint32_t, char> changed;
  putLittle(changed, record.slotOffset, kSlotKeyDeleted, 4);

  std::uint32_t cleared = 0;
  for (std::uint64_t b = first; b < first + record.blocks; ++b) {
    const std::uint32_t at = kHeaderBitmap + static_cast<std::uint32_t>(b / 8);
    const char mask = static_cast<char>(1u << (b % 8));
    auto it = changed.find(at);
    char cur = it != changed.end() ? it->second : bytes[at];
    if (cur & mask) ++cleared;
    changed[at] = static_cast<char>(cur & ~mask);
  }
  putLittle(changed, kHeaderAllocatedBlocks,
            lowered(*r.u32(kHeaderAllocatedBlocks), cleared), 4);

  const std::uint32_t usage = (record.entryType & kTypeSticky)
                                  ? kHeaderStickyBytesInUse
                                  : kHeaderBytesInUse;
  putLittle(changed, usage, lowered(*r.u64(usage), record.size), 8);

  const std::uint32_t dirCount = *r.u32(kHeaderDirectoryCount);
  if (record.directoryIndex < dirCount &&
      record.directoryIndex < kMaxDirectories) {
    const std::uint32_t at =
        kHeaderDirectoryTable + record.directoryIndex * kDirectoryEntrySize +
        kDirectoryFileCount;
    putLittle(changed, at, lowered(*r.u32(at), 1), 4);
  }

  // Keep the bytes that differ, joined into runs.
  std::vector<Patch> patches;
  for (const auto& [offset, value] : changed) {
    if (bytes[offset] == value) continue;
    if (!patches.empty() &&
        patches.back().offset + patches.back().bytes.size() == offset)
      patches.back().bytes.push_back(value);
    else
      patches.push_back({offset, std::string(1, value)});
  }
  return patches;
}

}  // namespace tessarine::urlcache::msie
