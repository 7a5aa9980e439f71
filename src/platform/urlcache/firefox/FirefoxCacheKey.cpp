#include "platform/urlcache/firefox/FirefoxCacheKey.h"

#include "platform/urlcache/firefox/FirefoxCache2Format.h"

namespace tessarine::urlcache {

namespace ff = firefox_cache2;

std::optional<FirefoxCacheKey> FirefoxCacheKey::parse(std::string_view key) {
  // Keys are ASCII (non-ASCII URL characters are percent-escaped), so any
  // control or high byte means damage.
  for (const char ch : key) {
    const auto u = static_cast<unsigned char>(ch);
    if (u < 0x20 || u >= 0x7F) return std::nullopt;
  }
  FirefoxCacheKey out;
  std::size_t pos = 0;
  // Each pass consumes at least one byte, so the walk ends.
  while (pos < key.size()) {
    const char tag = key[pos++];
    if (tag == ff::kKeyUrlTag) {
      out.url = std::string(key.substr(pos));
      if (out.url.empty()) return std::nullopt;
      return out;
    }
    std::string value;
    bool closed = false;
    while (pos < key.size()) {
      const char ch = key[pos];
      if (ch == ff::kKeyTagEnd) {
        if (pos + 1 < key.size() && key[pos + 1] == ff::kKeyTagEnd) {
          value += ff::kKeyTagEnd;
          pos += 2;
          continue;
        }
        ++pos;
        closed = true;
        break;
      }
      value += ch;
      ++pos;
    }
    if (!closed) return std::nullopt;
    if (tag == 'O')
      out.originAttributes = value;
    else if (tag == ff::kKeyAnonymousTag)
      out.anonymous = true;
  }
  return std::nullopt;
}

}  // namespace tessarine::urlcache
