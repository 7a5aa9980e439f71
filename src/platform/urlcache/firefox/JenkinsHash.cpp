#include "platform/urlcache/firefox/JenkinsHash.h"

namespace tessarine::urlcache {
namespace {

inline void mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
  a -= b; a -= c; a ^= c >> 13;
  b -= c; b -= a; b ^= a << 8;
  c -= a; c -= b; c ^= b >> 13;
  a -= b; a -= c; a ^= c >> 12;
  b -= c; b -= a; b ^= a << 16;
  c -= a; c -= b; c ^= b >> 5;
  a -= b; a -= c; a ^= c >> 3;
  b -= c; b -= a; b ^= a << 10;
  c -= a; c -= b; c ^= b >> 15;
}

inline std::uint32_t le32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
         std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

}  // namespace

std::uint32_t jenkinsHash(std::string_view data, std::uint32_t initial) {
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t left = data.size();
  std::uint32_t a = 0x9E3779B9u, b = 0x9E3779B9u, c = initial;
  while (left >= 12) {
    a += le32(p);
    b += le32(p + 4);
    c += le32(p + 8);
    mix(a, b, c);
    p += 12;
    left -= 12;
  }
  // The length wraps modulo 2^32, as the 32-bit original does.
  c += static_cast<std::uint32_t>(data.size());
  for (std::size_t i = 0; i < left; ++i) {
    const std::uint32_t v = p[i];
    if (i < 4)
      a += v << (8 * i);
    else if (i < 8)
      b += v << (8 * (i - 4));
    else
      c += v << (8 * (i - 7));
  }
  mix(a, b, c);
  return c;
}

}  // namespace tessarine::urlcache
