#include "platform/urlcache/msie/MsieIndexFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/msie/MsieIndexFormat.h"

namespace tessarine::urlcache::msie {
namespace {

// No index.dat can be this large: the bitmap describes at most ~16 MiB of
// blocks. The cap keeps a hostile file from exhausting memory.
constexpr std::uint64_t kMaxFileSize = 64ull * 1024 * 1024;

bool isBlockOffset(std::uint64_t offset) {
  return offset >= kHeaderSize && (offset - kHeaderSize) % kBlockSize == 0;
}

}  // namespace

bool MsieIndexFile::hasKnownSignature(std::string_view bytes) {
  if (bytes.size() < kSignatureLength) return false;
  const std::string_view sig = bytes.substr(0, kSignatureLength);
  for (std::string_view known :
       {kSignatureIe52, kSignatureWine2012, kSignatureWine2005}) {
    // The text, then NUL padding to 28 bytes.
    if (sig.substr(0, known.size()) != known) continue;
    bool padded = true;
    for (std::size_t i = known.size(); i < sig.size(); ++i)
      padded = padded && sig[i] == '\0';
    if (padded) return true;
  }
  return false;
}

std::optional<MsieIndexFile> MsieIndexFile::load(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  auto file = loadFromFd(fd);
  ::close(fd);
  return file;
}

std::optional<MsieIndexFile> MsieIndexFile::loadFromFd(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  if (st.st_size < static_cast<off_t>(kSignatureLength) ||
      static_cast<std::uint64_t>(st.st_size) > kMaxFileSize)
    return std::nullopt;
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::pread(fd, bytes.data() + done, bytes.size() - done,
                                static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;  // shrank while we read: parse what is there
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return parse(std::move(bytes));
}

std::optional<MsieIndexFile> MsieIndexFile::parse(std::string bytes) {
  if (!hasKnownSignature(bytes)) return std::nullopt;
  return MsieIndexFile(std::move(bytes));
}

MsieIndexFile::MsieIndexFile(std::string bytes)
    : bytes_(std::make_unique<const std::string>(std::move(bytes))),
      reader_(*bytes_) {
  walk();
}

void MsieIndexFile::walk() {
  const std::uint64_t length = reader_.size();
  sizeField_ = reader_.u32(kHeaderFileSize).value_or(0);
  // A size field that leaves no room for a hash table, or claims more than
  // is there (a truncated copy), is ignored; a smaller plausible one bounds
  // the records.
  std::uint64_t limit = length;
  if (sizeField_ >= kHeaderSize + kHashTableSize && sizeField_ < length)
    limit = sizeField_;
  limit_ = static_cast<std::uint32_t>(limit);

  const std::uint32_t dirCount =
      reader_.u32(kHeaderDirectoryCount).value_or(0);
  for (std::uint32_t i = 0; i < dirCount && i < kMaxDirectories; ++i) {
    const std::uint64_t at = kHeaderDirectoryTable + i * kDirectoryEntrySize;
    auto count = reader_.u32(at + kDirectoryFileCount);
    auto name = reader_.bytes(at + kDirectoryName, kDirectoryNameLength);
    if (!count || !name) break;
    Directory dir;
    dir.fileCount = *count;
    dir.name = name->substr(0, name->find('\0'));
    directories_.push_back(dir);
  }

  // Follow the chain of hash tables; each table is visited once, and no
  // more tables than fit in the file.
  std::vector<std::uint32_t> visited;
  std::uint64_t table = reader_.u32(kHeaderFirstHashTable).value_or(0);
  const std::uint64_t maxTables = limit / kHashTableSize + 1;
  while (table != 0 && visited.size() < maxTables) {
    if (!isBlockOffset(table) || table + kHashTableSize > limit) break;
    bool seen = false;
    for (std::uint32_t v : visited) seen = seen || v == table;
    if (seen) break;
    if (reader_.bytes(table, 4) != kHashSignature) break;
    visited.push_back(static_cast<std::uint32_t>(table));
    for (std::uint32_t i = 0; i < kHashSlotCount; ++i) {
      const std::uint64_t at = table + kHashSlots + i * kHashSlotSize;
      const std::uint32_t key = *reader_.u32(at);
      const std::uint32_t offset = *reader_.u32(at + 4);
      if ((key & kSlotKeyFreeBit) != 0) continue;
      if (!isBlockOffset(offset) || offset >= limit) continue;
      slots_.push_back({static_cast<std::uint32_t>(at), key, offset});
    }
    table = *reader_.u32(table + kHashNextTable);
  }
}

std::optional<MsieUrlRecord> MsieIndexFile::urlRecord(const Slot& slot) const {
  const std::uint64_t start = slot.recordOffset;
  if (reader_.bytes(start + kRecordSignature, 4) != kUrlSignature)
    return std::nullopt;
  const std::uint32_t blocks = reader_.u32(start + kRecordBlocks).value_or(0);
  const std::uint64_t length = std::uint64_t{blocks} * kBlockSize;
  if (blocks == 0 || length < kUrlFixedSize || start + length > limit_)
    return std::nullopt;
  // Everything below is read through a view of the record alone, so no
  // string can run past it.
  const ByteReader rec(reader_.data() + start, static_cast<std::size_t>(length));

  MsieUrlRecord r;
  r.slotOffset = slot.slotOffset;
  r.recordOffset = slot.recordOffset;
  r.blocks = blocks;
  auto url = rec.cstring(*rec.u32(kUrlUrlOffset), rec.size());
  if (!url || url->empty()) return std::nullopt;
  r.url = *url;
  if (const std::uint32_t at = *rec.u32(kUrlFileNameOffset); at != 0) {
    auto name = rec.cstring(at, rec.size());
    if (name && !name->empty()) r.fileName = *name;
  }
  const std::uint32_t headerAt = *rec.u32(kUrlHeaderOffset);
  const std::uint32_t headerLength = *rec.u32(kUrlHeaderLength);
  if (headerAt != 0 && headerLength != 0)
    r.headers = rec.bytes(headerAt, headerLength).value_or(std::string_view());
  if (const std::uint32_t at = *rec.u32(kUrlExtensionOffset); at != 0)
    r.extension = rec.cstring(at, rec.size()).value_or(std::string_view());
  r.directoryIndex = *rec.u8(kUrlDirectoryIndex);
  r.entryType = *rec.u32(kUrlEntryType);
  r.size = std::uint64_t{*rec.u32(kUrlFileSizeLow)} |
           (std::uint64_t{*rec.u32(kUrlFileSizeHigh)} << 32);
  r.lastModified = *rec.u64(kUrlLastModified);
  r.lastAccess = *rec.u64(kUrlLastAccess);
  r.expireFat = *rec.u32(kUrlExpire);
  r.lastSyncFat = *rec.u32(kUrlLastSync);
  r.hitRate = *rec.u32(kUrlHitRate);
  r.useCount = *rec.u32(kUrlUseCount);
  r.exemptDelta = *rec.u32(kUrlExemptDelta);
  r.fileTimeFat = *rec.u32(kUrlFileTime);
  return r;
}

std::vector<MsieUrlRecord> MsieIndexFile::urlRecords() const {
  std::vector<MsieUrlRecord> out;
  out.reserve(slots_.size());
  for (const Slot& slot : slots_)
    if (auto r = urlRecord(slot)) out.push_back(*r);
  return out;
}

}  // namespace tessarine::urlcache::msie
