#include "platform/urlcache/UrlCacheApi.h"

namespace tessarine {
namespace {

class SystemUrlCache : public UrlCacheApi {
 public:
  HANDLE findFirst(const char* pattern, INTERNET_CACHE_ENTRY_INFOA* info,
                   DWORD* size) override {
    return FindFirstUrlCacheEntryA(pattern, info, size);
  }
  BOOL findNext(HANDLE find, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) override {
    return FindNextUrlCacheEntryA(find, info, size);
  }
  BOOL findClose(HANDLE find) override { return FindCloseUrlCache(find); }
  BOOL retrieve(const char* url, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) override {
    return RetrieveUrlCacheEntryFileA(url, info, size, 0);
  }
  BOOL unlock(const char* url) override { return UnlockUrlCacheEntryFile(url, 0); }
  BOOL deleteEntry(const char* url) override { return DeleteUrlCacheEntry(url); }
  DWORD lastError() override { return GetLastError(); }
  std::unique_ptr<urlcache::BodyStream> openLocalFile(const char* localFileName,
                                                      DWORD* error) override {
    return OpenUrlCacheLocalFile(localFileName, error);
  }
};

}  // namespace

UrlCacheApi& systemUrlCache() {
  static SystemUrlCache api;
  return api;
}

}  // namespace tessarine
