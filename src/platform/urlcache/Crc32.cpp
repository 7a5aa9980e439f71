#include "platform/urlcache/Crc32.h"

#include <isa-l/crc.h>

namespace tessarine::urlcache {

std::uint32_t crc32Of(const void* data, std::size_t size, std::uint32_t crc) {
  if (size == 0) return crc;
  return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), size);
}

}  // namespace tessarine::urlcache
