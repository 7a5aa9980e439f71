#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessarine::urlcache::msie {

// One `URL ` record reached through a live hash slot, as its bytes say.
// The string views point into the MsieIndexFile that produced it and are
// 8-bit text in the writer's ANSI code page; each lies inside the record.
struct MsieUrlRecord {
  std::uint32_t slotOffset = 0;    // file offset of the hash slot
  std::uint32_t recordOffset = 0;  // file offset of the record
  std::uint32_t blocks = 0;        // 128-byte blocks, inside the file
  std::string_view url;            // never empty
  std::optional<std::string_view> fileName;  // none: no local file
  std::string_view headers;
  std::string_view extension;
  std::uint8_t directoryIndex = 0;
  std::uint32_t entryType = 0;
  std::uint64_t size = 0;
  std::uint64_t lastModified = 0;  // FILETIME
  std::uint64_t lastAccess = 0;    // FILETIME
  std::uint32_t expireFat = 0;     // FAT date/time
  std::uint32_t lastSyncFat = 0;   // FAT date/time
  std::uint32_t hitRate = 0;
  std::uint32_t useCount = 0;
  std::uint32_t exemptDelta = 0;
  std::uint32_t fileTimeFat = 0;   // the local file's mtime when committed
};

}  // namespace tessarine::urlcache::msie
