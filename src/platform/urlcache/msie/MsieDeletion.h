#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/urlcache/msie/MsieIndexFile.h"

namespace tessarine::urlcache::msie {

// The bytes a WinINet delete of one entry changes in index.dat: the slot's
// key becomes 1 (its offset stays), the record's bitmap bits are cleared,
// the allocated-block count and the bytes-in-use total (the sticky total
// for a sticky entry) are lowered, and so is the count of the entry's
// cache directory. The record's own bytes are left as they are.
class MsieDeletion {
 public:
  // A run of changed bytes: write `bytes` at file offset `offset`.
  struct Patch {
    std::uint32_t offset = 0;
    std::string bytes;
  };

  // The patches that delete `record` from `file`, only bytes that really
  // change, in file order; nullopt when the file is not consistent enough
  // to edit safely (size field, block counts, record outside the bitmap).
  // Totals are lowered down to 0, never below.
  static std::optional<std::vector<Patch>> plan(const MsieIndexFile& file,
                                                const MsieUrlRecord& record);
};

}  // namespace tessarine::urlcache::msie
