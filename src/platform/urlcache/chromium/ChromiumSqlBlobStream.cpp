#include "platform/urlcache/chromium/ChromiumSqlBlobStream.h"

#include <algorithm>
#include <climits>

#include <sqlite3.h>

namespace tessarine::urlcache {

ChromiumSqlBlobStream::ChromiumSqlBlobStream(
    std::shared_ptr<ChromiumSqlShard> shard, std::int64_t blobId,
    std::int64_t size, std::uint64_t skip, std::uint64_t length)
    : shard_(std::move(shard)),
      blobId_(blobId),
      size_(size),
      pos_(skip),
      remaining_(length) {}

std::int64_t ChromiumSqlBlobStream::read(char* buf, std::size_t n) {
  if (!error_.empty()) return -1;
  if (remaining_ == 0 || n == 0) return 0;
  // sqlite3_blob_read takes int sizes and offsets.
  const std::uint64_t want =
      std::min<std::uint64_t>({n, remaining_, std::uint64_t{INT_MAX} / 2});
  if (pos_ + want > static_cast<std::uint64_t>(INT_MAX)) {
    error_ = "a cached body piece is too large for SQLite to read";
    return -1;
  }
  sqlite3_blob* blob = nullptr;
  int rc = sqlite3_blob_open(shard_->db_, "main", "blobs", "blob", blobId_, 0,
                             &blob);
  if (rc == SQLITE_OK && sqlite3_blob_bytes(blob) != size_) rc = SQLITE_ABORT;
  if (rc == SQLITE_OK)
    rc = sqlite3_blob_read(blob, buf, static_cast<int>(want),
                           static_cast<int>(pos_));
  sqlite3_blob_close(blob);
  if (rc != SQLITE_OK) {
    error_ = rc == SQLITE_ABORT
                 ? "the cached body changed while it was read"
                 : std::string("the cache database cannot be read: ") +
                       sqlite3_errstr(rc);
    return -1;
  }
  pos_ += want;
  remaining_ -= want;
  return static_cast<std::int64_t>(want);
}

}  // namespace tessarine::urlcache
