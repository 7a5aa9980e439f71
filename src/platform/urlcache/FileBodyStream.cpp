#include "platform/urlcache/FileBodyStream.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/Container.h"
#include "platform/urlcache/Win32Error.h"

namespace tessarine::urlcache {
std::unique_ptr<FileBodyStream> FileBodyStream::open(const std::string& path,
                                                     std::uint32_t* error) {
  return openRange(path, 0, -1, error);
}

std::unique_ptr<FileBodyStream> FileBodyStream::openRange(
    const std::string& path, std::uint64_t offset, std::int64_t length,
    std::uint32_t* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    if (error) *error = win32FromErrno(errno);
    return nullptr;
  }
  // Only regular files: a FIFO or device in a cache would block or never end.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (error) *error = kErrorAccessDenied;
    return nullptr;
  }
  // A whole-file read takes the size at opening as a promise, so a file
  // truncated while it is read fails instead of looking whole.
  if (length < 0) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    length = offset < size ? static_cast<std::int64_t>(size - offset) : 0;
  }
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  return std::unique_ptr<FileBodyStream>(
      new FileBodyStream(fd, path, offset, length));
}

std::unique_ptr<FileBodyStream> FileBodyStream::adopt(int fd, std::string path,
                                                      std::uint64_t offset,
                                                      std::uint64_t length) {
  return std::unique_ptr<FileBodyStream>(new FileBodyStream(
      fd, std::move(path), offset, static_cast<std::int64_t>(length)));
}

FileBodyStream::FileBodyStream(int fd, std::string path, std::uint64_t offset,
                               std::int64_t length)
    : fd_(fd), path_(std::move(path)), pos_(offset), remaining_(length) {}

FileBodyStream::~FileBodyStream() { ::close(fd_); }

bool FileBodyStream::plainFileRange(int* fd, std::uint64_t* offset,
                                    std::uint64_t* length) const {
  *fd = fd_;
  *offset = pos_;
  *length = static_cast<std::uint64_t>(remaining_);
  return true;
}

std::int64_t FileBodyStream::read(char* buf, std::size_t n) {
  if (remaining_ == 0) return 0;
  if (remaining_ > 0 && static_cast<std::uint64_t>(remaining_) < n)
    n = static_cast<std::size_t>(remaining_);
  ssize_t got;
  do {
    got = ::pread(fd_, buf, n, static_cast<off_t>(pos_));
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    error_ = path_ + ": " + std::strerror(errno);
    return -1;
  }
  if (got == 0 && remaining_ > 0) {
    error_ = path_ + ": the file ends before the data it should hold";
    return -1;
  }
  pos_ += static_cast<std::uint64_t>(got);
  if (remaining_ > 0) remaining_ -= got;
  return got;
}

}  // namespace tessarine::urlcache
