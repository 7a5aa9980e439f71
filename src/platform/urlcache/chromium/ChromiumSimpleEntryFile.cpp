#include "platform/urlcache/chromium/ChromiumSimpleEntryFile.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include <QByteArray>
#include <QCryptographicHash>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"
#include "platform/urlcache/chromium/ChromiumSimpleFormat.h"

namespace tessarine::urlcache {
namespace {

using namespace chromium_simple;

// Parses "<16 lower-case hex>_0" into its number.
std::optional<std::uint64_t> hashFromFileName(std::string_view name) {
  if (name.size() != kEntryHashDigits + 2 ||
      name.substr(kEntryHashDigits) != kStream01Suffix)
    return std::nullopt;
  std::uint64_t h = 0;
  for (std::size_t i = 0; i < kEntryHashDigits; ++i) {
    const char c = name[i];
    std::uint64_t d;
    if (c >= '0' && c <= '9') d = static_cast<std::uint64_t>(c - '0');
    else if (c >= 'a' && c <= 'f') d = static_cast<std::uint64_t>(c - 'a' + 10);
    else return std::nullopt;
    h = (h << 4) | d;
  }
  return h;
}

bool readAt(int fd, std::uint64_t offset, std::size_t length,
            std::string* out) {
  out->resize(length);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(fd, out->data() + done, length - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::uint32_t crcOf(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0L, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

QByteArray sha256Of(std::string_view bytes) {
  return QCryptographicHash::hash(
      QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())),
      QCryptographicHash::Sha256);
}

// The checks proper, on an open file; *why says which one failed.
std::optional<ChromiumSimpleEntryFile> parse(int fd, std::uint64_t entryHash,
                                             std::string* why) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = "not a regular file";
    return std::nullopt;
  }
  ChromiumSimpleEntryFile e;
  e.entryHash = entryHash;
  e.fileSize = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t F = e.fileSize;
  if (F < kHeaderSize + 2 * kEofRecordSize) {
    *why = "too short for an entry file";
    return std::nullopt;
  }

  std::string head;
  if (!readAt(fd, 0, kHeaderSize, &head)) {
    *why = "unreadable header";
    return std::nullopt;
  }
  const ByteReader h(head);
  if (h.u64(kHeaderMagicOffset) != kInitialMagic) {
    *why = "bad initial magic";
    return std::nullopt;
  }
  if (h.u32(kHeaderVersionOffset) != kEntryVersion) {
    *why = "unknown entry file version";
    return std::nullopt;
  }
  const std::uint32_t keyLength = *h.u32(kHeaderKeyLengthOffset);
  if (keyLength == 0 || keyLength > kMaxKeyLength ||
      keyLength > F - kHeaderSize - 2 * kEofRecordSize) {
    *why = "key length beyond the file";
    return std::nullopt;
  }
  if (!readAt(fd, kHeaderSize, keyLength, &e.key)) {
    *why = "unreadable key";
    return std::nullopt;
  }
  if (chromium_key::superFastHash(e.key) != *h.u32(kHeaderKeyHashOffset)) {
    *why = "key hash mismatch";
    return std::nullopt;
  }
  if (chromium_key::simpleEntryHash(e.key) != entryHash) {
    *why = "file name does not match the key";
    return std::nullopt;
  }

  // Stream 0's EOF record ends the file.
  std::string eof0;
  if (!readAt(fd, F - kEofRecordSize, kEofRecordSize, &eof0)) {
    *why = "unreadable EOF record";
    return std::nullopt;
  }
  const ByteReader r0(eof0);
  if (r0.u64(kEofMagicOffset) != kFinalMagic) {
    *why = "bad final magic of stream 0";
    return std::nullopt;
  }
  const std::uint32_t flags0 = *r0.u32(kEofFlagsOffset);
  const std::uint32_t size0 = *r0.u32(kEofStreamSizeOffset);
  const std::uint64_t shaSize =
      (flags0 & kEofFlagHasKeySha256) ? kKeySha256Size : 0;
  // Everything between the key and stream 0's record.
  const std::uint64_t middle = F - kHeaderSize - keyLength - kEofRecordSize;
  if (size0 > kMaxStream0Size ||
      std::uint64_t{size0} + shaSize + kEofRecordSize > middle) {
    *why = "stream 0 beyond the file";
    return std::nullopt;
  }
  const std::uint64_t end0 = F - kEofRecordSize - shaSize;
  const std::uint64_t start0 = end0 - size0;
  const std::uint64_t eof1At = start0 - kEofRecordSize;

  // Stream 1's EOF record, stream 0 and the key's digest in one read.
  std::string tail;
  if (!readAt(fd, eof1At, static_cast<std::size_t>(end0 + shaSize - eof1At),
              &tail)) {
    *why = "unreadable stream 0";
    return std::nullopt;
  }
  const ByteReader r1(tail);
  if (r1.u64(kEofMagicOffset) != kFinalMagic) {
    *why = "bad final magic of stream 1";
    return std::nullopt;
  }
  const std::uint32_t flags1 = *r1.u32(kEofFlagsOffset);
  if (flags1 & kEofFlagHasCrc) e.bodyCrc = *r1.u32(kEofCrcOffset);
  e.stream0 = tail.substr(kEofRecordSize, size0);
  if ((flags0 & kEofFlagHasCrc) && crcOf(e.stream0) != *r0.u32(kEofCrcOffset)) {
    *why = "stream 0 checksum mismatch";
    return std::nullopt;
  }
  if (shaSize) {
    const std::string_view stored =
        std::string_view(tail).substr(kEofRecordSize + size0, kKeySha256Size);
    const QByteArray want = sha256Of(e.key);
    if (stored != std::string_view(want.constData(),
                                   static_cast<std::size_t>(want.size()))) {
      *why = "key digest mismatch";
      return std::nullopt;
    }
  }
  e.bodyOffset = kHeaderSize + keyLength;
  e.bodySize = eof1At - e.bodyOffset;
  return e;
}

}  // namespace

std::optional<ChromiumSimpleEntryFile> ChromiumSimpleEntryFile::read(
    const std::string& path, std::string* why) {
  std::string scratch;
  if (!why) why = &scratch;
  const std::size_t slash = path.rfind('/');
  const auto entryHash = hashFromFileName(
      slash == std::string::npos ? std::string_view(path)
                                 : std::string_view(path).substr(slash + 1));
  if (!entryHash) {
    *why = "not an entry file name";
    return std::nullopt;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY |
                                          O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    *why = std::strerror(errno);
    return std::nullopt;
  }
  auto entry = parse(fd, *entryHash, why);
  ::close(fd);
  return entry;
}

}  // namespace tessarine::urlcache
