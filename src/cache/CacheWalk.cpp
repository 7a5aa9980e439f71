#include "cache/CacheWalk.h"

#include <QCoreApplication>

#include "cache/EntryBuffer.h"

namespace tessarine {

void processPendingMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

namespace {

// Closes the enumeration however the walk ends, an error in the entry's
// work included.
struct EnumerationCloser {
  UrlCacheApi& api;
  HANDLE find;
  ~EnumerationCloser() { api.findClose(find); }
};

}  // namespace

int walkUrlCache(UrlCacheApi& api, const EntryHandler& onEntry, const MessagePump& pump) {
  DWORD size = kEntryBufferSize;
  EntryBuffer buffer(size);
  HANDLE find = nullptr;
  for (;;) {
    buffer.reset(size);
    find = api.findFirst(nullptr, buffer.info(), &size);
    if (find) break;
    // Growth must be real, or a confused cache would spin here for ever.
    if (api.lastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size()) {
      api.findClose(nullptr);
      return 0;
    }
  }
  const EnumerationCloser closer{api, find};
  int handled = 1;
  bool goOn = onEntry(*buffer.info());
  while (goOn) {
    size = kEntryBufferSize;
    for (;;) {
      buffer.reset(size);
      if (api.findNext(find, buffer.info(), &size)) {
        ++handled;
        goOn = onEntry(*buffer.info());
        if (pump) pump();
        break;
      }
      if (api.lastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size()) {
        goOn = false;
        break;
      }
    }
  }
  return handled;
}

int CountCacheEntries(UrlCacheApi& api, const MessagePump& pump) {
  return walkUrlCache(api, [](const INTERNET_CACHE_ENTRY_INFOA&) { return true; }, pump);
}

int ClearCacheEntries(UrlCacheApi& api, const MessagePump& pump) {
  int deleted = 0;
  walkUrlCache(
      api,
      [&](const INTERNET_CACHE_ENTRY_INFOA& entry) {
        if ((entry.CacheEntryType & COOKIE_CACHE_ENTRY) == 0 && entry.lpszSourceUrlName) {
          api.deleteEntry(entry.lpszSourceUrlName);
          ++deleted;
        }
        return true;
      },
      pump);
  return deleted;
}

}  // namespace tessarine
