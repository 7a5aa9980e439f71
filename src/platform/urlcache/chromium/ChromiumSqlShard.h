#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/urlcache/BodyStream.h"
#include "platform/urlcache/chromium/ChromiumSqlEntry.h"

struct sqlite3;

namespace tessarine::urlcache {

// One SQLite database `sqldbN` of a Chromium SQL cache, opened for one
// job. Reading opens it read-only in SQLite's ordinary mode, taking only
// the shared locks a reader takes, so a browser writing it meanwhile is
// served as by any other reader and no byte of the shard, its journal or
// its folder changes. One exception: a WAL-mode database with no `-shm`
// file beside it is opened immutable, because SQLite would otherwise create
// `-shm` and `-wal`; no `-shm` means no process has it open, and a `-wal`
// left by a crash is then not read.
class ChromiumSqlShard {
 public:
  // Opens `path` for reading; nullptr with *error set (Win32 code) when it
  // is not a SQLite database we can read.
  static std::shared_ptr<ChromiumSqlShard> openForReading(
      const std::string& path, std::uint32_t* error);
  ~ChromiumSqlShard();
  ChromiumSqlShard(const ChromiumSqlShard&) = delete;
  ChromiumSqlShard& operator=(const ChromiumSqlShard&) = delete;

  // Every live entry, by res_id; rows that cannot be read are skipped.
  std::vector<ChromiumSqlEntry> entries();

  // The live entry of row `resId`, read afresh; nullopt when gone or bad.
  std::optional<ChromiumSqlEntry> entry(std::int64_t resId);

  // A stream of `length` bytes of blob row `blob`, `skip` bytes in, read
  // a little at a time so no lock is held between reads. It keeps `shard`
  // open. nullptr with *error set when the row is gone or changed size.
  static std::unique_ptr<BodyStream> openBlob(
      const std::shared_ptr<ChromiumSqlShard>& shard,
      const ChromiumSqlEntry::Blob& blob, std::uint64_t skip,
      std::uint64_t length, std::uint32_t* error);

  // Deletes the rows of entry `resId` (its blobs and its resources row, and
  // the entry from the meta counts) in one transaction, opening `path` for
  // writing only for that. The row must still hold `key`. Returns
  // kErrorSuccess, kErrorFileNotFound when the entry is gone,
  // kErrorSharingViolation when another process holds the database busy,
  // or another Win32 code; on failure nothing changed.
  static std::uint32_t removeEntry(const std::string& path, std::int64_t resId,
                                   const std::string& key);

  // How long a statement waits for another process's lock, in ms.
  static constexpr int kBusyTimeoutMs = 100;

 private:
  explicit ChromiumSqlShard(sqlite3* db) : db_(db) {}
  friend class ChromiumSqlBlobStream;

  sqlite3* db_;
};

}  // namespace tessarine::urlcache
