#include "platform/urlcache/WinInet.h"

#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/urlcache/UrlCacheConfig.h"
#include "platform/urlcache/UrlCacheView.h"

namespace tessarine {

using urlcache::Container;
using urlcache::ContainerEntry;
using urlcache::UrlCacheView;

namespace {

thread_local DWORD lastError = 0;

BOOL fail(DWORD code) {
  lastError = code;
  return 0;
}

// The containers being served, the latest snapshot and the locks.
class UrlCacheService {
 public:
  static UrlCacheService& instance() {
    static UrlCacheService service;
    return service;
  }

  // A fresh snapshot of every container; also kept for lookups by URL.
  std::shared_ptr<UrlCacheView> refresh() {
    const unsigned generation = urlcache::configGeneration();
    const std::vector<std::string> folders = urlcache::cacheFolders();
    std::lock_guard lock(mutex_);
    generation_ = generation;
    if (folders != folders_) {
      folders_ = folders;
      containers_.clear();
      containers_.resize(folders_.size());
    }
    for (std::size_t i = 0; i < folders_.size(); ++i)
      if (!containers_[i]) containers_[i] = std::shared_ptr<Container>(urlcache::openContainer(folders_[i]));
    latest_ = UrlCacheView::build(containers_);
    return latest_;
  }

  // The latest snapshot, or a fresh one when there is none yet.
  // A snapshot of other folders than those served now does not count.
  std::shared_ptr<UrlCacheView> latest() {
    {
      std::lock_guard lock(mutex_);
      if (latest_ && generation_ == urlcache::configGeneration()) return latest_;
    }
    return refresh();
  }

  // Drops a deleted URL from the lookups of `view` (enumerations keep it).
  void forget(const std::shared_ptr<UrlCacheView>& view, const std::string& url) {
    std::lock_guard lock(mutex_);
    view->forget(url);
  }

  void lock(const std::string& url) {
    std::lock_guard lock(mutex_);
    ++locks_[url];
  }

  bool unlock(const std::string& url) {
    std::lock_guard lock(mutex_);
    const auto it = locks_.find(url);
    if (it == locks_.end()) return false;
    if (--it->second == 0) locks_.erase(it);
    return true;
  }

  struct Enumeration {
    std::shared_ptr<UrlCacheView> view;
    std::string pattern;
    bool allEntries = true;
    std::size_t next = 0;
  };

  HANDLE open(Enumeration e) {
    std::lock_guard lock(mutex_);
    auto* handle = new Enumeration(std::move(e));
    handles_.insert(handle);
    return handle;
  }

  Enumeration* get(HANDLE h) {
    std::lock_guard lock(mutex_);
    auto* e = static_cast<Enumeration*>(h);
    return handles_.count(e) ? e : nullptr;
  }

  bool close(HANDLE h) {
    std::lock_guard lock(mutex_);
    auto* e = static_cast<Enumeration*>(h);
    if (!handles_.erase(e)) return false;
    delete e;
    return true;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> folders_;
  unsigned generation_ = 0;
  std::vector<std::shared_ptr<Container>> containers_;
  std::shared_ptr<UrlCacheView> latest_;
  std::map<std::string, int> locks_;
  std::set<Enumeration*> handles_;
};

constexpr std::size_t roundUp4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

FILETIME toFileTime(std::uint64_t t) {
  return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFFu), static_cast<DWORD>(t >> 32)};
}

// Writes the record and its strings into the caller's buffer, or reports
// the size needed.
bool fillRecord(const ContainerEntry& e, bool withLocalFile,
                INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) {
  const bool local = withLocalFile && !e.localPath.empty();
  const bool ext = !e.fileExtension.empty();
  const std::size_t need = sizeof(INTERNET_CACHE_ENTRY_INFOA) + roundUp4(e.url.size() + 1) +
                           (local ? roundUp4(e.localPath.size() + 1) : 0) +
                           roundUp4(e.headers.size()) +
                           (ext ? roundUp4(e.fileExtension.size() + 1) : 0);
  if (need > 0xFFFFFFFFu) return fail(urlcache::kErrorInvalidData);
  if (!size) return fail(urlcache::kErrorInvalidParameter);
  if (!info || *size < need) {
    *size = static_cast<DWORD>(need);
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  char* base = reinterpret_cast<char*>(info);
  std::size_t at = sizeof(INTERNET_CACHE_ENTRY_INFOA);
  auto put = [&](const std::string& s, bool terminate) {
    char* p = base + at;
    std::memcpy(p, s.data(), s.size());
    if (terminate) p[s.size()] = '\0';
    at += roundUp4(s.size() + (terminate ? 1 : 0));
    return p;
  };
  std::memset(info, 0, sizeof(INTERNET_CACHE_ENTRY_INFOA));
  info->dwStructSize = sizeof(INTERNET_CACHE_ENTRY_INFOA);
  info->lpszSourceUrlName = put(e.url, true);
  info->lpszLocalFileName = local ? put(e.localPath, true) : nullptr;
  info->lpHeaderInfo = e.headers.empty() ? nullptr : put(e.headers, false);
  info->dwHeaderInfoSize = static_cast<DWORD>(e.headers.size());
  info->lpszFileExtension = ext ? put(e.fileExtension, true) : nullptr;
  info->CacheEntryType = e.entryType;
  info->dwUseCount = e.useCount;
  info->dwHitRate = e.hitRate;
  info->dwSizeLow = static_cast<DWORD>(e.size & 0xFFFFFFFFu);
  info->dwSizeHigh = static_cast<DWORD>(e.size >> 32);
  info->LastModifiedTime = toFileTime(e.lastModified);
  info->ExpireTime = toFileTime(e.expire);
  info->LastAccessTime = toFileTime(e.lastAccess);
  info->LastSyncTime = toFileTime(e.lastSync);
  info->dwExemptDelta = e.exemptDelta;
  *size = static_cast<DWORD>(need);
  return true;
}

bool matches(const UrlCacheService::Enumeration& e, const ContainerEntry& entry) {
  if (e.allEntries) return true;
  if (e.pattern == "Cookie:") return (entry.entryType & COOKIE_CACHE_ENTRY) != 0;
  if (e.pattern.empty()) return (entry.entryType & COOKIE_CACHE_ENTRY) == 0;
  return entry.url.compare(0, e.pattern.size(), e.pattern) == 0;
}

// Fills the next matching entry from e.next on; advances only on success.
BOOL nextEntry(UrlCacheService::Enumeration& e, INTERNET_CACHE_ENTRY_INFOA* info,
               DWORD* size) {
  const auto& urls = e.view->urls();
  while (e.next < urls.size() && !matches(e, urls[e.next].current().entry)) ++e.next;
  if (e.next >= urls.size()) return fail(ERROR_NO_MORE_ITEMS);
  if (!fillRecord(urls[e.next].current().entry, true, info, size)) return 0;
  ++e.next;
  return 1;
}

}  // namespace

HANDLE FindFirstUrlCacheEntryA(const char* pattern, INTERNET_CACHE_ENTRY_INFOA* info,
                               DWORD* size) {
  UrlCacheService& service = UrlCacheService::instance();
  UrlCacheService::Enumeration e;
  e.view = service.refresh();
  e.allEntries = pattern == nullptr;
  if (pattern) e.pattern = pattern;
  if (!nextEntry(e, info, size)) return nullptr;
  return service.open(std::move(e));
}

BOOL FindNextUrlCacheEntryA(HANDLE find, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) {
  UrlCacheService::Enumeration* e = UrlCacheService::instance().get(find);
  if (!e) return fail(urlcache::kErrorInvalidParameter);
  return nextEntry(*e, info, size);
}

BOOL FindCloseUrlCache(HANDLE find) {
  if (!UrlCacheService::instance().close(find)) return fail(urlcache::kErrorInvalidParameter);
  return 1;
}

BOOL RetrieveUrlCacheEntryFileA(const char* url, INTERNET_CACHE_ENTRY_INFOA* info,
                                DWORD* size, DWORD) {
  if (!url) return fail(urlcache::kErrorInvalidParameter);
  UrlCacheService& service = UrlCacheService::instance();
  const UrlCacheView::Url* found = nullptr;
  std::shared_ptr<UrlCacheView> view = service.latest();
  found = view->find(url);
  if (!found) {
    view = service.refresh();
    found = view->find(url);
  }
  if (!found) return fail(urlcache::kErrorFileNotFound);
  const UrlCacheView::Copy& copy = found->current();
  if (copy.entry.localPath.empty()) return fail(urlcache::kErrorInvalidData);
  DWORD error = 0;
  if (!copy.container->retrieve(copy.entry, &error))
    return fail(error ? error : urlcache::kErrorFileNotFound);
  if (!fillRecord(copy.entry, true, info, size)) return 0;
  service.lock(url);
  return 1;
}

BOOL UnlockUrlCacheEntryFile(const char* url, DWORD) {
  if (!url || !UrlCacheService::instance().unlock(url))
    return fail(urlcache::kErrorFileNotFound);
  return 1;
}

BOOL DeleteUrlCacheEntry(const char* url) {
  if (!url) return fail(urlcache::kErrorInvalidParameter);
  UrlCacheService& service = UrlCacheService::instance();
  std::shared_ptr<UrlCacheView> view = service.latest();
  const UrlCacheView::Url* found = view->find(url);
  if (!found) {
    view = service.refresh();
    found = view->find(url);
  }
  if (!found) return fail(urlcache::kErrorFileNotFound);
  DWORD error = 0;
  bool removedAll = true;
  for (const UrlCacheView::Copy& copy : found->copies) {
    const DWORD e = copy.container->remove(copy.entry);
    if (e != urlcache::kErrorSuccess) {
      removedAll = false;
      if (error == 0) error = e;
    }
  }
  // A clear deletes every entry: forgetting one URL keeps it linear, where
  // a fresh snapshot per delete would not be.
  if (removedAll) service.forget(view, url);
  if (error) return fail(error);
  return 1;
}

DWORD GetLastError() { return lastError; }

std::unique_ptr<urlcache::BodyStream> OpenUrlCacheLocalFile(const char* localFileName,
                                                            DWORD* error) {
  DWORD dummy = 0;
  if (!error) error = &dummy;
  if (!localFileName) {
    *error = urlcache::kErrorInvalidParameter;
    return nullptr;
  }
  UrlCacheService& service = UrlCacheService::instance();
  std::shared_ptr<UrlCacheView> view = service.latest();
  const UrlCacheView::Copy* copy = view->findLocal(localFileName);
  if (!copy) {
    view = service.refresh();
    copy = view->findLocal(localFileName);
  }
  if (!copy) {
    *error = urlcache::kErrorFileNotFound;
    return nullptr;
  }
  return copy->container->openBody(copy->entry, error);
}

}  // namespace tessarine
