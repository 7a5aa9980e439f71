#include "platform/urlcache/chromium/ChromiumSimpleSparseFile.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/FileBodyStream.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"
#include "platform/urlcache/chromium/ChromiumSimpleFormat.h"
#include "platform/urlcache/chromium/CrcCheckedBodyStream.h"

namespace tessarine::urlcache {
namespace {

using namespace chromium_simple;

constexpr std::uint64_t kMaxI64 =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

bool readAt(int fd, std::uint64_t offset, void* out, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(fd, static_cast<char*>(out) + done,
                                length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::optional<ChromiumSimpleSparseFile> parse(int fd, std::string_view key,
                                              std::string* why) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = "not a regular file";
    return std::nullopt;
  }
  const std::uint64_t F = static_cast<std::uint64_t>(st.st_size);
  unsigned char head[kHeaderSize];
  if (F < kHeaderSize || !readAt(fd, 0, head, sizeof head)) {
    *why = "too short for a sparse file";
    return std::nullopt;
  }
  const ByteReader h(head, sizeof head);
  if (h.u64(kHeaderMagicOffset) != kInitialMagic ||
      h.u32(kHeaderVersionOffset) != kSparseFileVersion) {
    *why = "bad magic or version";
    return std::nullopt;
  }
  if (h.u32(kHeaderKeyLengthOffset) != key.size() ||
      key.size() > F - kHeaderSize ||
      h.u32(kHeaderKeyHashOffset) != chromium_key::superFastHash(key)) {
    *why = "not the sparse file of this key";
    return std::nullopt;
  }
  std::string stored(key.size(), '\0');
  if (!readAt(fd, kHeaderSize, stored.data(), stored.size()) || stored != key) {
    *why = "not the sparse file of this key";
    return std::nullopt;
  }

  ChromiumSimpleSparseFile file;
  std::uint64_t pos = kHeaderSize + key.size();
  while (F - pos >= kSparseRangeHeaderSize &&
         file.ranges.size() < SparseRangeAssembler::kMaxPieces) {
    unsigned char rec[kSparseRangeHeaderSize];
    if (!readAt(fd, pos, rec, sizeof rec)) break;
    const ByteReader r(rec, sizeof rec);
    const std::uint64_t offset = *r.u64(kSparseRangeOffsetOffset);
    const std::uint64_t length = *r.u64(kSparseRangeLengthOffset);
    const std::uint64_t dataAt = pos + kSparseRangeHeaderSize;
    if (r.u64(kSparseRangeMagicOffset) != kSparseRangeMagic ||
        offset > kMaxI64 || length > kMaxI64 - offset || length > F - dataAt)
      break;
    if (length > 0)
      file.ranges.push_back({offset, length, dataAt,
                             *r.u32(kSparseRangeCrcOffset)});
    pos = dataAt + length;
  }
  return file;
}

}  // namespace

std::optional<ChromiumSimpleSparseFile> ChromiumSimpleSparseFile::read(
    const std::string& path, std::string_view key, std::string* why) {
  std::string scratch;
  if (!why) why = &scratch;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY |
                                          O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    *why = std::strerror(errno);
    return std::nullopt;
  }
  auto file = parse(fd, key, why);
  ::close(fd);
  if (file) file->path = path;
  return file;
}

void ChromiumSimpleSparseFile::addTo(SparseRangeAssembler* assembler) const {
  for (const Range& range : ranges) {
    assembler->add(
        range.offset, range.length,
        [path = path, range](std::uint64_t skip, std::uint64_t length,
                             std::uint32_t* error)
            -> std::unique_ptr<BodyStream> {
          std::unique_ptr<BodyStream> raw = FileBodyStream::openRange(
              path, range.dataOffset + skip, static_cast<std::int64_t>(length),
              error);
          if (raw && skip == 0 && length == range.length)
            raw = std::make_unique<CrcCheckedBodyStream>(std::move(raw),
                                                         range.crc);
          return raw;
        });
  }
}

}  // namespace tessarine::urlcache
