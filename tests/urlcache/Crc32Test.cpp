#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include <zlib.h>

#include "platform/urlcache/Crc32.h"

namespace {

using tessarine::urlcache::crc32Of;

std::uint32_t zlibCrc(const std::string& s) {
  return static_cast<std::uint32_t>(
      crc32_z(0L, reinterpret_cast<const Bytef*>(s.data()), s.size()));
}

// The checksum Chromium stores is zlib's; ours must agree however a body
// is cut into reads, down to single bytes and across odd boundaries.
TEST(Crc32Test, AgreesWithZlibInOneGoAndInPieces) {
  std::mt19937 random(7);
  std::string big(1 << 20, '\0');
  for (char& c : big) c = static_cast<char>(random());
  for (const std::string& data :
       {std::string(), std::string("a"), std::string("123456789"), big.substr(0, 3000), big}) {
    SCOPED_TRACE(data.size());
    EXPECT_EQ(crc32Of(data.data(), data.size()), zlibCrc(data));
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{65537}}) {
      std::uint32_t crc = 0;
      for (std::size_t at = 0; at < data.size(); at += piece)
        crc = crc32Of(data.data() + at, std::min(piece, data.size() - at), crc);
      EXPECT_EQ(crc, zlibCrc(data)) << "pieces of " << piece;
    }
  }
  EXPECT_EQ(crc32Of("123456789", 9), 0xCBF43926u);
}

}  // namespace
