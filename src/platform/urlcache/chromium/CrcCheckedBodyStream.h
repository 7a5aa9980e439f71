#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/urlcache/BodyStream.h"

namespace tessarine::urlcache {

// Passes another stream's bytes through and, at its end, fails the read
// (instead of reporting the end) when their CRC-32 is not `expected`: a
// body that changed or rotted since its checksum was stored is an error.
class CrcCheckedBodyStream : public BodyStream {
 public:
  CrcCheckedBodyStream(std::unique_ptr<BodyStream> inner,
                       std::uint32_t expected);

  std::int64_t read(char* buf, std::size_t n) override;
  std::string error() const override;

 private:
  std::unique_ptr<BodyStream> inner_;
  std::uint32_t expected_;
  std::uint32_t crc_;
  bool failed_ = false;
};

}  // namespace tessarine::urlcache
