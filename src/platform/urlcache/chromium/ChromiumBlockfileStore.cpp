#include "platform/urlcache/chromium/ChromiumBlockfileStore.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/chromium/ChromiumBlockfileFormat.h"

namespace tessarine::urlcache {
namespace {

using namespace chromium_blockfile;

int openRegular(const std::string& path, std::uint64_t* size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY |
                                          O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  *size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

bool readAt(int fd, std::uint64_t offset, std::string* out) {
  std::size_t done = 0;
  while (done < out->size()) {
    const ssize_t got = ::pread(fd, out->data() + done, out->size() - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

ChromiumBlockfileStore::ChromiumBlockfileStore(std::string folder)
    : folder_(std::move(folder)) {}

ChromiumBlockfileStore::~ChromiumBlockfileStore() {
  for (auto& [number, file] : blockFiles_)
    if (file.fd >= 0) ::close(file.fd);
}

const ChromiumBlockfileStore::BlockFile* ChromiumBlockfileStore::blockFile(
    std::uint32_t number, std::uint32_t blockSize) {
  auto it = blockFiles_.find(number);
  if (it == blockFiles_.end()) {
    BlockFile f;
    const std::string path =
        folder_ + "/" + kBlockFilePrefix + std::to_string(number);
    f.fd = openRegular(path, &f.size);
    if (f.fd >= 0) {
      std::string head(kBlockSizeOffset + 4, '\0');
      const ByteReader r(head);
      const bool ok =
          f.size >= kBlockFileHeaderSize && readAt(f.fd, 0, &head) &&
          r.u32(kBlockMagicOffset) == kBlockFileMagic &&
          r.u32(kBlockVersionOffset) == kBlockFileVersion &&
          r.u16(kBlockThisFileOffset) == number;
      if (ok) {
        f.blockSize = *r.u32(kBlockSizeOffset);
      } else {
        ::close(f.fd);
        f.fd = -1;
      }
    }
    it = blockFiles_.emplace(number, f).first;
  }
  if (it->second.fd < 0 || it->second.blockSize != blockSize) return nullptr;
  return &it->second;
}

bool ChromiumBlockfileStore::find(const ChromiumBlockfileAddress& address,
                                  std::uint64_t length, int* fd,
                                  std::uint64_t* offset) {
  if (address.isExternal()) return false;
  if (address.fileNumber() > static_cast<std::uint32_t>(kMaxBlockFileNumber) ||
      length > address.capacity())
    return false;
  const BlockFile* f = blockFile(address.fileNumber(), address.blockSize());
  if (!f) return false;
  const std::uint64_t at = address.fileOffset();
  if (at > f->size || length > f->size - at) return false;
  *fd = f->fd;
  *offset = at;
  return true;
}

std::optional<std::string> ChromiumBlockfileStore::read(
    const ChromiumBlockfileAddress& address, std::uint64_t length) {
  if (length > kMaxRead) return std::nullopt;
  std::string out(static_cast<std::size_t>(length), '\0');
  if (address.isExternal()) {
    std::uint64_t size = 0;
    const int fd = openRegular(folder_ + "/" + address.fileName(), &size);
    if (fd < 0) return std::nullopt;
    const bool ok = size >= length && readAt(fd, 0, &out);
    ::close(fd);
    if (!ok) return std::nullopt;
    return out;
  }
  int fd = -1;
  std::uint64_t offset = 0;
  if (!find(address, length, &fd, &offset) || !readAt(fd, offset, &out))
    return std::nullopt;
  return out;
}

std::optional<ChromiumBlockfileStore::Span> ChromiumBlockfileStore::locate(
    const ChromiumBlockfileAddress& address, std::uint64_t length) {
  Span span;
  span.path = folder_ + "/" + address.fileName();
  span.length = length;
  if (address.isExternal()) {
    std::uint64_t size = 0;
    const int fd = openRegular(span.path, &size);
    if (fd < 0) return std::nullopt;
    ::close(fd);
    if (size < length) return std::nullopt;
    return span;
  }
  int fd = -1;
  if (!find(address, length, &fd, &span.offset)) return std::nullopt;
  return span;
}

}  // namespace tessarine::urlcache
