#include "platform/urlcache/chromium/ChromiumSimpleEntryFile.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include <QByteArray>
#include <QCryptographicHash>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/Crc32.h"
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

// Exactly `length` bytes at `offset` into `out`.
bool readInto(int fd, std::uint64_t offset, std::size_t length, char* out) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(fd, out + done, length - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool readAt(int fd, std::uint64_t offset, std::size_t length,
            std::string* out) {
  out->resize(length);
  return readInto(fd, offset, length, out->data());
}

// A file this small is read whole at once; a larger one as its first and
// its last bytes, which hold the header, key, stream 0 and EOF records of
// usual entries. Only what lies outside them costs another read.
constexpr std::uint64_t kWholeReadLimit = 16u << 10;
constexpr std::uint64_t kHeadRead = 2u << 10;
constexpr std::uint64_t kTailRead = 8u << 10;

class Window {
 public:
  Window(int fd, std::uint64_t fileSize) : fd_(fd), size_(fileSize) {}

  // `length` bytes at `offset` (inside the file) into *out.
  bool get(std::uint64_t offset, std::size_t length, std::string* out) {
    if (offset > size_ || length > size_ - offset) return false;
    if (size_ <= kWholeReadLimit)
      return from(head_, &haveHead_, 0, size_, offset, length, out);
    if (offset + length <= kHeadRead)
      return from(head_, &haveHead_, 0, kHeadRead, offset, length, out);
    if (offset >= size_ - kTailRead)
      return from(tail_, &haveTail_, size_ - kTailRead, kTailRead, offset, length, out);
    return readAt(fd_, offset, length, out);
  }

 private:
  // Serves from `buffer`, the file's bytes [at, at + span), read on first use.
  bool from(char* buffer, bool* have, std::uint64_t at, std::uint64_t span,
            std::uint64_t offset, std::size_t length, std::string* out) {
    if (!*have) {
      if (!readInto(fd_, at, static_cast<std::size_t>(span), buffer)) return false;
      *have = true;
    }
    out->assign(buffer + (offset - at), length);
    return true;
  }

  int fd_;
  std::uint64_t size_;
  // Kept in place rather than on the heap: an enumeration reads thousands.
  bool haveHead_ = false;
  bool haveTail_ = false;
  char head_[kWholeReadLimit];
  char tail_[kTailRead];
};

std::uint32_t crcOf(std::string_view bytes) {
  return crc32Of(bytes.data(), bytes.size());
}

QByteArray sha256Of(std::string_view bytes) {
  return QCryptographicHash::hash(
      QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())),
      QCryptographicHash::Sha256);
}

// The checks proper, on an open file; *why says which one failed.
std::optional<ChromiumSimpleEntryFile> parse(int fd, std::uint64_t entryHash,
                                             struct stat* statOut,
                                             std::string* why) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *why = "not a regular file";
    return std::nullopt;
  }
  if (statOut) *statOut = st;
  ChromiumSimpleEntryFile e;
  e.entryHash = entryHash;
  e.fileSize = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t F = e.fileSize;
  if (F < kHeaderSize + 2 * kEofRecordSize) {
    *why = "too short for an entry file";
    return std::nullopt;
  }

  Window file(fd, F);
  std::string head;
  if (!file.get(0, kHeaderSize, &head)) {
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
  if (!file.get(kHeaderSize, keyLength, &e.key)) {
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
  if (!file.get(F - kEofRecordSize, kEofRecordSize, &eof0)) {
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
  if (!file.get(eof1At, static_cast<std::size_t>(end0 + shaSize - eof1At),
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

// Opens `openPath` (relative to `dirFd`), whose file name is `name`, and
// checks it.
std::optional<ChromiumSimpleEntryFile> readEntry(int dirFd,
                                                 const std::string& name,
                                                 const std::string& openPath,
                                                 struct stat* st,
                                                 std::string* why) {
  std::string scratch;
  if (!why) why = &scratch;
  const auto entryHash = hashFromFileName(name);
  if (!entryHash) {
    *why = "not an entry file name";
    return std::nullopt;
  }
  const int fd = ::openat(dirFd, openPath.c_str(),
                          O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW |
                              O_NONBLOCK);
  if (fd < 0) {
    *why = std::strerror(errno);
    return std::nullopt;
  }
  auto entry = parse(fd, *entryHash, st, why);
  ::close(fd);
  return entry;
}

}  // namespace

std::optional<ChromiumSimpleEntryFile> ChromiumSimpleEntryFile::read(
    const std::string& path, std::string* why) {
  const std::size_t slash = path.rfind('/');
  return readEntry(AT_FDCWD,
                   slash == std::string::npos ? path : path.substr(slash + 1),
                   path, nullptr, why);
}

std::optional<ChromiumSimpleEntryFile> ChromiumSimpleEntryFile::readIn(
    int dirFd, const std::string& name, struct stat* st, std::string* why) {
  return readEntry(dirFd, name, name, st, why);
}

}  // namespace tessarine::urlcache
