#pragma once

#include <functional>

#include "platform/urlcache/UrlCacheApi.h"

namespace tessarine {

// The starting size of every entry buffer of a walk.
constexpr DWORD kEntryBufferSize = 4096;

// Work for one entry; return false to end the walk after it.
using EntryHandler = std::function<bool(const INTERNET_CACHE_ENTRY_INFOA& entry)>;

// Lets the application handle its pending window messages once.
using MessagePump = std::function<void()>;

// QCoreApplication::processEvents() when an application object exists.
void processPendingMessages();

// Walks the URL cache by the one enumeration protocol every walk uses: a
// 4096-byte buffer per step (dwStructSize = buffer size), grown to exactly
// the size asked for on ERROR_INSUFFICIENT_BUFFER and reset for the next
// step; FindCloseUrlCache with a null handle when the first call fails; the
// pump after every entry but the first. Any other error ends the walk
// silently. Returns the number of entries handed to `onEntry`.
int walkUrlCache(UrlCacheApi& api, const EntryHandler& onEntry,
                 const MessagePump& pump = processPendingMessages);

// The number of entries the cache enumerates now.
int CountCacheEntries(UrlCacheApi& api = systemUrlCache(),
                      const MessagePump& pump = processPendingMessages);

// Deletes every entry whose type lacks COOKIE_CACHE_ENTRY, in one walk.
// Returns the number of entries passed to DeleteUrlCacheEntry.
int ClearCacheEntries(UrlCacheApi& api = systemUrlCache(),
                      const MessagePump& pump = processPendingMessages);

}  // namespace tessarine
