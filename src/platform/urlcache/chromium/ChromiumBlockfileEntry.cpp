#include "platform/urlcache/chromium/ChromiumBlockfileEntry.h"

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/chromium/ChromiumBlockfileAddress.h"
#include "platform/urlcache/chromium/ChromiumBlockfileFormat.h"
#include "platform/urlcache/chromium/ChromiumBlockfileStore.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"

namespace tessarine::urlcache {

using namespace chromium_blockfile;

std::optional<ChromiumBlockfileEntry> ChromiumBlockfileEntry::read(
    ChromiumBlockfileStore& store, std::uint32_t address) {
  const auto where = ChromiumBlockfileAddress::decode(address);
  if (!where || where->type() != kTypeBlock256) return std::nullopt;
  const auto bytes = store.read(*where, where->capacity());
  if (!bytes) return std::nullopt;
  const ByteReader r(*bytes);
  const std::uint32_t selfHash = *r.u32(kEntrySelfHashOffset);
  if (selfHash != 0 &&
      selfHash != chromium_key::superFastHash(
                      std::string_view(*bytes).substr(0, kEntrySelfHashOffset)))
    return std::nullopt;

  ChromiumBlockfileEntry e;
  e.address = address;
  e.hash = *r.u32(kEntryHashOffset);
  e.next = *r.u32(kEntryNextOffset);
  e.rankings = *r.u32(kEntryRankingsOffset);
  e.state = *r.u32(kEntryStateOffset);
  e.flags = *r.u32(kEntryFlagsOffset);
  e.creationTime = static_cast<std::int64_t>(*r.u64(kEntryCreationTimeOffset));
  for (std::size_t i = 0; i < kStreamCount; ++i) {
    e.streamSizes[i] =
        static_cast<std::int32_t>(*r.u32(kEntryStreamSizesOffset + 4 * i));
    e.streamAddresses[i] = *r.u32(kEntryStreamAddressesOffset + 4 * i);
  }

  const auto keyLength =
      static_cast<std::int32_t>(*r.u32(kEntryKeyLengthOffset));
  const std::uint32_t longKey = *r.u32(kEntryLongKeyOffset);
  if (keyLength <= 0 || static_cast<std::size_t>(keyLength) > kMaxKeyLength)
    return e;
  const auto length = static_cast<std::uint64_t>(keyLength);
  std::optional<std::string> key;
  if (longKey == 0) {
    // Inline: the key and its NUL within the record's own blocks.
    if (const auto inline_ = r.bytes(kEntryInlineKeyOffset, length + 1))
      key = std::string(inline_->substr(0, length));
  } else if (const auto at = ChromiumBlockfileAddress::decode(longKey);
             at && at->type() != kTypeRankings) {
    key = store.read(*at, length);
  }
  if (key && chromium_key::superFastHash(*key) == e.hash) e.key = std::move(key);
  return e;
}

}  // namespace tessarine::urlcache
