#include "platform/urlcache/chromium/ChromiumBlockfileRankings.h"

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/chromium/ChromiumBlockfileAddress.h"
#include "platform/urlcache/chromium/ChromiumBlockfileFormat.h"
#include "platform/urlcache/chromium/ChromiumBlockfileStore.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"

namespace tessarine::urlcache {

using namespace chromium_blockfile;

std::optional<ChromiumBlockfileRankings> ChromiumBlockfileRankings::read(
    ChromiumBlockfileStore& store, std::uint32_t address) {
  const auto where = ChromiumBlockfileAddress::decode(address);
  if (!where || where->type() != kTypeRankings || where->blockCount() != 1)
    return std::nullopt;
  const auto bytes = store.read(*where, kRankingsNodeSize);
  if (!bytes) return std::nullopt;
  const ByteReader r(*bytes);
  const std::uint32_t selfHash = *r.u32(kRankingsSelfHashOffset);
  if (selfHash != 0 &&
      selfHash != chromium_key::superFastHash(std::string_view(*bytes).substr(
                      0, kRankingsSelfHashOffset)))
    return std::nullopt;
  ChromiumBlockfileRankings node;
  node.lastUsed = static_cast<std::int64_t>(*r.u64(kRankingsLastUsedOffset));
  node.lastModified =
      static_cast<std::int64_t>(*r.u64(kRankingsLastModifiedOffset));
  node.contents = *r.u32(kRankingsContentsOffset);
  node.dirty = static_cast<std::int32_t>(*r.u32(kRankingsDirtyOffset));
  return node;
}

}  // namespace tessarine::urlcache
