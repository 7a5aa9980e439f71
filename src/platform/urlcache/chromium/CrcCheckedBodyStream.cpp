#include "platform/urlcache/chromium/CrcCheckedBodyStream.h"

#include "platform/urlcache/Crc32.h"

namespace tessarine::urlcache {

CrcCheckedBodyStream::CrcCheckedBodyStream(std::unique_ptr<BodyStream> inner,
                                           std::uint32_t expected)
    : inner_(std::move(inner)), expected_(expected), crc_(0) {}

std::int64_t CrcCheckedBodyStream::read(char* buf, std::size_t n) {
  if (failed_) return -1;
  const std::int64_t got = inner_->read(buf, n);
  if (got > 0) {
    crc_ = crc32Of(buf, static_cast<std::size_t>(got), crc_);
  } else if (got == 0 && n > 0 && crc_ != expected_) {
    failed_ = true;
    return -1;
  }
  return got;
}

std::string CrcCheckedBodyStream::error() const {
  if (failed_) return "the cached body does not match its checksum";
  return inner_->error();
}

}  // namespace tessarine::urlcache
