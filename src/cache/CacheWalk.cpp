#include "cache/CacheWalk.h"

#include <QCoreApplication>

#include "cache/EntryBuffer.h"

namespace tessarine {

void processPendingMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

int walkUrlCache(UrlCacheApi& api, const EntryHandler& onEntry, const MessagePump& pump) {
  DWORD size = kEntryBufferSize;
  HANDLE find = nullptr;
  for (;;) {
    EntryBuffer buffer(size);
    find = api.findFirst(nullptr, buffer.info(), &size);
    if (find) {
      const bool goOn = onEntry(*buffer.info());
      if (!goOn) {
        api.findClose(find);
        return 1;
      }
      break;
    }
    // Growth must be real, or a confused cache would spin here for ever.
    if (api.lastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size()) {
      api.findClose(nullptr);
      return 0;
    }
  }

  int handled = 1;
  for (;;) {
    size = kEntryBufferSize;
    bool got = false;
    for (;;) {
      EntryBuffer buffer(size);
      if (api.findNext(find, buffer.info(), &size)) {
        got = true;
        ++handled;
        const bool goOn = onEntry(*buffer.info());
        if (pump) pump();
        if (!goOn) got = false;
        break;
      }
      if (api.lastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size()) break;
    }
    if (!got) break;
  }
  api.findClose(find);
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
