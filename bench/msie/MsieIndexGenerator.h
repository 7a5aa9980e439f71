#pragma once

#include <cstdint>
#include <string>

namespace tessarine::bench {

// Writes synthetic WinINet cache containers laid out as Wine writes them:
// a 0x4000-byte header with four cache directories and the allocation
// bitmap, HASH tables of 64 buckets x 7 slots chained through their
// next-table links, and one 2-block `URL ` record per entry, the file grown
// in 0x4000-byte steps. msiecfexport reads the result.
class MsieIndexGenerator {
 public:
  struct Options {
    int entries = 50000;
    bool withFiles = false;  // also write each entry's local file (35 bytes)
  };

  // Writes `folder`/index.dat (and the cache folders) for `options`;
  // false when a file cannot be written or the entries do not fit the
  // bitmap (at most about 60,000).
  static bool write(const std::string& folder, const Options& options);

  // The URL of entry `i`.
  static std::string url(int i);
  // The cache folder name of entry `i` (one of four, 8 characters).
  static std::string directory(int i);
  // The local file name of entry `i`.
  static std::string fileName(int i);
};

}  // namespace tessarine::bench
