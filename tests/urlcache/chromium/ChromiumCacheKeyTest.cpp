#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"

namespace key = tessarine::urlcache::chromium_key;
using tessarine::urlcache::ByteReader;
using namespace std::string_literals;

namespace {

const std::string kCache = TESSARINE_TEST_DATA "/chromium-simple/cache";

TEST(ChromiumCacheKeyTest, UrlIsTheKeyWithoutItsPrefixes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8123/index.html",
       "http://127.0.0.1:8123/index.html"},
      {"1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8123/files/"
       "my%20photo%20%C3%A9t%C3%A9.gif",
       "http://127.0.0.1:8123/files/my%20photo%20%C3%A9t%C3%A9.gif"},
      {"0/0/_dk_s_cn_https://a.com https://b.org https://c.net/x?y=1",
       "https://c.net/x?y=1"},
      {"1/12/https://a.com/post", "https://a.com/post"},
      {"7/https://a.com/old", "https://a.com/old"},
      {"https://a.com/bare", "https://a.com/bare"},
      {"Range_1/0/_dk_http://127.0.0.1 http://127.0.0.1 "
       "http://127.0.0.1:8125/video/trailer.webm:2fc0f1ce7d8dc5:0",
       "http://127.0.0.1:8125/video/trailer.webm"},
      {"http://a/\xe9", "http://a/\xc3\xa9"},         // Latin-1 read leniently
      {"http://a/\xc3\xa9", "http://a/\xc3\xa9"},     // UTF-8 kept
      // Not URLs: nothing to list.
      {"", ""},
      {"1/0/", ""},
      {"1/0/_dk_nospace", ""},
      {"1/0/_dk_http://a http://a relative/path", ""},
      {"Range_1/0/http://a/x", ""},
      {"1/0/http://a/\x01x", ""},
      {"http://a/\0x"s, ""},
      {"http://a/\x7f", ""},
      {"1/0/:nothing", ""},
      {"1/0/http:", ""},
  };
  for (const auto& [k, url] : cases) {
    SCOPED_TRACE(k);
    EXPECT_EQ(key::urlFromKey(k), url);
  }
}

TEST(ChromiumCacheKeyTest, WorkedExampleHashes) {
  const std::string k =
      "1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8123/a/logo.gif";
  EXPECT_EQ(key::superFastHash(k), 0x42b3aa8au);
  EXPECT_EQ(key::simpleEntryHash(k), 0x0b5920329ca83709ULL);
  EXPECT_EQ(key::simpleEntryHashText(0x0b5920329ca83709ULL), "0b5920329ca83709");
  EXPECT_EQ(key::simpleEntryHashText(0x1ULL), "0000000000000001");
  EXPECT_EQ(key::superFastHash(""), 0u);
}

// Every entry file Chromium wrote: its header's key hash is SuperFastHash of
// its key and its name comes from the key's SHA-1.
TEST(ChromiumCacheKeyTest, HashesMatchEveryFixtureFile) {
  int files = 0;
  for (const auto& f : std::filesystem::directory_iterator(kCache)) {
    const std::string name = f.path().filename().string();
    if (name.size() != 18 || name[16] != '_') continue;
    SCOPED_TRACE(name);
    std::ifstream in(f.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const ByteReader r(bytes);
    const auto keyLength = r.u32(12);
    ASSERT_TRUE(keyLength);
    const auto k = r.bytes(24, *keyLength);
    ASSERT_TRUE(k);
    EXPECT_EQ(key::superFastHash(*k), r.u32(16));
    EXPECT_EQ(key::simpleEntryHashText(key::simpleEntryHash(*k)),
              name.substr(0, 16));
    EXPECT_FALSE(key::urlFromKey(*k).empty());
    ++files;
  }
  EXPECT_EQ(files, 32);  // 31 `_0` files and one `_s`
}

}  // namespace
