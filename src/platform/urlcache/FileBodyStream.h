#pragma once

#include <memory>
#include <string>

#include "platform/urlcache/BodyStream.h"

namespace tessarine::urlcache {

// A BodyStream over a byte range of a regular file. A file that ends before
// `offset + length` (for a whole-file read: before the size it had when it
// was opened) is an error, not a short body.
class FileBodyStream : public BodyStream {
 public:
  // Opens `path` (UTF-8) read-only; nullptr with *error set (Win32 code)
  // when it cannot be opened.
  static std::unique_ptr<FileBodyStream> open(const std::string& path,
                                              std::uint32_t* error);
  // The range [offset, offset + length) of the file; length -1: to the end
  // it had when opened.
  static std::unique_ptr<FileBodyStream> openRange(const std::string& path,
                                                   std::uint64_t offset,
                                                   std::int64_t length,
                                                   std::uint32_t* error);
  // Takes over `fd`, open read-only on the regular file `path`, for the
  // range [offset, offset + length); the stream closes it.
  static std::unique_ptr<FileBodyStream> adopt(int fd, std::string path,
                                               std::uint64_t offset,
                                               std::uint64_t length);
  ~FileBodyStream() override;

  std::int64_t read(char* buf, std::size_t n) override;
  std::string error() const override { return error_; }
  bool plainFileRange(int* fd, std::uint64_t* offset,
                      std::uint64_t* length) const override;

 private:
  FileBodyStream(int fd, std::string path, std::uint64_t offset,
                 std::int64_t length);

  int fd_;
  std::string path_;
  std::uint64_t pos_;
  std::int64_t remaining_;  // bytes still promised
  std::string error_;
};

}  // namespace tessarine::urlcache
