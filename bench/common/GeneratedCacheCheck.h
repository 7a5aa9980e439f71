#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace tessarine::urlcache {
class Container;
}

namespace tessarine::bench {

// What a generator wrote for one URL.
struct ExpectedBody {
  std::uint32_t crc = 0;  // of the decoded body
  std::uint64_t size = 0;
  bool graphic = false;
  std::string path;  // the entry file
};

// Reads a generated cache back through its container, so a benchmark never
// times a cache the reader would not take.
class GeneratedCacheCheck {
 public:
  // True when the container lists `entryFiles` entries, each with a local
  // copy whose name's extension is a graphics one exactly when expected, and
  // whose decoded body has the expected size and CRC. *graphics counts the
  // graphics entries listed. Reads every body once.
  static bool verify(urlcache::Container& container,
                     const std::map<std::string, ExpectedBody>& expected,
                     std::size_t entryFiles, int* graphics);
};

}  // namespace tessarine::bench
