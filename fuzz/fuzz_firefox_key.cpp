// libFuzzer target: a Firefox cache2 entry key taken apart.
#include <string_view>

#include "platform/urlcache/firefox/FirefoxCacheKey.h"

using tessarine::urlcache::FirefoxCacheKey;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto key = FirefoxCacheKey::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (key && key->url.empty()) __builtin_trap();  // parse() promises a URL
  return 0;
}
