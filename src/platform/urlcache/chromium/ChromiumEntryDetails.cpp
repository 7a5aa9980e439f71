#include "platform/urlcache/chromium/ChromiumEntryDetails.h"

#include <limits>

#include <sys/stat.h>

#include "platform/urlcache/chromium/ChromiumSimpleFormat.h"

namespace tessarine::urlcache::chromium_details {
namespace {

using chromium_simple::kFiletimeUnitsPerMicrosecond;

// Enough of the decoded body for QMimeDatabase to tell its type.
constexpr std::size_t kSniffBytes = 512;
// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDeltaSeconds = 11644473600LL;
constexpr std::int64_t kFiletimePerSecond = 10000000LL;

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

// A local copy name we can put under the folder: one plain file name.
bool isSafeName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string cacheFolderOf(const std::string& folder) {
  std::string dir = folder;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir.empty() || !isDirectory(dir)) return {};
  struct stat st {};
  // Every backend keeps a file of this name in its folder.
  if (::lstat((dir + "/" + chromium_simple::kIndexFileName).c_str(), &st) == 0) return dir;
  const std::string data = dir + "/" + chromium_simple::kCacheDataFolder;
  return isDirectory(data) ? data : std::string();
}

void describeResponse(const HttpHeaders& headers,
                      std::int64_t responseTimeMicros, ContainerEntry* e) {
  e->headers = headers.text();
  e->lastSync = filetimeOf(responseTimeMicros);
  e->lastAccess = e->lastSync;
  e->lastModified = filetimeOfHttpDate(headers.value("Last-Modified"));
  const std::int64_t maxAge = maxAgeOf(headers.value("Cache-Control"));
  if (maxAge >= 0 && e->lastSync)
    e->expire =
        e->lastSync + static_cast<std::uint64_t>(maxAge) * kFiletimePerSecond;
}

std::int64_t contentLengthOf(std::string_view v) {
  if (v.empty() || v.size() > 18) return -1;
  std::int64_t n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::string localCopyName(
    LocalCopyNamer& namer, std::string_view url, std::string_view contentType,
    const std::function<std::unique_ptr<BodyStream>()>& openBody) {
  std::string sniff;
  if (namer.needsSniff(contentType)) {
    auto body = openBody();
    if (!body) return {};
    sniff.resize(kSniffBytes);
    std::size_t have = 0;
    while (have < sniff.size()) {
      const std::int64_t got =
          body->read(sniff.data() + have, sniff.size() - have);
      if (got < 0) return {};
      if (got == 0) break;
      have += static_cast<std::size_t>(got);
    }
    sniff.resize(have);
  }
  std::string name = namer.name(url, contentType, sniff);
  return isSafeName(name) ? name : std::string();
}

std::string extensionOf(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

}  // namespace tessarine::urlcache::chromium_details
