#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The cache key every Chromium disk cache backend stores its entries under,
// and the hashes taken of it.
namespace tessarine::urlcache::chromium_key {

// The plain URL at the end of a cache key: a leading "<digits>/<digits>/"
// (or an old "<digits>/") dropped, a "_dk_<site> <site> " partition taken
// off (the URL is what follows the last space), a blockfile sparse child's
// "Range_...:<hex>:<hex>" wrapping undone. Bytes that are not UTF-8 are read
// as Latin-1. Empty when what is left is not an absolute URL or holds
// control characters.
std::string urlFromKey(std::string_view key);

// Paul Hsieh's SuperFastHash of the key bytes, as Chromium computes it.
std::uint32_t superFastHash(std::string_view bytes);

// The number naming a simple-backend entry's files: the first 8 bytes of the
// SHA-1 of the key, little-endian.
std::uint64_t simpleEntryHash(std::string_view key);

// `hash` as the 16 lower-case hex digits of a simple entry file name.
std::string simpleEntryHashText(std::uint64_t hash);

}  // namespace tessarine::urlcache::chromium_key
