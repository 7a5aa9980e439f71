#include <gtest/gtest.h>

#include "cache/CacheWalk.h"
#include "cache/FakeUrlCache.h"

using tessarine::CountCacheEntries;
using tessarine::ClearCacheEntries;
using tessarine::walkUrlCache;
using tessarine::test::FakeUrlCache;

namespace {

struct Walk {
  int result = 0;
  int pumps = 0;
  std::vector<std::string> urls;
};

Walk walk(FakeUrlCache& cache) {
  Walk w;
  w.result = walkUrlCache(
      cache,
      [&](const tessarine::INTERNET_CACHE_ENTRY_INFOA& e) {
        w.urls.push_back(e.lpszSourceUrlName);
        return true;
      },
      [&] { ++w.pumps; });
  return w;
}

}  // namespace

TEST(CacheWalkTest, FailedFirstCallEndsWithNullClose) {
  for (tessarine::DWORD code : {tessarine::ERROR_NO_MORE_ITEMS, tessarine::DWORD{5}}) {
    FakeUrlCache cache;
    cache.firstError = code;
    const Walk w = walk(cache);
    EXPECT_EQ(w.result, 0);
    EXPECT_EQ(w.pumps, 0);
    ASSERT_EQ(cache.calls.size(), 2u);
    EXPECT_EQ(cache.calls[0].op, "first");
    EXPECT_EQ(cache.calls[0].bufferStructSize, 4096u);
    EXPECT_EQ(cache.calls[0].sizeIn, 4096u);
    EXPECT_EQ(cache.calls[1].op, "close");
    EXPECT_TRUE(cache.calls[1].nullHandle);
  }
}

TEST(CacheWalkTest, SingleEntryIsCountedWithoutPumping) {
  FakeUrlCache cache;
  cache.entries = {{"http://a/1.gif"}};
  int pumps = 0;
  EXPECT_EQ(CountCacheEntries(cache, [&] { ++pumps; }), 1);
  EXPECT_EQ(pumps, 0);
  EXPECT_EQ(cache.calls.back().op, "close");
  EXPECT_FALSE(cache.calls.back().nullHandle);
}

TEST(CacheWalkTest, PumpsOnceAfterEveryEntryButTheFirst) {
  FakeUrlCache cache;
  cache.entries = {{"a"}, {"b"}, {"c"}, {"d"}};
  const Walk w = walk(cache);
  EXPECT_EQ(w.result, 4);
  EXPECT_EQ(w.pumps, 3);
  EXPECT_EQ(w.urls, (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST(CacheWalkTest, LargeEntryGetsExactlyTheSizeAskedForThenBufferResets) {
  FakeUrlCache cache;
  cache.entries = {{"big-first", 4752}, {"small"}, {"big-later", 5688}, {"after"}};
  const Walk w = walk(cache);
  EXPECT_EQ(w.result, 4);
  std::vector<std::pair<std::string, tessarine::DWORD>> seen;
  for (const auto& c : cache.calls)
    if (c.op != "close") {
      seen.emplace_back(c.op, c.bufferStructSize);
      EXPECT_EQ(c.bufferStructSize, c.sizeIn) << c.op;
    }
  const std::vector<std::pair<std::string, tessarine::DWORD>> expected = {
      {"first", 4096}, {"first", 4752}, {"next", 4096}, {"next", 4096},
      {"next", 5688},  {"next", 4096},  {"next", 4096}};
  EXPECT_EQ(seen, expected);
}

TEST(CacheWalkTest, LaterFailureEndsTheWalkWithWhatWasProcessed) {
  FakeUrlCache cache;
  cache.entries = {{"a"}, {"b"}, {"broken", 200, 1, 87}, {"never"}};
  const Walk w = walk(cache);
  EXPECT_EQ(w.result, 2);
  EXPECT_EQ(w.urls, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(cache.calls.back().op, "close");
  EXPECT_FALSE(cache.calls.back().nullHandle);
}

TEST(CacheWalkTest, HandlerCanEndTheWalkAfterTheCurrentEntry) {
  FakeUrlCache cache;
  cache.entries = {{"a"}, {"b"}, {"c"}};
  std::vector<std::string> urls;
  const int n = walkUrlCache(
      cache,
      [&](const tessarine::INTERNET_CACHE_ENTRY_INFOA& e) {
        urls.push_back(e.lpszSourceUrlName);
        return urls.size() < 2;
      },
      [] {});
  EXPECT_EQ(n, 2);
  EXPECT_EQ(urls.size(), 2u);
  EXPECT_EQ(cache.calls.back().op, "close");
}

TEST(CacheWalkTest, ClearSparesCookiesAndDeletesEveryOtherEntryOnce) {
  FakeUrlCache cache;
  cache.entries = {{"Cookie:u@h/", 200, 0x00100000},
                   {"http://h/a.gif", 200, 1},
                   {"http://h/long", 6000, 5},
                   {"Cookie:u@h/shop", 200, 0x00100000}};
  EXPECT_EQ(ClearCacheEntries(cache, [] {}), 2);
  EXPECT_EQ(cache.deleted, (std::vector<std::string>{"http://h/a.gif", "http://h/long"}));
}

TEST(CacheWalkTest, AnErrorInTheEntrysWorkStillClosesTheEnumeration) {
  FakeUrlCache cache;
  cache.entries = {{"a"}, {"b"}};
  EXPECT_THROW(walkUrlCache(
                   cache,
                   [](const tessarine::INTERNET_CACHE_ENTRY_INFOA& e) -> bool {
                     if (std::string(e.lpszSourceUrlName) == "b") throw std::runtime_error("disk full");
                     return true;
                   },
                   [] {}),
               std::runtime_error);
  EXPECT_EQ(cache.calls.back().op, "close");
  EXPECT_FALSE(cache.calls.back().nullHandle);
}
