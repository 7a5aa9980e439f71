#pragma once

#include <cstdint>
#include <memory>

#include "platform/urlcache/WinInet.h"

namespace tessarine {

// One step's entry buffer: `size` bytes, aligned for the record, with its
// dwStructSize set to the buffer's own size as the walks do.
class EntryBuffer {
 public:
  explicit EntryBuffer(DWORD size)
      : size_(size < sizeof(INTERNET_CACHE_ENTRY_INFOA) ? DWORD(sizeof(INTERNET_CACHE_ENTRY_INFOA)) : size),
        words_(new std::uint64_t[(size_ + 7) / 8]()) {
    info()->dwStructSize = size_;
  }
  INTERNET_CACHE_ENTRY_INFOA* info() {
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(words_.get());
  }
  DWORD size() const { return size_; }

 private:
  DWORD size_;
  std::unique_ptr<std::uint64_t[]> words_;
};

}  // namespace tessarine
