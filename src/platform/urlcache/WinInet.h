#pragma once

// The URL cache operations the cache walks are written against, with the
// contract of WinINet's ANSI functions, served from this machine's browser
// caches (see UrlCacheConfig.h for which ones). All text is UTF-8.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/urlcache/BodyStream.h"
#include "platform/urlcache/Container.h"

namespace tessarine {

using DWORD = std::uint32_t;
using BOOL = int;
using HANDLE = void*;
using LPSTR = char*;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// The record an enumeration or retrieval writes into the caller's buffer;
// the strings it points to follow it in the same buffer.
struct INTERNET_CACHE_ENTRY_INFOA {
  DWORD dwStructSize;
  LPSTR lpszSourceUrlName;
  LPSTR lpszLocalFileName;
  DWORD CacheEntryType;
  DWORD dwUseCount;
  DWORD dwHitRate;
  DWORD dwSizeLow;
  DWORD dwSizeHigh;
  FILETIME LastModifiedTime;
  FILETIME ExpireTime;
  FILETIME LastAccessTime;
  FILETIME LastSyncTime;
  LPSTR lpHeaderInfo;
  DWORD dwHeaderInfoSize;
  LPSTR lpszFileExtension;
  union {
    DWORD dwReserved;
    DWORD dwExemptDelta;
  };
};

constexpr DWORD ERROR_INSUFFICIENT_BUFFER = urlcache::kErrorInsufficientBuffer;
constexpr DWORD ERROR_NO_MORE_ITEMS = urlcache::kErrorNoMoreItems;
constexpr DWORD COOKIE_CACHE_ENTRY = urlcache::kCookieCacheEntry;

// Opens an enumeration of the entries whose URL starts with `pattern`
// (nullptr: every entry; "Cookie:" the cookie entries) and writes the first
// into `info`. On failure returns nullptr and GetLastError() says why:
// ERROR_INSUFFICIENT_BUFFER (*size then holds the size needed),
// ERROR_NO_MORE_ITEMS (no entry), or another code. On success *size holds
// the size the entry took.
HANDLE FindFirstUrlCacheEntryA(const char* pattern,
                               INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size);

// The next entry of the enumeration, with FindFirstUrlCacheEntryA's rules;
// 0 on failure (ERROR_NO_MORE_ITEMS at the end). A failure for want of
// buffer does not advance: the same entry comes with a larger buffer.
BOOL FindNextUrlCacheEntryA(HANDLE find, INTERNET_CACHE_ENTRY_INFOA* info,
                            DWORD* size);

// Ends an enumeration; nullptr and unknown handles are ignored (0 returned).
BOOL FindCloseUrlCache(HANDLE find);

// Writes the entry of `url` with its local file into `info` and locks it;
// 0 on failure: ERROR_INSUFFICIENT_BUFFER (*size holds the need), 2 when the
// entry or its file is gone, 13 when the entry has no local copy.
BOOL RetrieveUrlCacheEntryFileA(const char* url,
                                INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size,
                                DWORD reserved);

// Releases a lock taken by RetrieveUrlCacheEntryFileA; 0 when none was held.
BOOL UnlockUrlCacheEntryFile(const char* url, DWORD reserved);

// Removes every entry `url` stands for, in every container; 0 on failure
// (2: not cached; 32: the cache is in use by another program).
BOOL DeleteUrlCacheEntry(const char* url);

// The error code of this thread's last failed URL cache call.
DWORD GetLastError();

// Opens a local copy named by lpszLocalFileName for reading: the file
// itself for IE entries, the decoded body inside the browser's files for
// the others. nullptr with *error set when it cannot be opened.
std::unique_ptr<urlcache::BodyStream> OpenUrlCacheLocalFile(
    const char* localFileName, DWORD* error);

}  // namespace tessarine
