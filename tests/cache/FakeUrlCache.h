#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/urlcache/UrlCacheApi.h"

namespace tessarine::test {

// A scripted URL cache: entries with the buffer size each needs, and an
// optional error in place of the entry at some position. Records every call.
class FakeUrlCache : public UrlCacheApi {
 public:
  struct Entry {
    std::string url;
    DWORD need = 200;   // bytes the record needs
    DWORD type = 1;
    DWORD failWith = 0;  // non-zero: the call for this position fails so
  };
  struct Call {
    std::string op;
    DWORD bufferStructSize = 0;  // dwStructSize the caller set
    DWORD sizeIn = 0;            // the size variable on the way in
    bool nullHandle = false;
  };

  std::vector<Entry> entries;
  DWORD firstError = 0;  // non-zero: findFirst fails with it when no entries
  std::vector<Call> calls;
  std::vector<std::string> deleted;

  HANDLE findFirst(const char*, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) override {
    calls.push_back({"first", info->dwStructSize, *size, false});
    pos_ = 0;
    if (entries.empty()) {
      error_ = firstError ? firstError : ERROR_NO_MORE_ITEMS;
      return nullptr;
    }
    return fill(info, size) ? this : nullptr;
  }
  BOOL findNext(HANDLE h, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) override {
    calls.push_back({"next", info->dwStructSize, *size, h == nullptr});
    if (pos_ >= entries.size()) {
      error_ = ERROR_NO_MORE_ITEMS;
      return 0;
    }
    return fill(info, size);
  }
  BOOL findClose(HANDLE h) override {
    calls.push_back({"close", 0, 0, h == nullptr});
    return 1;
  }
  BOOL retrieve(const char*, INTERNET_CACHE_ENTRY_INFOA*, DWORD*) override { return 0; }
  BOOL unlock(const char*) override { return 0; }
  BOOL deleteEntry(const char* url) override {
    deleted.push_back(url);
    return 1;
  }
  DWORD lastError() override { return error_; }
  std::unique_ptr<urlcache::BodyStream> openLocalFile(const char*, DWORD*) override {
    return nullptr;
  }

 private:
  bool fill(INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) {
    const Entry& e = entries[pos_];
    if (e.failWith) {
      error_ = e.failWith;
      return false;
    }
    if (*size < e.need) {
      *size = e.need;
      error_ = ERROR_INSUFFICIENT_BUFFER;
      return false;
    }
    urls_.push_back(e.url);
    std::memset(info, 0, sizeof(*info));
    info->dwStructSize = sizeof(*info);
    info->lpszSourceUrlName = urls_.back().data();
    info->CacheEntryType = e.type;
    *size = e.need;
    ++pos_;
    return true;
  }

  std::size_t pos_ = 0;
  DWORD error_ = 0;
  std::vector<std::string> urls_;
};

}  // namespace tessarine::test
