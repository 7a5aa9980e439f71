#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessarine::urlcache {

// A cache2 entry key taken apart: "<tags>:<url>", where each tag is one
// character, an optional value (commas doubled) and a closing comma, e.g.
// "O^partitionKey=%28http%2C127.0.0.1%29,a,:http://host/x.gif".
struct FirefoxCacheKey {
  std::string url;                // everything after the ":" tag, as stored
  std::string originAttributes;   // value of the "O" tag ("^name=value..."), may be empty
  bool anonymous = false;         // the "a" tag: loaded without credentials

  // Parses `key`, walking the tags from the left (the URL itself may hold
  // ':' and ','). nullopt when the key has no ":" tag, a tag is not closed,
  // a byte is not printable ASCII, or the URL is empty.
  static std::optional<FirefoxCacheKey> parse(std::string_view key);
};

}  // namespace tessarine::urlcache
