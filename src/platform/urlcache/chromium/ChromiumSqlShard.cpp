#include "platform/urlcache/chromium/ChromiumSqlShard.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string_view>

#include <sqlite3.h>

#include "platform/urlcache/Container.h"
#include "platform/urlcache/chromium/ChromiumSqlBlobStream.h"

namespace tessarine::urlcache {
namespace {

// SQLite header: "SQLite format 3\0", then at 18 and 19 the write and read
// versions, 2 for a WAL-mode database.
constexpr char kSqliteMagic[] = "SQLite format 3";
constexpr std::size_t kSqliteHeaderRead = 20;
constexpr unsigned char kWalVersion = 2;
// A head is a pickle of headers and certificates, never megabytes.
constexpr int kMaxHeadBytes = 16 << 20;

// Finalizes a statement when it goes out of scope.
struct Statement {
  sqlite3_stmt* s = nullptr;
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) s = nullptr;
  }
  ~Statement() { sqlite3_finalize(s); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
};

// A file: URI for `path`, every byte outside the unreserved set escaped.
std::string uriOf(const std::string& path, const char* query) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (unsigned char c : path) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
        (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri + "?" + query;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Whether `path` is a regular file starting with a SQLite header; *wal
// tells whether that header puts the database in WAL mode.
bool isSqliteFile(const std::string& path, bool* wal) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY |
                                          O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  unsigned char head[kSqliteHeaderRead];
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                  ::pread(fd, head, sizeof head, 0) ==
                      static_cast<ssize_t>(sizeof head);
  ::close(fd);
  if (!ok || std::string_view(reinterpret_cast<const char*>(head),
                              sizeof kSqliteMagic) !=
                 std::string_view(kSqliteMagic, sizeof kSqliteMagic))
    return false;
  *wal = head[18] == kWalVersion || head[19] == kWalVersion;
  return true;
}

std::uint32_t win32FromSqlite(int rc) {
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return kErrorSharingViolation;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH: return kErrorAccessDenied;
    case SQLITE_CANTOPEN:
    case SQLITE_NOTFOUND: return kErrorFileNotFound;
    default: return kErrorInvalidData;
  }
}

std::string_view bytesOf(sqlite3_stmt* s, int column) {
  const void* p = sqlite3_column_blob(s, column);
  const int n = sqlite3_column_bytes(s, column);
  if (!p || n <= 0) return {};
  return {static_cast<const char*>(p), static_cast<std::size_t>(n)};
}

bool isInteger(sqlite3_stmt* s, int column) {
  return sqlite3_column_type(s, column) == SQLITE_INTEGER;
}

// The blob rows of one entry, or of all (resId < 0), by res_id.
std::map<std::int64_t, std::vector<ChromiumSqlEntry::Blob>> blobRows(
    sqlite3* db, std::int64_t resId) {
  std::map<std::int64_t, std::vector<ChromiumSqlEntry::Blob>> rows;
  Statement st(db, resId < 0
                       ? "SELECT blob_id, res_id, start, end, length(blob), "
                         "typeof(blob) FROM blobs"
                       : "SELECT blob_id, res_id, start, end, length(blob), "
                         "typeof(blob) FROM blobs WHERE res_id = ?1");
  if (!st.s) return rows;
  if (resId >= 0) sqlite3_bind_int64(st.s, 1, resId);
  while (sqlite3_step(st.s) == SQLITE_ROW) {
    if (!isInteger(st.s, 0) || !isInteger(st.s, 1) || !isInteger(st.s, 2) ||
        !isInteger(st.s, 3) ||
        std::string_view(reinterpret_cast<const char*>(
                             sqlite3_column_text(st.s, 5))) != "blob")
      continue;
    rows[sqlite3_column_int64(st.s, 1)].push_back(
        {sqlite3_column_int64(st.s, 0), sqlite3_column_int64(st.s, 2),
         sqlite3_column_int64(st.s, 3), sqlite3_column_int64(st.s, 4)});
  }
  return rows;
}

// The entries of the resources rows `st` steps through.
std::vector<ChromiumSqlEntry> readEntries(
    sqlite3_stmt* st,
    std::map<std::int64_t, std::vector<ChromiumSqlEntry::Blob>>& blobs) {
  std::vector<ChromiumSqlEntry> entries;
  while (sqlite3_step(st) == SQLITE_ROW) {
    if (!isInteger(st, 0) || !isInteger(st, 1) || !isInteger(st, 2) ||
        !isInteger(st, 3) || sqlite3_column_type(st, 5) != SQLITE_BLOB ||
        sqlite3_column_bytes(st, 5) > kMaxHeadBytes)
      continue;
    const auto type4 = sqlite3_column_type(st, 4);
    if (type4 != SQLITE_TEXT && type4 != SQLITE_BLOB) continue;
    const std::int64_t resId = sqlite3_column_int64(st, 0);
    auto it = blobs.find(resId);
    auto entry = ChromiumSqlEntry::fromRows(
        resId, sqlite3_column_int64(st, 1), sqlite3_column_int64(st, 2),
        sqlite3_column_int64(st, 3), bytesOf(st, 4), bytesOf(st, 5),
        it == blobs.end() ? std::vector<ChromiumSqlEntry::Blob>()
                          : std::move(it->second));
    if (entry) entries.push_back(std::move(*entry));
  }
  return entries;
}

constexpr char kEntryColumns[] =
    "SELECT res_id, last_used, body_end, doomed, cache_key, head "
    "FROM resources";

}  // namespace

std::shared_ptr<ChromiumSqlShard> ChromiumSqlShard::openForReading(
    const std::string& path, std::uint32_t* error) {
  std::uint32_t scratch = 0;
  if (!error) error = &scratch;
  bool wal = false;
  if (!isSqliteFile(path, &wal)) {
    *error = exists(path) ? kErrorInvalidData : kErrorFileNotFound;
    return nullptr;
  }
  const bool immutable = wal && !exists(path + "-shm");
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(
      uriOf(path, immutable ? "mode=ro&immutable=1" : "mode=ro").c_str(), &db,
      SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    *error = win32FromSqlite(rc);
    sqlite3_close_v2(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);
  return std::shared_ptr<ChromiumSqlShard>(new ChromiumSqlShard(db));
}

ChromiumSqlShard::~ChromiumSqlShard() { sqlite3_close_v2(db_); }

std::vector<ChromiumSqlEntry> ChromiumSqlShard::entries() {
  // One read transaction, so rows and blobs agree.
  sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
  auto blobs = blobRows(db_, -1);
  std::vector<ChromiumSqlEntry> result;
  {
    const std::string sql = std::string(kEntryColumns) + " ORDER BY res_id";
    Statement st(db_, sql.c_str());
    if (st.s) result = readEntries(st.s, blobs);
  }
  sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  return result;
}

std::optional<ChromiumSqlEntry> ChromiumSqlShard::entry(std::int64_t resId) {
  if (resId < 0) return std::nullopt;
  sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
  auto blobs = blobRows(db_, resId);
  std::vector<ChromiumSqlEntry> found;
  {
    const std::string sql = std::string(kEntryColumns) + " WHERE res_id = ?1";
    Statement st(db_, sql.c_str());
    if (st.s) {
      sqlite3_bind_int64(st.s, 1, resId);
      found = readEntries(st.s, blobs);
    }
  }
  sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (found.size() != 1) return std::nullopt;
  return std::move(found.front());
}

std::unique_ptr<BodyStream> ChromiumSqlShard::openBlob(
    const std::shared_ptr<ChromiumSqlShard>& shard,
    const ChromiumSqlEntry::Blob& blob, std::uint64_t skip,
    std::uint64_t length, std::uint32_t* error) {
  if (!shard || blob.size < 0 ||
      skip > static_cast<std::uint64_t>(blob.size) ||
      length > static_cast<std::uint64_t>(blob.size) - skip) {
    if (error) *error = kErrorInvalidData;
    return nullptr;
  }
  return std::make_unique<ChromiumSqlBlobStream>(shard, blob.blobId, blob.size,
                                                 skip, length);
}

std::uint32_t ChromiumSqlShard::removeEntry(const std::string& path,
                                            std::int64_t resId,
                                            const std::string& key) {
  bool wal = false;
  if (!isSqliteFile(path, &wal))
    return exists(path) ? kErrorInvalidData : kErrorFileNotFound;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(uriOf(path, "mode=rw").c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI |
                               SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return win32FromSqlite(rc);
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // Chromium keeps an empty journal file between transactions; so do we.
  if (!wal) sqlite3_exec(db, "PRAGMA journal_mode=TRUNCATE", nullptr, nullptr, nullptr);

  auto run = [&](const char* sql, bool bindRes) -> int {
    Statement st(db, sql);
    if (!st.s) return sqlite3_errcode(db);
    if (bindRes) sqlite3_bind_int64(st.s, 1, resId);
    const int r = sqlite3_step(st.s);
    return r == SQLITE_DONE || r == SQLITE_ROW ? SQLITE_OK : r;
  };
  std::uint32_t result = kErrorSuccess;
  rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return win32FromSqlite(rc);
  }
  // The row must still be the live entry enumerated.
  std::int64_t bytesUsage = 0;
  {
    Statement st(db,
                 "SELECT cache_key, bytes_usage FROM resources "
                 "WHERE res_id = ?1 AND doomed = 0");
    rc = st.s ? SQLITE_OK : sqlite3_errcode(db);
    if (st.s) {
      sqlite3_bind_int64(st.s, 1, resId);
      const int step = sqlite3_step(st.s);
      if (step == SQLITE_ROW) {
        if (bytesOf(st.s, 0) != key) result = kErrorFileNotFound;
        bytesUsage = sqlite3_column_int64(st.s, 1);
      } else if (step == SQLITE_DONE) {
        result = kErrorFileNotFound;
      } else {
        rc = step;
      }
    }
  }
  if (rc == SQLITE_OK && result == kErrorSuccess)
    rc = run("DELETE FROM blobs WHERE res_id = ?1", true);
  if (rc == SQLITE_OK && result == kErrorSuccess)
    rc = run("DELETE FROM resources WHERE res_id = ?1", true);
  if (rc == SQLITE_OK && result == kErrorSuccess) {
    // The browser's own counts; rows that are not plain numbers stay.
    rc = run("UPDATE meta SET value = CAST(value AS INTEGER) - 1 "
             "WHERE key = 'EntryCount' AND CAST(value AS INTEGER) > 0 "
             "AND CAST(CAST(value AS INTEGER) AS TEXT) = value",
             false);
    if (rc == SQLITE_OK && bytesUsage > 0) {
      Statement st(db,
                   "UPDATE meta SET value = max(CAST(value AS INTEGER) - ?1, 0) "
                   "WHERE key = 'TotalSize' "
                   "AND CAST(CAST(value AS INTEGER) AS TEXT) = value");
      rc = st.s ? SQLITE_OK : sqlite3_errcode(db);
      if (st.s) {
        sqlite3_bind_int64(st.s, 1, bytesUsage);
        const int step = sqlite3_step(st.s);
        if (step != SQLITE_DONE) rc = step;
      }
    }
  }
  if (rc == SQLITE_OK && result == kErrorSuccess)
    rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK || result != kErrorSuccess) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) result = win32FromSqlite(rc);
  }
  sqlite3_close_v2(db);
  return result;
}

}  // namespace tessarine::urlcache
