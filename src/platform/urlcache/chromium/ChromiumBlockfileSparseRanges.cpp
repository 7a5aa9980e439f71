#include "platform/urlcache/chromium/ChromiumBlockfileSparseRanges.h"

#include <cstdio>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/FileBodyStream.h"
#include "platform/urlcache/chromium/ChromiumBlockfileAddress.h"
#include "platform/urlcache/chromium/ChromiumBlockfileEntry.h"
#include "platform/urlcache/chromium/ChromiumBlockfileFormat.h"
#include "platform/urlcache/chromium/ChromiumBlockfileStore.h"

namespace tessarine::urlcache {
namespace {

using namespace chromium_blockfile;

// Stream 2 (sparse header and bitmap) of `record`, at most `limit` bytes.
std::optional<std::string> sparseStream(ChromiumBlockfileStore& store,
                                        const ChromiumBlockfileEntry& record,
                                        std::size_t limit) {
  const std::int32_t size = record.streamSizes[kSparseStream];
  const auto at = ChromiumBlockfileAddress::decode(record.streamAddresses[kSparseStream]);
  if (size < static_cast<std::int32_t>(kSparseHeaderSize) ||
      static_cast<std::size_t>(size) > limit || !at || at->type() == kTypeRankings)
    return std::nullopt;
  auto bytes = store.read(*at, static_cast<std::uint64_t>(size));
  if (!bytes || ByteReader(*bytes).u32(kSparseMagicOffset) != kIndexMagic)
    return std::nullopt;
  return bytes;
}

std::string hex(std::uint64_t v) {
  char text[20];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(v));
  return text;
}

}  // namespace

std::optional<ChromiumBlockfileSparseRanges> ChromiumBlockfileSparseRanges::read(
    ChromiumBlockfileStore& store, const ChromiumBlockfileEntry& parent,
    const Finder& find) {
  if (!parent.key) return std::nullopt;
  const auto header =
      sparseStream(store, parent, kSparseHeaderSize + kMaxSparseParentBitmap);
  if (!header) return std::nullopt;
  const ByteReader h(*header);
  const std::uint64_t signature = *h.u64(kSparseSignatureOffset);
  const std::string prefix =
      kSparseChildKeyPrefix + *parent.key + ":" + hex(signature) + ":";

  ChromiumBlockfileSparseRanges ranges;
  const std::size_t children = (header->size() - kSparseHeaderSize) * 8;
  for (std::size_t k = 0; k < children; ++k) {
    if (!((*h.u8(kSparseHeaderSize + k / 8) >> (k % 8)) & 1)) continue;
    const auto child = find(prefix + hex(k));
    if (!child || !(child->flags & kEntryFlagSparseChild)) continue;
    const auto control = sparseStream(store, *child,
                                      kSparseHeaderSize + kSparseChildBitmapSize);
    if (!control || control->size() != kSparseHeaderSize + kSparseChildBitmapSize)
      continue;
    const ByteReader c(*control);
    if (*c.u64(kSparseSignatureOffset) != signature) continue;
    const std::int32_t size1 = child->streamSizes[kBodyStream];
    const auto at1 = ChromiumBlockfileAddress::decode(child->streamAddresses[kBodyStream]);
    if (size1 <= 0 || !at1 || at1->type() == kTypeRankings) continue;
    const auto span = store.locate(*at1, static_cast<std::uint64_t>(size1));
    if (!span) continue;

    const std::uint64_t base = k * kSparseChildSpan;
    auto add = [&](std::uint64_t from, std::uint64_t length) {
      if (from >= span->length) return;
      length = std::min(length, span->length - from);
      if (!ranges.pieces.empty() && ranges.pieces.back().path == span->path &&
          ranges.pieces.back().offset + ranges.pieces.back().length == base + from) {
        ranges.pieces.back().length += length;  // the next block of a run
        return;
      }
      ranges.pieces.push_back({base + from, length, span->path, span->offset + from});
    };
    const std::size_t blocks = kSparseChildBitmapSize * 8;
    for (std::size_t b = 0; b < blocks; ++b)
      if ((*c.u8(kSparseHeaderSize + b / 8) >> (b % 8)) & 1)
        add(b * kSparseBlockSize, kSparseBlockSize);
    // A range that ends inside a block is kept through its last block.
    const auto lastBlock = static_cast<std::int32_t>(*c.u32(kSparseLastBlockOffset));
    const auto lastLength = static_cast<std::int32_t>(*c.u32(kSparseLastBlockLengthOffset));
    if (lastBlock >= 0 && static_cast<std::size_t>(lastBlock) < blocks &&
        lastLength > 0 && static_cast<std::uint64_t>(lastLength) < kSparseBlockSize &&
        !((*c.u8(kSparseHeaderSize + lastBlock / 8) >> (lastBlock % 8)) & 1))
      add(static_cast<std::uint64_t>(lastBlock) * kSparseBlockSize,
          static_cast<std::uint64_t>(lastLength));
  }
  return ranges;
}

void ChromiumBlockfileSparseRanges::addTo(SparseRangeAssembler* assembler) const {
  for (const Piece& p : pieces) {
    const std::string path = p.path;
    const std::uint64_t at = p.fileOffset;
    assembler->add(p.offset, p.length,
                   [path, at](std::uint64_t skip, std::uint64_t length,
                              std::uint32_t* error) -> std::unique_ptr<BodyStream> {
                     return FileBodyStream::openRange(
                         path, at + skip, static_cast<std::int64_t>(length), error);
                   });
  }
}

}  // namespace tessarine::urlcache
