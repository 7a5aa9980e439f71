#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessarine::urlcache {

// A blockfile cache's `index` file: its header and its hash table of entry
// record addresses. Only versions 2.0, 2.1 and 3.0 are read.
struct ChromiumBlockfileIndex {
  std::uint32_t version = 0;
  std::int32_t entryCount = 0;  // as the header says; never trusted for loops
  std::int32_t sessionId = 0;   // the session that last opened the cache
  bool crashed = false;         // not closed cleanly
  // Table length, a power of two; an entry hashing to h is in bucket
  // h & (tableLength - 1).
  std::uint32_t tableLength = 0;
  // The stored bucket heads. A table cut short by a truncated file has only
  // the buckets that are wholly in the file.
  std::vector<std::uint32_t> buckets;

  // Reads `path`. nullopt when it is not a regular file, is shorter than
  // the header, has another magic or version, or a table length that is not
  // a power of two up to the largest we read.
  static std::optional<ChromiumBlockfileIndex> read(const std::string& path);

  // Whether the first bytes of `path` are the blockfile index magic.
  static bool hasMagic(const std::string& path);
};

}  // namespace tessarine::urlcache
