#pragma once

#include <cstddef>
#include <cstdint>

namespace tessarine::urlcache {

// The CRC-32 of gzip and zlib over `size` bytes at `data`, continuing from
// `crc` (0 to start), so crc32Of(b, crc32Of(a)) is the CRC of a then b.
// Computed with the CPU's carry-less multiply where it has one: bodies are
// checked at copying speed.
std::uint32_t crc32Of(const void* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace tessarine::urlcache
