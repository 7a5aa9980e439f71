#include "platform/urlcache/chromium/ChromiumSimpleContainer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string_view>

#include <QMimeDatabase>
#include <QString>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/ContentDecoder.h"
#include "platform/urlcache/FileBodyStream.h"
#include "platform/urlcache/LocalCopyNamer.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"
#include "platform/urlcache/chromium/ChromiumResponseInfo.h"
#include "platform/urlcache/chromium/ChromiumSimpleEntryFile.h"
#include "platform/urlcache/chromium/ChromiumSimpleFormat.h"
#include "platform/urlcache/chromium/CrcCheckedBodyStream.h"
#include "platform/urlcache/Win32Error.h"

namespace tessarine::urlcache {
namespace {

using namespace chromium_simple;
namespace fs = std::filesystem;

// Enough of the decoded body for QMimeDatabase to tell its type.
constexpr std::size_t kSniffBytes = 512;
// A folder with more names than this is not a cache we read to the end.
constexpr std::size_t kMaxFolderNames = 16u << 20;
// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDeltaSeconds = 11644473600LL;
constexpr std::int64_t kFiletimePerSecond = 10000000LL;

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

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Microseconds since 1601 as FILETIME; 0 when not a plausible time.
std::uint64_t filetimeOf(std::int64_t micros) {
  if (micros <= 0 ||
      micros > std::numeric_limits<std::int64_t>::max() /
                   kFiletimeUnitsPerMicrosecond)
    return 0;
  return static_cast<std::uint64_t>(micros * kFiletimeUnitsPerMicrosecond);
}

// An HTTP date in its preferred form ("Tue, 01 Oct 2024 10:00:00 GMT") as
// FILETIME; 0 for anything else.
std::uint64_t filetimeOfHttpDate(std::string_view s) {
  static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
  if (s.size() != 29 || s[3] != ',' || s.substr(25) != " GMT") return 0;
  auto num = [&](std::size_t at, std::size_t len) -> int {
    int v = 0;
    for (std::size_t i = at; i < at + len; ++i) {
      if (s[i] < '0' || s[i] > '9') return -1;
      v = v * 10 + (s[i] - '0');
    }
    return v;
  };
  const int day = num(5, 2), year = num(12, 4), hh = num(17, 2),
            mm = num(20, 2), ss = num(23, 2);
  const std::size_t m = kMonths.find(s.substr(8, 3));
  if (day < 1 || day > 31 || year < 1601 || hh < 0 || hh > 23 || mm < 0 ||
      mm > 59 || ss < 0 || ss > 60 || m == std::string_view::npos || m % 3)
    return 0;
  // Days from 1970-01-01 to the civil date (proleptic Gregorian).
  const int month = static_cast<int>(m / 3) + 1;
  const int y = year - (month <= 2);
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
  const std::int64_t seconds =
      days * 86400 + hh * 3600 + mm * 60 + ss + kEpochDeltaSeconds;
  return seconds > 0 ? static_cast<std::uint64_t>(seconds * kFiletimePerSecond)
                     : 0;
}

// The max-age of a Cache-Control value in seconds, -1 when absent.
std::int64_t maxAgeOf(std::string_view cacheControl) {
  const std::size_t at = cacheControl.find("max-age=");
  if (at == std::string_view::npos) return -1;
  std::int64_t v = 0;
  std::size_t i = at + 8, digits = 0;
  for (; i < cacheControl.size() && cacheControl[i] >= '0' &&
         cacheControl[i] <= '9' && digits < 12;
       ++i, ++digits)
    v = v * 10 + (cacheControl[i] - '0');
  return digits ? v : -1;
}

// A Content-Length value, -1 when absent or not a number.
std::int64_t contentLengthOf(std::string_view v) {
  if (v.empty() || v.size() > 18) return -1;
  std::int64_t n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// Whether the Content-Type names a type with a file suffix; if not, the
// namer needs the first bytes of the body.
bool typeHasSuffix(const QMimeDatabase& db, std::string_view contentType) {
  const std::size_t semi = contentType.find(';');
  const QString essence =
      QString::fromUtf8(contentType.substr(0, semi).data(),
                        static_cast<qsizetype>(
                            std::min(semi, contentType.size())))
          .trimmed()
          .toLower();
  if (essence.isEmpty()) return false;
  const QMimeType type = db.mimeTypeForName(essence);
  return type.isValid() && !type.suffixes().isEmpty();
}

// A local copy name we can put under the folder: one plain file name.
bool isSafeName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string extensionOf(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

}  // namespace

ChromiumSimpleContainer::ChromiumSimpleContainer(std::string folder)
    : folder_(std::move(folder)) {}

std::unique_ptr<ChromiumSimpleContainer> ChromiumSimpleContainer::open(
    const std::string& folder) {
  std::string dir = folder;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.empty() || !isDirectory(dir)) return nullptr;
  std::string cacheDir = dir;
  if (!exists(dir + "/" + kIndexFileName)) {
    cacheDir = dir + "/" + kCacheDataFolder;
    if (!isDirectory(cacheDir)) return nullptr;
  }
  if (!hasSimpleIndex(cacheDir)) return nullptr;
  return std::unique_ptr<ChromiumSimpleContainer>(
      new ChromiumSimpleContainer(cacheDir));
}

std::string ChromiumSimpleContainer::pathOf(const std::string& name) const {
  return folder_ + "/" + name;
}

std::vector<ContainerEntry> ChromiumSimpleContainer::enumerate() {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(folder_, ec);
  for (; !ec && it != fs::directory_iterator() && names.size() < kMaxFolderNames;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!isEntryFileName(name)) continue;
    std::error_code typeEc;
    if (it->symlink_status(typeEc).type() != fs::file_type::regular) continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());

  std::vector<ContainerEntry> entries;
  LocalCopyNamer namer;
  const QMimeDatabase mimeDb;
  for (const std::string& name : names) {
    const std::string path = pathOf(name);
    const auto file = ChromiumSimpleEntryFile::read(path, nullptr);
    if (!file) continue;
    const std::string url = chromium_key::urlFromKey(file->key);
    if (url.empty()) continue;
    const auto info = ChromiumResponseInfo::parse(file->stream0);
    if (!info) continue;

    ContainerEntry e;
    e.url = url;
    e.entryType = kNormalCacheEntry;
    e.size = file->bodySize;
    e.headers = info->headers.text();
    e.lastSync = filetimeOf(info->responseTime);
    e.lastAccess = e.lastSync;
    e.lastModified = filetimeOfHttpDate(info->headers.value("Last-Modified"));
    const std::int64_t maxAge = maxAgeOf(info->headers.value("Cache-Control"));
    if (maxAge >= 0 && e.lastSync)
      e.expire = e.lastSync +
                 static_cast<std::uint64_t>(maxAge) * kFiletimePerSecond;
    e.key = file->entryHash;
    e.keyPath = path;

    if (hasLocalCopy(*file, *info)) {
      const std::string contentType = info->headers.value("Content-Type");
      std::string sniff;
      bool readable = true;
      if (!typeHasSuffix(mimeDb, contentType)) {
        std::uint32_t error = 0;
        auto body = bodyOf(*file, *info, &error);
        sniff.resize(kSniffBytes);
        std::size_t have = 0;
        while (body && have < sniff.size()) {
          const std::int64_t got = body->read(sniff.data() + have,
                                              sniff.size() - have);
          if (got <= 0) {
            readable = got == 0;
            break;
          }
          have += static_cast<std::size_t>(got);
        }
        readable = readable && body != nullptr;
        sniff.resize(have);
      }
      if (readable) {
        const std::string localName = namer.name(url, contentType, sniff);
        if (isSafeName(localName)) {
          e.localPath = pathOf(localName);
          e.fileExtension = extensionOf(localName);
        }
      }
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

bool ChromiumSimpleContainer::hasLocalCopy(
    const ChromiumSimpleEntryFile& file,
    const ChromiumResponseInfo& info) const {
  const int status = info.headers.status;
  if ((status != 200 && status != 203) || info.truncated) return false;
  if (!canDecode(info.headers.value("Content-Encoding"))) return false;
  const std::int64_t length =
      contentLengthOf(info.headers.value("Content-Length"));
  if (length >= 0 && static_cast<std::uint64_t>(length) != file.bodySize)
    return false;
  // An empty body whose data is in a sparse file is ranges, not a whole.
  if (file.bodySize == 0 &&
      exists(pathOf(chromium_key::simpleEntryHashText(file.entryHash) +
                    kSparseSuffix)))
    return false;
  return true;
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
  if (!file || file->bodySize != entry.size ||
      chromium_key::urlFromKey(file->key) != entry.url) {
    *error = kErrorFileNotFound;
    return std::nullopt;
  }
  return file;
}

bool ChromiumSimpleContainer::retrieve(const ContainerEntry& entry,
                                       std::uint32_t* error) {
  std::uint32_t scratch = 0;
  if (!error) error = &scratch;
  if (entry.localPath.empty()) {
    *error = kErrorFileNotFound;
    return false;
  }
  const auto file = reread(entry, error);
  if (!file) return false;
  const auto info = ChromiumResponseInfo::parse(file->stream0);
  if (!info || !hasLocalCopy(*file, *info)) {
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
  const auto file = reread(entry, error);
  if (!file) return nullptr;
  const auto info = ChromiumResponseInfo::parse(file->stream0);
  if (!info || !hasLocalCopy(*file, *info)) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  return bodyOf(*file, *info, error);
}

std::unique_ptr<BodyStream> ChromiumSimpleContainer::bodyOf(
    const ChromiumSimpleEntryFile& file, const ChromiumResponseInfo& info,
    std::uint32_t* error) const {
  const std::string path =
      pathOf(chromium_key::simpleEntryHashText(file.entryHash) +
             kStream01Suffix);
  std::unique_ptr<BodyStream> raw = FileBodyStream::openRange(
      path, file.bodyOffset, static_cast<std::int64_t>(file.bodySize), error);
  if (!raw) return nullptr;
  if (file.bodyCrc)
    raw = std::make_unique<CrcCheckedBodyStream>(std::move(raw), *file.bodyCrc);
  auto decoded =
      makeDecodingStream(std::move(raw), info.headers.value("Content-Encoding"));
  if (!decoded) *error = kErrorInvalidData;
  return decoded;
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
