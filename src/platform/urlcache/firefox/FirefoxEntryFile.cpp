#include "platform/urlcache/firefox/FirefoxEntryFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/firefox/FirefoxCache2Format.h"
#include "platform/urlcache/firefox/JenkinsHash.h"

namespace tessarine::urlcache {

namespace ff = firefox_cache2;

namespace {

std::optional<std::uint32_t> be32(const ByteReader& r, std::uint64_t off) {
  const auto b = r.bytes(off, 4);
  if (!b) return std::nullopt;
  const auto* p = reinterpret_cast<const unsigned char*>(b->data());
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 |
         std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

std::optional<std::uint16_t> be16(const ByteReader& r, std::uint64_t off) {
  const auto b = r.bytes(off, 2);
  if (!b) return std::nullopt;
  const auto* p = reinterpret_cast<const unsigned char*>(b->data());
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

// Reads exactly `n` bytes at `off`; false on error or a short file.
bool preadAll(int fd, char* buf, std::size_t n, std::uint64_t off) {
  while (n > 0) {
    const ssize_t got = ::pread(fd, buf, n, static_cast<off_t>(off));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buf += got;
    off += static_cast<std::uint64_t>(got);
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

// Bytes read at once from an entry file's end.
constexpr std::uint64_t kTailRead = 4u << 10;

bool isEntryName(std::string_view name) {
  if (name.size() != ff::kEntryNameLength) return false;
  for (const char c : name)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') ||
          (c >= 'a' && c <= 'f')))
      return false;
  return true;
}

bool fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Parses the element list [begin, end) of `meta` into `out`.
bool parseElements(const ByteReader& meta, std::uint64_t begin,
                   std::uint64_t end, FirefoxEntryFile& out,
                   std::string* why) {
  std::uint64_t pos = begin;
  while (pos < end) {
    if (out.elements.size() >= ff::kMaxElements)
      return fail(why, "too many metadata elements");
    const auto name = meta.cstring(pos, end - pos - 1);
    if (!name || name->empty())
      return fail(why, "an element name is empty or not terminated");
    pos += name->size() + 1;
    if (pos >= end) return fail(why, "an element has no value");
    const auto value = meta.cstring(pos, end - pos - 1);
    if (!value) return fail(why, "an element value is not terminated");
    pos += value->size() + 1;
    out.elements.emplace_back(std::string(*name), std::string(*value));
  }
  return true;
}

// The alt-data element "1;<offset>,<type>": the body ends at <offset>.
bool applyAltData(FirefoxEntryFile& out, std::string* why) {
  const auto alt = out.element(ff::kElemAltData);
  if (!alt) return true;
  const std::string_view prefix = ff::kAltDataVersionPrefix;
  if (alt->substr(0, prefix.size()) != prefix)
    return fail(why, "alt-data has an unknown version");
  const std::string_view rest = alt->substr(prefix.size());
  std::uint64_t offset = 0;
  const auto [ptr, ec] =
      std::from_chars(rest.data(), rest.data() + rest.size(), offset);
  if (ec != std::errc() || ptr == rest.data() ||
      (ptr != rest.data() + rest.size() && *ptr != ','))
    return fail(why, "alt-data offset is not a number");
  if (offset > out.dataSize)
    return fail(why, "alt-data offset lies past the data");
  out.bodySize = offset;
  return true;
}

}  // namespace

std::optional<std::string_view> FirefoxEntryFile::element(
    std::string_view name) const {
  for (const auto& [n, v] : elements)
    if (n == name) return std::string_view(v);
  return std::nullopt;
}

namespace {

// Opens `openPath` (relative to `dirFd`), whose file name is `name`, and
// reads it as read() does.
std::optional<FirefoxEntryFile> readEntry(
    int dirFd, std::string_view name, const std::string& openPath,
    struct stat* statOut, std::string* why) {
  if (!isEntryName(name)) {
    fail(why, "not an entry file name");
    return std::nullopt;
  }
  Fd fd(::openat(dirFd, openPath.c_str(),
                 O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    fail(why, "not a readable regular file");
    return std::nullopt;
  }
  if (statOut) *statOut = st;
  FirefoxEntryFile out;
  out.fileSize = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t f = out.fileSize;
  if (f < ff::kMinEntryFileSize) {
    fail(why, "file too short");
    return std::nullopt;
  }

  // One read of the file's end gives the trailer and, for most entries,
  // the whole metadata.
  const std::uint64_t lastAt = f - std::min<std::uint64_t>(f, kTailRead);
  std::string last(static_cast<std::size_t>(f - lastAt), '\0');
  if (!preadAll(fd.get(), last.data(), last.size(), lastAt)) {
    fail(why, "cannot read the trailer");
    return std::nullopt;
  }
  // Trailer: version word 4..255 then offset word, or a lone offset word.
  const ByteReader tr(last.data() + last.size() - ff::kTrailerSizeCurrent,
                      ff::kTrailerSizeCurrent);
  const std::uint32_t w1 = *be32(tr, 0);
  const std::uint32_t w2 = *be32(tr, 4);
  std::uint32_t trailerVersion = 0;
  std::uint64_t metaEnd = 0;
  if (w1 >= ff::kTrailerVersionMin && w1 <= ff::kTrailerVersionMax) {
    trailerVersion = w1;
    if (w2 & ff::kEncryptedFlag) {
      fail(why, "entry is encrypted");
      return std::nullopt;
    }
    out.dataSize = w2 & ff::kDataSizeMask;
    metaEnd = f - ff::kTrailerSizeCurrent;
  } else {
    out.dataSize = w2;
    metaEnd = f - ff::kTrailerSizeOld;
  }
  if (out.dataSize >= metaEnd) {
    fail(why, "metadata offset lies past the end");
    return std::nullopt;
  }
  const std::uint64_t metaLen = metaEnd - out.dataSize;
  const std::uint64_t chunks = (out.dataSize + ff::kChunkSize - 1) / ff::kChunkSize;
  const std::uint64_t hdrOff =
      ff::kMetaChunkHashesOffset + chunks * ff::kChunkHashSize;
  if (metaLen > ff::kMaxMetadataSize || metaLen < hdrOff + ff::kHeaderSizeV1 + 1) {
    fail(why, "metadata size does not fit the chunk count");
    return std::nullopt;
  }
  std::string metaBytes;
  if (out.dataSize >= lastAt) {
    metaBytes = last.substr(static_cast<std::size_t>(out.dataSize - lastAt),
                            static_cast<std::size_t>(metaLen));
  } else {
    metaBytes.resize(static_cast<std::size_t>(metaLen));
    if (!preadAll(fd.get(), metaBytes.data(), metaBytes.size(), out.dataSize)) {
      fail(why, "cannot read the metadata");
      return std::nullopt;
    }
  }
  const ByteReader meta(metaBytes);

  out.checksum = *be32(meta, ff::kMetaChecksumOffset);
  if (jenkinsHash(std::string_view(metaBytes).substr(ff::kMetaChunkHashesOffset)) !=
      out.checksum) {
    fail(why, "metadata checksum mismatch");
    return std::nullopt;
  }
  out.chunkHashes.reserve(static_cast<std::size_t>(chunks));
  for (std::uint64_t i = 0; i < chunks; ++i)
    out.chunkHashes.push_back(
        *be16(meta, ff::kMetaChunkHashesOffset + i * ff::kChunkHashSize));

  out.metadataVersion = *be32(meta, hdrOff + ff::kHdrVersion);
  const bool versionOk =
      trailerVersion != 0
          ? out.metadataVersion == trailerVersion &&
                out.metadataVersion <= ff::kMetadataVersionMax
          : out.metadataVersion >= ff::kMetadataVersionMin &&
                out.metadataVersion < ff::kTrailerVersionMin;
  if (!versionOk) {
    fail(why, "unknown metadata version");
    return std::nullopt;
  }
  const std::uint64_t hdrLen =
      out.metadataVersion == 1 ? ff::kHeaderSizeV1 : ff::kHeaderSize;
  if (!meta.has(hdrOff, hdrLen)) {
    fail(why, "header runs past the metadata");
    return std::nullopt;
  }
  out.fetchCount = *be32(meta, hdrOff + ff::kHdrFetchCount);
  out.lastFetched = *be32(meta, hdrOff + ff::kHdrLastFetched);
  out.lastModified = *be32(meta, hdrOff + ff::kHdrLastModified);
  out.frecency = *be32(meta, hdrOff + ff::kHdrFrecency);
  out.expiration = *be32(meta, hdrOff + ff::kHdrExpiration);
  const std::uint32_t keySize = *be32(meta, hdrOff + ff::kHdrKeySize);
  if (out.metadataVersion > 1) out.flags = *be32(meta, hdrOff + ff::kHdrFlags);

  const std::uint64_t keyOff = hdrOff + hdrLen;
  const auto keyBytes = meta.bytes(keyOff, keySize);
  const auto keyEnd = meta.u8(keyOff + keySize);
  if (!keyBytes || !keyEnd || *keyEnd != 0 ||
      std::memchr(keyBytes->data(), 0, keyBytes->size()) != nullptr) {
    fail(why, "key is not terminated where its size says");
    return std::nullopt;
  }
  out.key = std::string(*keyBytes);
  const QByteArray sha = QCryptographicHash::hash(
      QByteArray(out.key.data(), static_cast<qsizetype>(out.key.size())),
      QCryptographicHash::Sha1);
  if (QByteArray(name.data(), static_cast<qsizetype>(name.size())).toUpper() !=
      sha.toHex().toUpper()) {
    fail(why, "file name is not the SHA-1 of the key");
    return std::nullopt;
  }

  if (!parseElements(meta, keyOff + keySize + 1, metaLen, out, why))
    return std::nullopt;
  out.bodySize = out.dataSize;
  if (!applyAltData(out, why)) return std::nullopt;
  return out;
}

}  // namespace

std::optional<FirefoxEntryFile> FirefoxEntryFile::read(const std::string& path,
                                                       std::string* why) {
  const std::size_t slash = path.find_last_of('/');
  return readEntry(AT_FDCWD,
                   std::string_view(path).substr(
                       slash == std::string::npos ? 0 : slash + 1),
                   path, nullptr, why);
}

std::optional<FirefoxEntryFile> FirefoxEntryFile::readIn(int dirFd,
                                                         const std::string& name,
                                                         struct stat* st,
                                                         std::string* why) {
  return readEntry(dirFd, name, name, st, why);
}

}  // namespace tessarine::urlcache
