#include "platform/urlcache/firefox/FirefoxCache2Container.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/ContentDecoder.h"
#include "platform/urlcache/HttpHeaders.h"
#include "platform/urlcache/LocalCopyNamer.h"
#include "platform/urlcache/firefox/FirefoxCache2Format.h"
#include "platform/urlcache/firefox/FirefoxCacheKey.h"
#include "platform/urlcache/firefox/FirefoxChunkCheckedStream.h"
#include "platform/urlcache/firefox/FirefoxEntryFile.h"

namespace tessarine::urlcache {

namespace ff = firefox_cache2;
namespace fs = std::filesystem;

namespace {

// How many entry files open() reads to recognise a bare folder.
constexpr std::size_t kProbeEntries = 16;
// Bytes of the decoded body shown to the MIME sniffer.
constexpr std::size_t kSniffBytes = 512;
// Seconds between 1601-01-01 and 1970-01-01, and FILETIME ticks a second.
constexpr std::uint64_t kEpochDelta = 11644473600ULL;
constexpr std::uint64_t kTicksPerSecond = 10000000ULL;

std::uint64_t fileTime(std::uint32_t unixSeconds) {
  if (unixSeconds == 0) return 0;
  return (std::uint64_t(unixSeconds) + kEpochDelta) * kTicksPerSecond;
}

bool isDir(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

bool isEntryName(std::string_view name) {
  return name.size() == ff::kEntryNameLength &&
         std::all_of(name.begin(), name.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') ||
                  (c >= 'a' && c <= 'f');
         });
}

// A cache2 folder: entries/ beside at least one of index, index.log, doomed/.
bool isCacheRoot(const std::string& folder) {
  return isDir(folder + "/" + ff::kEntriesDir) &&
         (exists(folder + "/" + ff::kIndexFile) ||
          exists(folder + "/" + ff::kIndexLogFile) ||
          isDir(folder + "/" + ff::kDoomedDir));
}

std::string normalized(const std::string& folder) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(folder), ec);
  if (ec) p = fs::path(folder);
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// What an entry's response head says about its body.
struct Response {
  HttpHeaders head;
  std::string contentEncoding;
  bool whole = false;  // a complete 200/203 body we can decode
};

Response analyse(const FirefoxEntryFile& e) {
  Response r;
  const auto head = e.element(ff::kElemResponseHead);
  if (!head) return r;
  r.head = HttpHeaders::parse(*head);
  r.contentEncoding = r.head.value("Content-Encoding");
  if (r.head.status != 200 && r.head.status != 203) return r;
  // Content-Length counts the stored (encoded) body; a shorter body is a
  // download cut off.
  const std::string length = r.head.value("Content-Length");
  if (!length.empty()) {
    std::uint64_t n = 0;
    const auto [ptr, ec] =
        std::from_chars(length.data(), length.data() + length.size(), n);
    if (ec != std::errc() || ptr != length.data() + length.size() ||
        n != e.bodySize)
      return r;
  }
  r.whole = canDecode(r.contentEncoding);
  return r;
}

// The extension of a LocalCopyNamer name ("logo[2].gif" -> "gif").
std::string extensionOf(const std::string& name) {
  const std::size_t bracket = name.rfind(']');
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || bracket == std::string::npos || dot < bracket)
    return {};
  return name.substr(dot + 1);
}

std::unique_ptr<BodyStream> bodyStream(const std::string& path,
                                       const FirefoxEntryFile& e,
                                       const Response& r,
                                       std::uint32_t* error) {
  auto raw = FirefoxChunkCheckedStream::open(path, e.dataSize, e.bodySize,
                                             e.chunkHashes, error);
  if (!raw) return nullptr;
  auto decoded = makeDecodingStream(std::move(raw), r.contentEncoding);
  if (!decoded && error) *error = kErrorInvalidData;
  return decoded;
}

std::string sniff(const std::string& path, const FirefoxEntryFile& e,
                  const Response& r) {
  std::uint32_t error = 0;
  auto body = bodyStream(path, e, r, &error);
  if (!body) return {};
  std::string out(kSniffBytes, '\0');
  std::size_t got = 0;
  while (got < out.size()) {
    const std::int64_t n = body->read(out.data() + got, out.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return out;
}

}  // namespace

FirefoxCache2Container::FirefoxCache2Container(std::string folder,
                                               std::string entriesDir,
                                               std::string indexPath)
    : folder_(std::move(folder)),
      entriesDir_(std::move(entriesDir)),
      indexPath_(std::move(indexPath)) {}

std::unique_ptr<FirefoxCache2Container> FirefoxCache2Container::open(
    const std::string& folderArg) {
  const std::string folder = normalized(folderArg);
  if (!isDir(folder)) return nullptr;
  if (isCacheRoot(folder)) {
    return std::unique_ptr<FirefoxCache2Container>(new FirefoxCache2Container(
        folder, folder + "/" + ff::kEntriesDir,
        folder + "/" + ff::kIndexFile));
  }
  std::unique_ptr<FirefoxCache2Container> bare(
      new FirefoxCache2Container(folder, folder, std::string()));
  const std::vector<std::string> names = bare->entryNames();
  bool recognised = false;
  for (std::size_t i = 0; i < names.size() && i < kProbeEntries && !recognised;
       ++i) {
    const auto e = FirefoxEntryFile::read(folder + "/" + names[i]);
    recognised = e && FirefoxCacheKey::parse(e->key).has_value();
  }
  if (!recognised) return nullptr;
  // The entries/ folder of a real cache: its index is the parent's.
  const fs::path p(folder);
  if (p.filename() == ff::kEntriesDir && isCacheRoot(p.parent_path().string()))
    bare->indexPath_ = p.parent_path().string() + "/" + ff::kIndexFile;
  return bare;
}

std::vector<std::string> FirefoxCache2Container::entryNames() const {
  std::vector<std::string> names;
  DIR* dir = ::opendir(entriesDir_.c_str());
  if (!dir) return names;
  while (const dirent* d = ::readdir(dir))
    if (isEntryName(d->d_name)) names.emplace_back(d->d_name);
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<ContainerEntry> FirefoxCache2Container::enumerate() {
  const std::lock_guard lock(knownMutex_);
  // Files changed less than a second before this reading are read afresh
  // next time too, whatever their identity.
  const timespec started = FileIdentity::clockNow();
  std::vector<ContainerEntry> out;
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(entriesDir_.c_str()));
  if (!dir) return out;
  const int dirFd = ::dirfd(dir.get());
  std::vector<std::string> names;
  while (const dirent* d = ::readdir(dir.get())) {
    // Symlinks and other non-files go; an unknown type is settled when
    // the file is opened (not followed) and checked.
    if (d->d_type != DT_REG && d->d_type != DT_UNKNOWN) continue;
    if (isEntryName(d->d_name)) names.emplace_back(d->d_name);
  }
  std::sort(names.begin(), names.end());

  out.reserve(names.size());
  std::unordered_map<std::string, KnownEntry> known;
  known.reserve(names.size());
  LocalCopyNamer namer;
  for (const std::string& name : names) {
    const auto was = known_.find(name);
    struct stat st {};
    if (was != known_.end() &&
        ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode) && FileIdentity::of(st) == was->second.file) {
      const KnownEntry& k = was->second;
      ContainerEntry ce = k.entry;
      if (k.whole) {
        // Only names that needed no body bytes were kept.
        const std::string local = namer.name(ce.url, k.contentType, {});
        ce.localPath = folder_ + "/" + local;
        ce.fileExtension = extensionOf(local);
      }
      out.push_back(std::move(ce));
      known.insert(known_.extract(was));
      continue;
    }

    const std::string path = entriesDir_ + "/" + name;
    const auto e = FirefoxEntryFile::readIn(dirFd, name, &st);
    if (!e) continue;
    const auto key = FirefoxCacheKey::parse(e->key);
    if (!key) continue;
    const Response r = analyse(*e);

    ContainerEntry ce;
    ce.url = key->url;
    ce.entryType = kNormalCacheEntry;
    ce.size = e->bodySize;
    ce.lastModified = fileTime(e->lastModified);
    ce.lastAccess = fileTime(e->lastFetched);
    ce.lastSync = fileTime(e->lastModified);
    ce.expire = e->expiration == ff::kNoExpiration ? 0 : fileTime(e->expiration);
    ce.hitRate = e->fetchCount;
    if (const auto head = e->element(ff::kElemResponseHead)) {
      ce.headers = std::string(*head);
      // End the head with an empty line, as raw header text does.
      if (ce.headers.size() >= 2 && ce.headers.compare(ce.headers.size() - 2, 2, "\r\n") == 0 &&
          (ce.headers.size() < 4 ||
           ce.headers.compare(ce.headers.size() - 4, 4, "\r\n\r\n") != 0))
        ce.headers += "\r\n";
    }
    ce.key = e->checksum;
    ce.keyPath = path;
    KnownEntry k{FileIdentity::of(st), ce, r.whole, std::string()};
    bool sniffed = false;
    if (r.whole) {
      k.contentType = r.head.value("Content-Type");
      sniffed = namer.needsSniff(k.contentType);
      const std::string sniffedBytes =
          sniffed ? sniff(path, *e, r) : std::string();
      const std::string local = namer.name(ce.url, k.contentType, sniffedBytes);
      ce.localPath = folder_ + "/" + local;
      ce.fileExtension = extensionOf(local);
    }
    out.push_back(std::move(ce));
    if (!sniffed && k.file.settledBefore(started))
      known.emplace(name, std::move(k));
  }
  known_ = std::move(known);
  return out;
}

std::optional<FirefoxEntryFile> FirefoxCache2Container::reread(
    const ContainerEntry& entry) const {
  const std::size_t slash = entry.keyPath.find_last_of('/');
  if (slash == std::string::npos || entry.keyPath.substr(0, slash) != entriesDir_ ||
      !isEntryName(std::string_view(entry.keyPath).substr(slash + 1)))
    return std::nullopt;
  auto e = FirefoxEntryFile::read(entry.keyPath);
  if (!e) return std::nullopt;
  const auto key = FirefoxCacheKey::parse(e->key);
  if (!key || key->url != entry.url) return std::nullopt;
  return e;
}

bool FirefoxCache2Container::retrieve(const ContainerEntry& entry,
                                      std::uint32_t* error) {
  const auto e = reread(entry);
  if (!e || !analyse(*e).whole) {
    if (error) *error = kErrorFileNotFound;
    return false;
  }
  if (error) *error = kErrorSuccess;
  return true;
}

std::unique_ptr<BodyStream> FirefoxCache2Container::openBody(
    const ContainerEntry& entry, std::uint32_t* error) {
  const auto e = reread(entry);
  if (!e) {
    if (error) *error = kErrorFileNotFound;
    return nullptr;
  }
  const Response r = analyse(*e);
  if (!r.whole) {
    if (error) *error = kErrorFileNotFound;
    return nullptr;
  }
  return bodyStream(entry.keyPath, *e, r, error);
}

std::uint32_t FirefoxCache2Container::remove(const ContainerEntry& entry) {
  if (!reread(entry)) return kErrorFileNotFound;
  if (::unlink(entry.keyPath.c_str()) != 0) {
    if (errno == ENOENT) return kErrorFileNotFound;
    return kErrorAccessDenied;
  }
  // Without its index Firefox rebuilds it from entries/ at the next start,
  // so it never serves the deleted entry from a stale record.
  if (!indexPath_.empty()) ::unlink(indexPath_.c_str());
  return kErrorSuccess;
}

}  // namespace tessarine::urlcache
