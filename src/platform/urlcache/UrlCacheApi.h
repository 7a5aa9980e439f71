#pragma once

#include <memory>

#include "platform/urlcache/WinInet.h"

namespace tessarine {

// The URL cache operations as one replaceable seam, so the walks can be
// driven by a scripted cache in tests. systemUrlCache() is the real one.
class UrlCacheApi {
 public:
  virtual ~UrlCacheApi() = default;
  virtual HANDLE findFirst(const char* pattern, INTERNET_CACHE_ENTRY_INFOA* info,
                           DWORD* size) = 0;
  virtual BOOL findNext(HANDLE find, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) = 0;
  virtual BOOL findClose(HANDLE find) = 0;
  virtual BOOL retrieve(const char* url, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) = 0;
  virtual BOOL unlock(const char* url) = 0;
  virtual BOOL deleteEntry(const char* url) = 0;
  virtual DWORD lastError() = 0;
  virtual std::unique_ptr<urlcache::BodyStream> openLocalFile(const char* localFileName,
                                                              DWORD* error) = 0;
};

// The URL cache of this machine (the functions of WinInet.h).
UrlCacheApi& systemUrlCache();

}  // namespace tessarine
