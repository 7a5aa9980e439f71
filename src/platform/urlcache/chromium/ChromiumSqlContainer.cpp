#include "platform/urlcache/chromium/ChromiumSqlContainer.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/ContentDecoder.h"
#include "platform/urlcache/LocalCopyNamer.h"
#include "platform/urlcache/chromium/ChromiumEntryDetails.h"
#include "platform/urlcache/chromium/ChromiumSqlEntry.h"
#include "platform/urlcache/chromium/ChromiumSqlShard.h"

namespace tessarine::urlcache {
namespace {

namespace fs = std::filesystem;
using namespace chromium_details;

constexpr char kIndexFileName[] = "index";
constexpr std::string_view kIndexMagic = "SQLCache";
constexpr std::string_view kShardPrefix = "sqldb";
// More shards than this are not a cache Chromium wrote.
constexpr std::size_t kMaxShards = 4096;
constexpr std::size_t kMaxShardDigits = 4;
constexpr std::int64_t kFiletimeUnitsPerMicrosecond = 10;

// Whether `folder/index` is a regular file starting with "SQLCache".
bool hasSqlIndex(const std::string& folder) {
  const std::string path = folder + "/" + kIndexFileName;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY |
                                          O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  char head[kIndexMagic.size()];
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                  ::pread(fd, head, sizeof head, 0) ==
                      static_cast<ssize_t>(sizeof head);
  ::close(fd);
  return ok && std::string_view(head, sizeof head) == kIndexMagic;
}

// The N of "sqldbN", or -1 for any other name.
int shardNumber(std::string_view name) {
  if (name.substr(0, kShardPrefix.size()) != kShardPrefix) return -1;
  const std::string_view digits = name.substr(kShardPrefix.size());
  if (digits.empty() || digits.size() > kMaxShardDigits ||
      (digits.size() > 1 && digits[0] == '0'))
    return -1;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::uint64_t filetimeOf(std::int64_t micros) {
  if (micros <= 0 || micros > INT64_MAX / kFiletimeUnitsPerMicrosecond) return 0;
  return static_cast<std::uint64_t>(micros * kFiletimeUnitsPerMicrosecond);
}

std::uint64_t sizeOf(const ChromiumSqlEntry& e) {
  return e.wholeLength ? *e.wholeLength : e.bodyEnd;
}

}  // namespace

ChromiumSqlContainer::ChromiumSqlContainer(std::string folder)
    : folder_(std::move(folder)) {}

std::unique_ptr<ChromiumSqlContainer> ChromiumSqlContainer::open(
    const std::string& folder) {
  const std::string cacheDir = cacheFolderOf(folder);
  if (cacheDir.empty()) return nullptr;
  if (!hasSqlIndex(cacheDir)) return nullptr;
  return std::unique_ptr<ChromiumSqlContainer>(
      new ChromiumSqlContainer(cacheDir));
}

std::vector<std::string> ChromiumSqlContainer::shardPaths() const {
  std::vector<std::pair<int, std::string>> found;
  std::error_code ec;
  fs::directory_iterator it(folder_, ec);
  for (; !ec && it != fs::directory_iterator() && found.size() < kMaxShards;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const int n = shardNumber(name);
    std::error_code typeEc;
    if (n < 0 || it->symlink_status(typeEc).type() != fs::file_type::regular)
      continue;
    found.emplace_back(n, folder_ + "/" + name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& [n, path] : found) paths.push_back(std::move(path));
  return paths;
}

bool ChromiumSqlContainer::isShard(const std::string& path) const {
  const std::size_t slash = path.rfind('/');
  return slash != std::string::npos && path.substr(0, slash) == folder_ &&
         shardNumber(std::string_view(path).substr(slash + 1)) >= 0;
}

std::vector<ContainerEntry> ChromiumSqlContainer::enumerate() {
  std::vector<ContainerEntry> entries;
  LocalCopyNamer namer;
  for (const std::string& path : shardPaths()) {
    const auto shard = ChromiumSqlShard::openForReading(path, nullptr);
    if (!shard) continue;
    for (const ChromiumSqlEntry& row : shard->entries()) {
      ContainerEntry e;
      e.url = row.url;
      e.entryType = kNormalCacheEntry;
      e.size = sizeOf(row);
      describeResponse(row.info.headers, row.info.responseTime, &e);
      if (const std::uint64_t used = filetimeOf(row.lastUsed)) e.lastAccess = used;
      e.key = static_cast<std::uint64_t>(row.resId);
      e.keyPath = path;
      if (row.wholeLength) {
        const std::string name = localCopyName(
            namer, row.url, row.info.headers.value("Content-Type"),
            [&] {
              std::uint32_t error = 0;
              return bodyOf(shard, row, &error);
            });
        if (!name.empty()) {
          e.localPath = folder_ + "/" + name;
          e.fileExtension = extensionOf(name);
        }
      }
      entries.push_back(std::move(e));
    }
  }
  return entries;
}

std::optional<ChromiumSqlEntry> ChromiumSqlContainer::reread(
    const ContainerEntry& entry, std::shared_ptr<ChromiumSqlShard>* shard,
    std::uint32_t* error) const {
  if (!isShard(entry.keyPath) ||
      entry.key > static_cast<std::uint64_t>(INT64_MAX)) {
    *error = kErrorInvalidParameter;
    return std::nullopt;
  }
  if (entry.localPath.empty()) {
    *error = kErrorFileNotFound;
    return std::nullopt;
  }
  *shard = ChromiumSqlShard::openForReading(entry.keyPath, error);
  if (!*shard) return std::nullopt;
  auto row = (*shard)->entry(static_cast<std::int64_t>(entry.key));
  if (!row || !row->wholeLength || row->url != entry.url ||
      sizeOf(*row) != entry.size) {
    *error = kErrorFileNotFound;
    return std::nullopt;
  }
  return row;
}

bool ChromiumSqlContainer::retrieve(const ContainerEntry& entry,
                                    std::uint32_t* error) {
  std::uint32_t scratch = 0;
  if (!error) error = &scratch;
  std::shared_ptr<ChromiumSqlShard> shard;
  return reread(entry, &shard, error).has_value();
}

std::unique_ptr<BodyStream> ChromiumSqlContainer::openBody(
    const ContainerEntry& entry, std::uint32_t* error) {
  std::uint32_t scratch = 0;
  if (!error) error = &scratch;
  std::shared_ptr<ChromiumSqlShard> shard;
  const auto row = reread(entry, &shard, error);
  if (!row) return nullptr;
  return bodyOf(shard, *row, error);
}

std::unique_ptr<BodyStream> ChromiumSqlContainer::bodyOf(
    const std::shared_ptr<ChromiumSqlShard>& shard,
    const ChromiumSqlEntry& entry, std::uint32_t* error) {
  if (!entry.wholeLength) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  const SparseRangeAssembler pieces =
      entry.pieces([&shard](const ChromiumSqlEntry::Blob& blob) {
        return [shard, blob](std::uint64_t skip, std::uint64_t length,
                             std::uint32_t* err) {
          return ChromiumSqlShard::openBlob(shard, blob, skip, length, err);
        };
      });
  auto raw = pieces.open(*entry.wholeLength, error);
  if (!raw) return nullptr;
  auto decoded = makeDecodingStream(std::move(raw),
                                    entry.info.headers.value("Content-Encoding"));
  if (!decoded) *error = kErrorInvalidData;
  return decoded;
}

std::uint32_t ChromiumSqlContainer::remove(const ContainerEntry& entry) {
  if (!isShard(entry.keyPath) ||
      entry.key > static_cast<std::uint64_t>(INT64_MAX))
    return kErrorInvalidParameter;
  // The key the row must still hold: read it without writing anything.
  std::uint32_t error = 0;
  const auto shard = ChromiumSqlShard::openForReading(entry.keyPath, &error);
  if (!shard) return error;
  const auto row = shard->entry(static_cast<std::int64_t>(entry.key));
  if (!row || row->url != entry.url) return kErrorFileNotFound;
  return ChromiumSqlShard::removeEntry(entry.keyPath, row->resId, row->key);
}

}  // namespace tessarine::urlcache
