#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace tessarine::urlcache::msie {

// MS-DOS (FAT) date/time as index.dat stores it in 4 bytes: the low u16 the
// date (bits 0-4 day, 5-8 month, 9-15 year - 1980), the high u16 the time
// (bits 0-4 seconds / 2, 5-10 minutes, 11-15 hours). The value carries no
// time zone.
class FatTime {
 public:
  // The value read as UTC, as a FILETIME (100 ns since 1601-01-01 UTC);
  // 0 for 0 or a value that names no valid date and time.
  static std::uint64_t toFileTime(std::uint32_t fat);
  // The value as Unix seconds, read as UTC (`local` false) or as local time
  // of this machine's time zone; nullopt for 0 or an invalid value.
  static std::optional<std::time_t> toUnix(std::uint32_t fat, bool local);
};

}  // namespace tessarine::urlcache::msie
