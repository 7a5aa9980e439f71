#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/urlcache/chromium/ChromiumBlockfileAddress.h"

namespace tessarine::urlcache {

// The block files (`data_N`) and external files (`f_XXXXXX`) of one
// blockfile cache folder, read through cache addresses. Files are opened
// read-only on first use and only their names built from address numbers
// are ever opened. A block file whose header is missing or wrong (bad
// magic or version, another file number or block size than the address
// implies) counts as absent: nothing in it can be read.
class ChromiumBlockfileStore {
 public:
  // Where a stream's bytes lie: `length` bytes at `offset` of `path`.
  struct Span {
    std::string path;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
  };

  // Reads never return more than this many bytes at once.
  static constexpr std::uint64_t kMaxRead = 64u << 20;

  explicit ChromiumBlockfileStore(std::string folder);
  ~ChromiumBlockfileStore();
  ChromiumBlockfileStore(const ChromiumBlockfileStore&) = delete;
  ChromiumBlockfileStore& operator=(const ChromiumBlockfileStore&) = delete;

  // The first `length` bytes stored at `address`; nullopt when they do not
  // fit the address's blocks, the file does not hold them all, or
  // `length` is over kMaxRead.
  std::optional<std::string> read(const ChromiumBlockfileAddress& address,
                                  std::uint64_t length);

  // Where the first `length` bytes at `address` are, after the same checks
  // as read() (but any length); nullopt when they cannot all be read.
  std::optional<Span> locate(const ChromiumBlockfileAddress& address,
                             std::uint64_t length);

 private:
  struct BlockFile {
    int fd = -1;  // -1: absent or not a valid block file
    std::uint64_t size = 0;
    std::uint32_t blockSize = 0;  // as its header says
  };
  // Block file `number` if it is valid and holds blocks of `blockSize`.
  const BlockFile* blockFile(std::uint32_t number, std::uint32_t blockSize);
  // Where `length` bytes at `address` are, as fd + offset (no read).
  bool find(const ChromiumBlockfileAddress& address, std::uint64_t length,
            int* fd, std::uint64_t* offset);

  std::string folder_;
  std::map<std::uint32_t, BlockFile> blockFiles_;
};

}  // namespace tessarine::urlcache
