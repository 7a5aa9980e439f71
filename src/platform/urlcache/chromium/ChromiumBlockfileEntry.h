#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tessarine::urlcache {

class ChromiumBlockfileStore;

// One entry record of a blockfile cache, read from its cache address, with
// its key resolved (inline, continued into the record's further blocks, or
// stored at its own address).
struct ChromiumBlockfileEntry {
  std::uint32_t address = 0;   // where the record is
  std::uint32_t hash = 0;      // SuperFastHash of the key
  std::uint32_t next = 0;      // next record in the same bucket
  std::uint32_t rankings = 0;  // the rankings node's address
  std::uint32_t state = 0;     // 0 normal, 1 evicted, 2 doomed
  std::uint32_t flags = 0;     // sparse parent / child bits
  std::int64_t creationTime = 0;  // microseconds since 1601-01-01 UTC
  std::array<std::int32_t, 4> streamSizes{};
  std::array<std::uint32_t, 4> streamAddresses{};
  // The key, when it could be read whole and hashes to `hash`.
  std::optional<std::string> key;

  // The record at `address`. nullopt when the address is not a run of
  // 256-byte blocks, the blocks cannot be read, or the record's self hash
  // (when not zero) disagrees: then its `next` cannot be trusted either.
  // A key that is missing, too long for where it is said to be, or does not
  // match `hash` leaves `key` empty, with the record still returned.
  static std::optional<ChromiumBlockfileEntry> read(
      ChromiumBlockfileStore& store, std::uint32_t address);
};

}  // namespace tessarine::urlcache
