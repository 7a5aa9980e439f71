#include "platform/urlcache/chromium/ChromiumSimpleContainer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/ContentDecoder.h"
#include "platform/urlcache/FileBodyStream.h"
#include "platform/urlcache/LocalCopyNamer.h"
#include "platform/urlcache/ParallelReads.h"
#include "platform/urlcache/SparseRangeAssembler.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"
#include "platform/urlcache/chromium/ChromiumEntryDetails.h"
#include "platform/urlcache/chromium/ChromiumResponseInfo.h"
#include "platform/urlcache/chromium/ChromiumSimpleEntryFile.h"
#include "platform/urlcache/chromium/ChromiumSimpleFormat.h"
#include "platform/urlcache/chromium/ChromiumSimpleSparseFile.h"
#include "platform/urlcache/chromium/CrcCheckedBodyStream.h"
#include "platform/urlcache/Win32Error.h"

namespace tessarine::urlcache {
namespace {

using namespace chromium_simple;
using namespace chromium_details;

// A folder with more names than this is not a cache we read to the end.
constexpr std::size_t kMaxFolderNames = 16u << 20;

bool isEntryFileName(std::string_view name) {
  if (name.size() != kEntryHashDigits + 2 ||
      name.substr(kEntryHashDigits) != kStream01Suffix)
    return false;
  return std::all_of(name.begin(), name.begin() + kEntryHashDigits, [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
  });
}

// Whether `folder/index` is the simple backend's marker file.
bool hasSimpleIndex(const std::string& folder) {
  const std::string path = folder + "/" + kIndexFileName;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY |
                                          O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  unsigned char head[kIndexFileSize];
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                  ::pread(fd, head, sizeof head, 0) ==
                      static_cast<ssize_t>(sizeof head);
  ::close(fd);
  return ok && ByteReader(head, sizeof head).u64(0) == kInitialMagic;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The identity of whatever `name` in `dirFd` is (not followed), nullopt
// when nothing is there.
std::optional<FileIdentity> identityIn(int dirFd, const std::string& name) {
  struct stat st {};
  if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return std::nullopt;
  return FileIdentity::of(st);
}

// Stream 1 (or pieced-together ranges) as the user would save it: checked
// against its CRC-32 when the entry file stores one, Content-Encoding
// undone. nullptr when `raw` is (error already set) or the coding is not
// one we undo.
std::unique_ptr<BodyStream> checkedAndDecoded(std::unique_ptr<BodyStream> raw,
                                              std::optional<std::uint32_t> crc,
                                              std::string_view contentEncoding,
                                              std::uint32_t* error) {
  if (!raw) return nullptr;
  if (crc) raw = std::make_unique<CrcCheckedBodyStream>(std::move(raw), *crc);
  auto decoded = makeDecodingStream(std::move(raw), contentEncoding);
  if (!decoded) *error = kErrorInvalidData;
  return decoded;
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

}  // namespace

ChromiumSimpleContainer::ChromiumSimpleContainer(std::string folder)
    : folder_(std::move(folder)) {}

std::unique_ptr<ChromiumSimpleContainer> ChromiumSimpleContainer::open(
    const std::string& folder) {
  const std::string cacheDir = cacheFolderOf(folder);
  if (cacheDir.empty()) return nullptr;
  if (!hasSimpleIndex(cacheDir)) return nullptr;
  return std::unique_ptr<ChromiumSimpleContainer>(
      new ChromiumSimpleContainer(cacheDir));
}

std::string ChromiumSimpleContainer::pathOf(const std::string& name) const {
  return folder_ + "/" + name;
}

std::vector<ContainerEntry> ChromiumSimpleContainer::enumerate() {
  const std::lock_guard lock(knownMutex_);
  // Files changed less than a second before this reading are read afresh
  // next time too, whatever their identity.
  const timespec started = FileIdentity::clockNow();
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder_.c_str()));
  if (!dir) return {};
  const int dirFd = ::dirfd(dir.get());
  std::vector<std::string> names;
  while (names.size() < kMaxFolderNames) {
    const dirent* d = ::readdir(dir.get());
    if (!d) break;
    // Symlinks and other non-files go; an unknown type is settled when
    // the file is opened (not followed) and checked.
    if (d->d_type != DT_REG && d->d_type != DT_UNKNOWN) continue;
    if (isEntryFileName(d->d_name)) names.emplace_back(d->d_name);
  }
  std::sort(names.begin(), names.end());

  // What each file holds is found out side by side; the names, which
  // count through the folder in order, are given after.
  std::vector<Reading> readings(names.size());
  forEachInParallel(names.size(), [&](std::size_t i) {
    readings[i] = readEntry(dirFd, names[i], started);
  });

  std::vector<ContainerEntry> entries;
  entries.reserve(names.size());
  std::unordered_map<std::string, KnownEntry> known;
  known.reserve(names.size());
  LocalCopyNamer namer;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    Reading& r = readings[i];
    if (r.kind == Reading::Kind::Skip) continue;
    const bool reused = r.kind == Reading::Kind::Known;
    const auto was = reused ? known_.find(name) : known_.end();
    const KnownEntry& k = reused ? was->second : r.fresh;
    ContainerEntry e = k.entry;
    bool sniffed = false;
    if (k.hasCopy) {
      // A known entry never needed body bytes for its name.
      const std::string localName = localCopyName(namer, e.url, k.contentType, [&] {
        sniffed = true;
        return sniffBody(dirFd, name, k.file);
      });
      if (!localName.empty()) {
        e.localPath = pathOf(localName);
        e.fileExtension = extensionOf(localName);
      }
    }
    entries.push_back(std::move(e));
    if (reused)
      known.insert(known_.extract(was));
    else if (!sniffed && r.settled)
      known.emplace(name, std::move(r.fresh));
  }
  known_ = std::move(known);
  return entries;
}

ChromiumSimpleContainer::Reading ChromiumSimpleContainer::readEntry(
    int dirFd, const std::string& name, const timespec& started) const {
  Reading r;
  const auto was = known_.find(name);
  if (was != known_.end() && stillHolds(dirFd, name, was->second)) {
    r.kind = Reading::Kind::Known;
    return r;
  }
  struct stat st {};
  const auto file = ChromiumSimpleEntryFile::readIn(dirFd, name, &st, nullptr);
  if (!file) return r;
  KnownEntry& k = r.fresh;
  k.file = FileIdentity::of(st);
  k.emptyBody = file->bodySize == 0;
  // Taken before the `_s` file is read, so a later change shows.
  if (k.emptyBody)
    k.sparseFile = identityIn(
        dirFd, chromium_key::simpleEntryHashText(file->entryHash) + kSparseSuffix);
  std::string url = chromium_key::urlFromKey(file->key);
  if (url.empty()) return r;
  const auto info = ChromiumResponseInfo::parse(file->stream0);
  if (!info) return r;

  ContainerEntry& e = k.entry;
  e.url = std::move(url);
  e.entryType = kNormalCacheEntry;
  e.size = file->bodySize;
  describeResponse(info->headers, info->responseTime, &e);
  e.key = file->entryHash;
  e.keyPath = pathOf(name);

  const auto sparse = sparseBody(*file, *info);
  if (sparse) e.size = sparse->total;
  k.hasCopy = sparse || hasLocalCopy(*file, *info);
  k.contentType = info->headers.value("Content-Type");
  k.bodyOffset = file->bodyOffset;
  k.bodyCrc = file->bodyCrc;
  k.contentEncoding = info->headers.value("Content-Encoding");
  r.settled = k.file.settledBefore(started) &&
              (!k.sparseFile || k.sparseFile->settledBefore(started));
  r.kind = Reading::Kind::Fresh;
  return r;
}

std::unique_ptr<BodyStream> ChromiumSimpleContainer::sniffBody(
    int dirFd, const std::string& name, const FileIdentity& read) const {
  struct stat st {};
  const auto file = ChromiumSimpleEntryFile::readIn(dirFd, name, &st, nullptr);
  // Changed since it was read: its name is not taken from other bytes.
  if (!file || FileIdentity::of(st) != read) return nullptr;
  const auto info = ChromiumResponseInfo::parse(file->stream0);
  if (!info) return nullptr;
  std::uint32_t error = 0;
  return bodyOf(*file, *info, &error);
}

bool ChromiumSimpleContainer::stillHolds(int dirFd, const std::string& name,
                                         const KnownEntry& known) const {
  struct stat st {};
  if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(st.st_mode) || FileIdentity::of(st) != known.file)
    return false;
  return !known.emptyBody ||
         identityIn(dirFd, chromium_key::simpleEntryHashText(known.entry.key) +
                               kSparseSuffix) == known.sparseFile;
}

bool ChromiumSimpleContainer::hasLocalCopy(
    const ChromiumSimpleEntryFile& file,
    const ChromiumResponseInfo& info) const {
  if (hasSparseFile(file)) return sparseBody(file, info).has_value();
  const int status = info.headers.status;
  if ((status != 200 && status != 203) || info.truncated) return false;
  if (!canDecode(info.headers.value("Content-Encoding"))) return false;
  const std::int64_t length =
      contentLengthOf(info.headers.value("Content-Length"));
  if (length >= 0 && static_cast<std::uint64_t>(length) != file.bodySize)
    return false;
  return true;
}

std::optional<std::uint64_t> ChromiumSimpleContainer::sparseTotal(
    const ChromiumSimpleEntryFile& file,
    const ChromiumResponseInfo& info) const {
  const auto body = sparseBody(file, info);
  if (!body) return std::nullopt;
  return body->total;
}

bool ChromiumSimpleContainer::hasSparseFile(
    const ChromiumSimpleEntryFile& file) const {
  // An empty stream 1 beside a sparse file: the data is ranges.
  return file.bodySize == 0 &&
         exists(pathOf(chromium_key::simpleEntryHashText(file.entryHash) +
                       kSparseSuffix));
}

std::optional<ChromiumSimpleContainer::SparseBody>
ChromiumSimpleContainer::sparseBody(const ChromiumSimpleEntryFile& file,
                                    const ChromiumResponseInfo& info) const {
  if (!hasSparseFile(file)) return std::nullopt;
  const int status = info.headers.status;
  if ((status != 200 && status != 203 && status != 206) || info.truncated ||
      !canDecode(info.headers.value("Content-Encoding")))
    return std::nullopt;
  const auto total = SparseRangeAssembler::totalLength(info.headers);
  if (!total) return std::nullopt;
  const auto sparse = ChromiumSimpleSparseFile::read(
      pathOf(chromium_key::simpleEntryHashText(file.entryHash) + kSparseSuffix),
      file.key, nullptr);
  if (!sparse) return std::nullopt;
  SparseBody body{SparseRangeAssembler(), *total};
  sparse->addTo(&body.pieces);
  if (!body.pieces.covers(body.total)) return std::nullopt;
  return body;
}

std::optional<ChromiumSimpleEntryFile> ChromiumSimpleContainer::reread(
    const ContainerEntry& entry, std::uint32_t* error) const {
  const std::string path =
      pathOf(chromium_key::simpleEntryHashText(entry.key) + kStream01Suffix);
  if (entry.keyPath != path) {
    *error = kErrorInvalidParameter;
    return std::nullopt;
  }
  auto file = ChromiumSimpleEntryFile::read(path, nullptr);
  // A sparse entry's size is its ranges' total, checked when it is opened.
  if (!file ||
      (file->bodySize != entry.size && !hasSparseFile(*file)) ||
      chromium_key::urlFromKey(file->key) != entry.url) {
    *error = kErrorFileNotFound;
    return std::nullopt;
  }
  return file;
}

std::optional<ChromiumSimpleContainer::KnownBody>
ChromiumSimpleContainer::knownBody(const ContainerEntry& entry) {
  const std::string name =
      chromium_key::simpleEntryHashText(entry.key) + kStream01Suffix;
  if (entry.keyPath != pathOf(name)) return std::nullopt;
  const std::lock_guard lock(knownMutex_);
  const auto it = known_.find(name);
  if (it == known_.end()) return std::nullopt;
  const KnownEntry& k = it->second;
  // Sparse entries are pieced together afresh each time.
  if (!k.hasCopy || k.emptyBody || k.entry.url != entry.url ||
      k.entry.size != entry.size)
    return std::nullopt;
  return KnownBody{k.file, k.bodyOffset, k.bodyCrc, k.contentEncoding};
}

bool ChromiumSimpleContainer::retrieve(const ContainerEntry& entry,
                                       std::uint32_t* error) {
  std::uint32_t scratch = 0;
  if (!error) error = &scratch;
  if (entry.localPath.empty()) {
    *error = kErrorFileNotFound;
    return false;
  }
  if (const auto k = knownBody(entry)) {
    struct stat st {};
    if (::lstat(entry.keyPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        FileIdentity::of(st) == k->file)
      return true;
  }
  const auto file = reread(entry, error);
  if (!file) return false;
  const auto info = ChromiumResponseInfo::parse(file->stream0);
  if (!info || !hasLocalCopy(*file, *info) ||
      (hasSparseFile(*file) && sparseTotal(*file, *info) != entry.size)) {
    *error = kErrorFileNotFound;
    return false;
  }
  return true;
}

std::unique_ptr<BodyStream> ChromiumSimpleContainer::openBody(
    const ContainerEntry& entry, std::uint32_t* error) {
  std::uint32_t scratch = 0;
  if (!error) error = &scratch;
  if (entry.localPath.empty()) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  if (const auto k = knownBody(entry)) {
    // The file still as it was enumerated: stream 1 where it was found.
    const int fd = ::open(entry.keyPath.c_str(),
                          O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        FileIdentity::of(st) == k->file) {
      return checkedAndDecoded(
          FileBodyStream::adopt(fd, entry.keyPath, k->offset, entry.size),
          k->crc, k->contentEncoding, error);
    }
    if (fd >= 0) ::close(fd);
  }
  const auto file = reread(entry, error);
  if (!file) return nullptr;
  const auto info = ChromiumResponseInfo::parse(file->stream0);
  if (!info || !hasLocalCopy(*file, *info) ||
      (hasSparseFile(*file) && sparseTotal(*file, *info) != entry.size)) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  return bodyOf(*file, *info, error);
}

std::unique_ptr<BodyStream> ChromiumSimpleContainer::bodyOf(
    const ChromiumSimpleEntryFile& file, const ChromiumResponseInfo& info,
    std::uint32_t* error) const {
  const std::string encoding = info.headers.value("Content-Encoding");
  if (hasSparseFile(file)) {
    const auto sparse = sparseBody(file, info);
    if (!sparse) {
      *error = kErrorFileNotFound;
      return nullptr;
    }
    return checkedAndDecoded(sparse->pieces.open(sparse->total, error),
                             std::nullopt, encoding, error);
  }
  const std::string path = pathOf(
      chromium_key::simpleEntryHashText(file.entryHash) + kStream01Suffix);
  return checkedAndDecoded(
      FileBodyStream::openRange(path, file.bodyOffset,
                                static_cast<std::int64_t>(file.bodySize), error),
      file.bodyCrc, encoding, error);
}

std::uint32_t ChromiumSimpleContainer::remove(const ContainerEntry& entry) {
  const std::string base = chromium_key::simpleEntryHashText(entry.key);
  const std::string path = pathOf(base + kStream01Suffix);
  if (entry.keyPath != path) return kErrorInvalidParameter;
  if (!exists(path)) return kErrorFileNotFound;
  if (::unlink(path.c_str()) != 0) return win32FromErrno(errno);
  std::uint32_t result = kErrorSuccess;
  for (const std::string& other :
       {pathOf(base + kStream2Suffix), pathOf(base + kSparseSuffix),
        pathOf(kRealIndexPath)}) {
    if (::unlink(other.c_str()) != 0 && errno != ENOENT &&
        result == kErrorSuccess)
      result = win32FromErrno(errno);
  }
  return result;
}

}  // namespace tessarine::urlcache
