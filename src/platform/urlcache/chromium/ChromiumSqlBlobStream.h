#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/urlcache/BodyStream.h"
#include "platform/urlcache/chromium/ChromiumSqlShard.h"

namespace tessarine::urlcache {

// Bytes [skip, skip + length) of one `blobs` row. Each read opens the row,
// reads and closes it again, so between reads the shard holds no lock of
// ours and the browser can write. A row that is gone or no longer `size`
// bytes long is a read error.
class ChromiumSqlBlobStream : public BodyStream {
 public:
  ChromiumSqlBlobStream(std::shared_ptr<ChromiumSqlShard> shard,
                        std::int64_t blobId, std::int64_t size,
                        std::uint64_t skip, std::uint64_t length);

  std::int64_t read(char* buf, std::size_t n) override;
  std::string error() const override { return error_; }

 private:
  std::shared_ptr<ChromiumSqlShard> shard_;
  std::int64_t blobId_;
  std::int64_t size_;
  std::uint64_t pos_;
  std::uint64_t remaining_;
  std::string error_;
};

}  // namespace tessarine::urlcache
