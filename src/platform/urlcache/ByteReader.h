#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace tessarine::urlcache {

// A bounds-checked little-endian view over bytes read from a cache file.
// Every read names an absolute offset and fails (nullopt) rather than
// reading past the end; offsets and lengths are checked for overflow.
class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const void* data, std::size_t size)
      : data_(static_cast<const unsigned char*>(data)), size_(size) {}
  explicit ByteReader(std::string_view bytes)
      : ByteReader(bytes.data(), bytes.size()) {}

  std::size_t size() const { return size_; }
  const unsigned char* data() const { return data_; }

  // True when [offset, offset + length) lies inside the bytes.
  bool has(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  std::optional<std::uint8_t> u8(std::uint64_t offset) const {
    if (!has(offset, 1)) return std::nullopt;
    return data_[offset];
  }
  std::optional<std::uint16_t> u16(std::uint64_t offset) const {
    return little<std::uint16_t>(offset);
  }
  std::optional<std::uint32_t> u32(std::uint64_t offset) const {
    return little<std::uint32_t>(offset);
  }
  std::optional<std::uint64_t> u64(std::uint64_t offset) const {
    return little<std::uint64_t>(offset);
  }

  // `length` bytes at `offset`, or nullopt when they are not all there.
  std::optional<std::string_view> bytes(std::uint64_t offset,
                                        std::uint64_t length) const {
    if (!has(offset, length)) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(data_ + offset),
                            static_cast<std::size_t>(length));
  }

  // The NUL-terminated string at `offset`, at most `maxLength` bytes
  // before the NUL; nullopt when no NUL comes within the bytes or limit.
  std::optional<std::string_view> cstring(std::uint64_t offset,
                                          std::size_t maxLength) const {
    if (offset >= size_) return std::nullopt;
    const std::size_t avail = size_ - static_cast<std::size_t>(offset);
    const std::size_t limit = avail < maxLength + 1 ? avail : maxLength + 1;
    const void* nul = std::memchr(data_ + offset, 0, limit);
    if (!nul) return std::nullopt;
    return std::string_view(
        reinterpret_cast<const char*>(data_ + offset),
        static_cast<std::size_t>(static_cast<const unsigned char*>(nul) -
                                 (data_ + offset)));
  }

 private:
  template <typename T>
  std::optional<T> little(std::uint64_t offset) const {
    if (!has(offset, sizeof(T))) return std::nullopt;
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
      v |= static_cast<T>(static_cast<T>(data_[offset + i]) << (8 * i));
    return v;
  }

  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace tessarine::urlcache
