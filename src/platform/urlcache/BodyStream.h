#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessarine::urlcache {

// A readable stream over the bytes of one entry's local copy: a plain file
// for IE entries, the decoded body inside a browser's own files otherwise.
class BodyStream {
 public:
  virtual ~BodyStream() = default;

  // Reads up to `n` bytes into `buf`. Returns the number of bytes read,
  // 0 at the end of the body, or -1 on error (then error() says why).
  // A body that turns out shorter than promised or corrupt is an error,
  // never a silent end.
  virtual std::int64_t read(char* buf, std::size_t n) = 0;

  // Why the last read failed, in words a user can be shown.
  virtual std::string error() const = 0;

  // When the rest of the body is exactly a byte range of an open file (no
  // decoding, no checking on the way), that range, so a copy can be made in
  // the kernel; false otherwise. A copier that uses it reads no more.
  virtual bool plainFileRange(int* fd, std::uint64_t* offset,
                              std::uint64_t* length) const {
    (void)fd;
    (void)offset;
    (void)length;
    return false;
  }
};

}  // namespace tessarine::urlcache
