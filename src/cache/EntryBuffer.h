#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/urlcache/WinInet.h"

namespace tessarine {

// One step's entry buffer: `size` bytes, aligned for the record, with its
// dwStructSize set to the buffer's own size as the walks do. A walk keeps
// one and resets it for every step, so a step costs no allocation.
class EntryBuffer {
 public:
  explicit EntryBuffer(DWORD size) { reset(size); }

  // Makes the buffer `size` bytes (at least one record), keeping the
  // storage when it is large enough; the record is zeroed and its
  // dwStructSize set to the new size.
  void reset(DWORD size) {
    size_ = size < sizeof(INTERNET_CACHE_ENTRY_INFOA) ? DWORD(sizeof(INTERNET_CACHE_ENTRY_INFOA))
                                                      : size;
    const std::size_t words = (std::size_t{size_} + 7) / 8;
    if (words > capacityWords_) {
      words_.reset(new std::uint64_t[words]());
      capacityWords_ = words;
    }
    std::memset(words_.get(), 0, sizeof(INTERNET_CACHE_ENTRY_INFOA));
    info()->dwStructSize = size_;
  }
  INTERNET_CACHE_ENTRY_INFOA* info() {
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(words_.get());
  }
  DWORD size() const { return size_; }

 private:
  DWORD size_ = 0;
  std::size_t capacityWords_ = 0;
  std::unique_ptr<std::uint64_t[]> words_;
};

}  // namespace tessarine
