#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessarine::urlcache {

// A decoded blockfile cache address: either a run of 1-4 blocks in a block
// file `data_N`, or a whole external file `f_XXXXXX`.
class ChromiumBlockfileAddress {
 public:
  // The address `raw` stands for; nullopt when it is empty (bit 31 clear)
  // or names a file type that never shipped (5-7).
  static std::optional<ChromiumBlockfileAddress> decode(std::uint32_t raw);

  std::uint32_t raw() const { return raw_; }
  // File type (bits 28-30): 0 external, 1 rankings, 2-4 data blocks.
  std::uint32_t type() const { return type_; }
  bool isExternal() const { return type_ == 0; }
  // data_N's N for block addresses, f_XXXXXX's number for external ones.
  std::uint32_t fileNumber() const { return fileNumber_; }
  // First block and number of blocks (block addresses only; 0 otherwise).
  std::uint32_t startBlock() const { return startBlock_; }
  std::uint32_t blockCount() const { return blockCount_; }
  // Bytes per block of this type (0 for external files).
  std::uint32_t blockSize() const;
  // Bytes the blocks hold together (0 for external files).
  std::uint64_t capacity() const;
  // Where the first block starts in its block file (0 for external files).
  std::uint64_t fileOffset() const;
  // The file's name inside the cache folder, built from the numbers only:
  // "data_N" or "f_XXXXXX" (lower-case hex, at least six digits).
  std::string fileName() const;

 private:
  ChromiumBlockfileAddress() = default;

  std::uint32_t raw_ = 0;
  std::uint32_t type_ = 0;
  std::uint32_t fileNumber_ = 0;
  std::uint32_t startBlock_ = 0;
  std::uint32_t blockCount_ = 0;
};

}  // namespace tessarine::urlcache
