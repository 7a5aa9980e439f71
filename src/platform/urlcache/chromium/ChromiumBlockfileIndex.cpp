#include "platform/urlcache/chromium/ChromiumBlockfileIndex.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/chromium/ChromiumBlockfileFormat.h"

namespace tessarine::urlcache {
namespace {

using namespace chromium_blockfile;

// Up to `limit` bytes from the start of the regular file `path`.
std::optional<std::string> readHead(const std::string& path,
                                    std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY |
                                          O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::string out;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    const auto size = static_cast<std::uint64_t>(st.st_size);
    out.resize(size < limit ? static_cast<std::size_t>(size) : limit);
    std::size_t done = 0;
    while (done < out.size()) {
      const ssize_t got = ::pread(fd, out.data() + done, out.size() - done,
                                  static_cast<off_t>(done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    out.resize(done);
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace

bool ChromiumBlockfileIndex::hasMagic(const std::string& path) {
  const auto head = readHead(path, 4);
  return head && ByteReader(*head).u32(kIndexMagicOffset) == kIndexMagic;
}

std::optional<ChromiumBlockfileIndex> ChromiumBlockfileIndex::read(
    const std::string& path) {
  const auto bytes = readHead(
      path, kIndexHeaderSize + std::size_t{kMaxTableLength} * kBucketSize);
  if (!bytes) return std::nullopt;
  const ByteReader r(*bytes);
  if (!r.has(0, kIndexHeaderSize) || r.u32(kIndexMagicOffset) != kIndexMagic)
    return std::nullopt;
  ChromiumBlockfileIndex index;
  index.version = *r.u32(kIndexVersionOffset);
  if (index.version != kIndexVersion2_0 && index.version != kIndexVersion2_1 &&
      index.version != kIndexVersion3_0)
    return std::nullopt;
  index.entryCount = static_cast<std::int32_t>(*r.u32(kIndexEntryCountOffset));
  index.sessionId = static_cast<std::int32_t>(*r.u32(kIndexSessionOffset));
  index.crashed = *r.u32(kIndexCrashOffset) != 0;
  std::uint32_t length = *r.u32(kIndexTableLengthOffset);
  if (length == 0) length = kDefaultTableLength;
  if (length > kMaxTableLength || (length & (length - 1)) != 0)
    return std::nullopt;
  index.tableLength = length;
  const std::size_t stored = (bytes->size() - kIndexHeaderSize) / kBucketSize;
  const std::size_t count = stored < length ? stored : length;
  index.buckets.resize(count);
  for (std::size_t i = 0; i < count; ++i)
    index.buckets[i] = *r.u32(kIndexHeaderSize + i * kBucketSize);
  return index;
}

}  // namespace tessarine::urlcache
