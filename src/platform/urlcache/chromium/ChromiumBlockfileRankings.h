#pragma once

#include <cstdint>
#include <optional>

namespace tessarine::urlcache {

class ChromiumBlockfileStore;

// A blockfile rankings node: when its entry was last used and modified, and
// whether the entry was left open.
struct ChromiumBlockfileRankings {
  std::int64_t lastUsed = 0;      // microseconds since 1601-01-01 UTC
  std::int64_t lastModified = 0;  // microseconds since 1601-01-01 UTC
  std::uint32_t contents = 0;     // address of the entry record
  std::int32_t dirty = 0;         // session that had it open; 0 when closed

  // The node at `address`. nullopt when the address is not a rankings
  // block, cannot be read, or its self hash (when not zero) disagrees.
  static std::optional<ChromiumBlockfileRankings> read(
      ChromiumBlockfileStore& store, std::uint32_t address);
};

}  // namespace tessarine::urlcache
