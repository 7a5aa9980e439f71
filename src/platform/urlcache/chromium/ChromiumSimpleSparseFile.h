#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/urlcache/SparseRangeAssembler.h"

namespace tessarine::urlcache {

// The checked layout of a simple-backend `_s` file: the byte ranges of a
// resource fetched by range requests, each with where its data lies in the
// file and the CRC-32 stored for it. The data itself is not read.
struct ChromiumSimpleSparseFile {
  struct Range {
    std::uint64_t offset = 0;      // within the resource
    std::uint64_t length = 0;
    std::uint64_t dataOffset = 0;  // within the `_s` file
    std::uint32_t crc = 0;
  };
  std::string path;
  std::vector<Range> ranges;  // in file order

  // Reads the `_s` file at `path`, which must belong to the entry keyed
  // `key`. nullopt (with *why set when given) unless its magic, version,
  // key and key hash agree. The ranges are read up to the first record
  // whose magic, offset or length is bad or whose data runs past the end of
  // the file: what follows is not trusted.
  static std::optional<ChromiumSimpleSparseFile> read(const std::string& path,
                                                      std::string_view key,
                                                      std::string* why);

  // Adds every range to `assembler` as a piece read from this file; a range
  // read whole is checked against its CRC-32 (a part of one cannot be).
  void addTo(SparseRangeAssembler* assembler) const;
};

}  // namespace tessarine::urlcache
