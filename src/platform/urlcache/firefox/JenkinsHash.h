#pragma once

#include <cstdint>
#include <string_view>

namespace tessarine::urlcache {

// Bob Jenkins' 1996 "lookup2" hash of `data` with initial value `initial`:
// the checksum Firefox's cache2 puts on its metadata, chunks and index.
std::uint32_t jenkinsHash(std::string_view data, std::uint32_t initial = 0);

}  // namespace tessarine::urlcache
