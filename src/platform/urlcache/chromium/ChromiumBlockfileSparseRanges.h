#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/urlcache/SparseRangeAssembler.h"

namespace tessarine::urlcache {

class ChromiumBlockfileStore;
struct ChromiumBlockfileEntry;

// The byte ranges a blockfile sparse entry keeps in its child entries
// (`Range_<key>:<signature>:<n>`, 1 MiB of the resource each), as the
// children's block bitmaps mark them: whole KiB blocks plus the partial
// last block. The data itself is not read.
struct ChromiumBlockfileSparseRanges {
  struct Piece {
    std::uint64_t offset = 0;  // within the resource
    std::uint64_t length = 0;
    std::string path;          // the child's stream 1 file
    std::uint64_t fileOffset = 0;
  };
  std::vector<Piece> pieces;  // in resource order

  // Finds the live record stored under a key, nullopt when there is none.
  using Finder =
      std::function<std::optional<ChromiumBlockfileEntry>(const std::string&)>;

  // The ranges of the sparse parent `parent`. nullopt when its stream 2 is
  // not a sparse header (magic, size) or its key is unknown. Children that
  // are missing, not marked as children, have another signature or whose
  // streams cannot be read add no pieces.
  static std::optional<ChromiumBlockfileSparseRanges> read(
      ChromiumBlockfileStore& store, const ChromiumBlockfileEntry& parent,
      const Finder& find);

  // Adds every piece to `assembler`, read straight from its file.
  void addTo(SparseRangeAssembler* assembler) const;
};

}  // namespace tessarine::urlcache
