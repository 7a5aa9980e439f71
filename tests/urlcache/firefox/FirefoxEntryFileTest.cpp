#include "platform/urlcache/firefox/FirefoxEntryFile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <optional>
#include <string>
#include <vector>

#include "platform/urlcache/firefox/FirefoxCacheKey.h"
#include "platform/urlcache/firefox/JenkinsHash.h"
#include "urlcache/firefox/FirefoxEntryWriter.h"

namespace tessarine::urlcache {
namespace {

const std::string kEntries =
    std::string(TESSARINE_TEST_DATA) + "/firefox-cache2/cache2/entries/";
const std::string kPeers = std::string(TESSARINE_TEST_DATA) + "/peers-firefox/cache2/";

std::uint32_t be32At(const std::string& s, std::size_t off) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data() + off);
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 |
         std::uint32_t(p[2]) << 8 | p[3];
}

TEST(FirefoxEntryFileTest, JenkinsHashMatchesTheCacheFiles) {
  EXPECT_EQ(jenkinsHash(""), 0xBD49D10Du);
  const std::string log =
      test::readFile(std::string(TESSARINE_TEST_DATA) + "/firefox-cache2/cache2/index.log");
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(be32At(log, 0), jenkinsHash(""));
  // The index's last word hashes its records (after the 20-byte header).
  const std::string index =
      test::readFile(std::string(TESSARINE_TEST_DATA) + "/firefox-cache2/cache2/index");
  ASSERT_EQ(index.size(), 0x46Bu);
  EXPECT_EQ(be32At(index, index.size() - 4), 0xD08A33F5u);
  EXPECT_EQ(jenkinsHash(std::string_view(index).substr(20, index.size() - 24)),
            0xD08A33F5u);
  // Lengths around the 12-byte block boundary take every tail branch.
  const std::string logo = test::readFile(kEntries + "9B40E33DB8CC9989BEE647C8530FB722666F8ADF");
  EXPECT_EQ(jenkinsHash(std::string_view(logo).substr(0xFE + 4, 0x37F - 0xFE - 4)),
            0x4CE33AF0u);
}

TEST(FirefoxEntryFileTest, ReadsCurrentEntries) {
  std::string why;
  const auto logo = FirefoxEntryFile::read(kEntries + "9B40E33DB8CC9989BEE647C8530FB722666F8ADF", &why);
  ASSERT_TRUE(logo) << why;
  EXPECT_EQ(logo->metadataVersion, 4u);
  EXPECT_EQ(logo->fileSize, 903u);
  EXPECT_EQ(logo->dataSize, 254u);
  EXPECT_EQ(logo->bodySize, 254u);
  EXPECT_EQ(logo->checksum, 0x4CE33AF0u);
  EXPECT_EQ(logo->chunkHashes, std::vector<std::uint16_t>{0x690A});
  EXPECT_EQ(logo->fetchCount, 2u);
  EXPECT_EQ(logo->lastFetched, 1796994730u);
  EXPECT_EQ(logo->lastModified, 1796994729u);
  EXPECT_EQ(logo->frecency, 1245641718u);
  EXPECT_EQ(logo->expiration, 1797081127u);
  EXPECT_EQ(logo->key, "O^partitionKey=%28http%2C127.0.0.1%29,:http://127.0.0.1:47811/a/logo.gif");
  EXPECT_EQ(logo->element("strongly-framed"), "1");
  EXPECT_EQ(logo->element("request-method"), "GET");
  EXPECT_EQ(logo->element("response-head")->substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_FALSE(logo->element("alt-data"));

  const auto script = FirefoxEntryFile::read(kEntries + "4AC08EA3D98DC9BF09677C768D775ECE15A5DA46", &why);
  ASSERT_TRUE(script) << why;
  EXPECT_EQ(script->dataSize, 1484u);
  EXPECT_EQ(script->bodySize, 269u);

  const auto poster = FirefoxEntryFile::read(kEntries + "9B7B5D102633D5DF2D0BDEA1BF7886F2DE7B6573", &why);
  ASSERT_TRUE(poster) << why;
  EXPECT_EQ(poster->dataSize, 3072054u);
  ASSERT_EQ(poster->chunkHashes.size(), 12u);
  EXPECT_EQ(poster->chunkHashes.front(), 0x5814);
  EXPECT_EQ(poster->chunkHashes.back(), 0x197E);

  const auto redirect = FirefoxEntryFile::read(kEntries + "8858B5A53FC6372C7E19FAAD6F1AB8A2E6D219C7", &why);
  ASSERT_TRUE(redirect) << why;
  EXPECT_EQ(redirect->dataSize, 0u);
  EXPECT_TRUE(redirect->chunkHashes.empty());
}

TEST(FirefoxEntryFileTest, ReadsOldMetadataVersions) {
  struct Old {
    const char* name;
    std::uint32_t version;
    std::uint64_t dataSize;
    const char* key;
  };
  const std::vector<Old> olds = {
      {"0EDDF8C091E2FED62E44BEDDDC1723F5BF38FE4F", 3, 0,
       "~predictor-origin,:https://www.mozilla.org/"},
      {"0FC75AE83A9F7CAEFD982F3A793D9CDE5166ECD2", 1, 80,
       ":https://github.com/log2timeline/plaso/issues/counts"},
      {"1F4B3A4FC81FB19C530758231FA54313BE8F6FA2", 1, 5663,
       ":https://tiles.cdn.mozilla.net/images/8acf9436e1b315f5f04b9435a518bcd1aef131f8.5663.png"},
      {"9E599395B8E39ED759C56FC9CD6BBD80FBB426DC", 3, 0,
       "~predictor-origin,:http://github.com/"},
  };
  for (const Old& o : olds) {
    std::string why;
    const auto e = FirefoxEntryFile::read(kPeers + o.name, &why);
    ASSERT_TRUE(e) << o.name << ": " << why;
    EXPECT_EQ(e->metadataVersion, o.version) << o.name;
    EXPECT_EQ(e->dataSize, o.dataSize) << o.name;
    EXPECT_EQ(e->key, o.key) << o.name;
  }
  // The fifth file of the set says of itself that it is no cache2 file.
  std::string why;
  EXPECT_FALSE(FirefoxEntryFile::read(kPeers + "C966EB70794E44E7E3E8A260106D0C72439AF65B", &why));
  EXPECT_FALSE(why.empty());
}

TEST(FirefoxEntryFileTest, KeysGiveTheirUrl) {
  struct KeyCase {
    const char* key;
    std::optional<std::string> url;
    bool anonymous;
    const char* origin;
  };
  const std::vector<KeyCase> cases = {
      {"O^partitionKey=%28http%2C127.0.0.1%29,:http://127.0.0.1:47811/a/logo.gif",
       "http://127.0.0.1:47811/a/logo.gif", false, "^partitionKey=%28http%2C127.0.0.1%29"},
      {"O^partitionKey=%28http%2C127.0.0.1%29,a,:http://127.0.0.1:47811/anon/pixel.gif",
       "http://127.0.0.1:47811/anon/pixel.gif", true, "^partitionKey=%28http%2C127.0.0.1%29"},
      {":https://github.com/x", "https://github.com/x", false, ""},
      {"a,:http://h/x:y,z", "http://h/x:y,z", true, ""},
      {"~predictor-origin,:https://www.mozilla.org/", "https://www.mozilla.org/", false, ""},
      {"O^firstPartyDomain=a,,b,~12,:http://h/p", "http://h/p", false, "^firstPartyDomain=a,b"},
      {"b,i7,p,:http://h/q?a=1", "http://h/q?a=1", false, ""},
      {"http://h/no-tag", std::nullopt, false, ""},
      {"O^unclosed:http://h/x", std::nullopt, false, ""},
      {"a,:", std::nullopt, false, ""},
      {"", std::nullopt, false, ""},
      {":http://h/\x01", std::nullopt, false, ""},
      {":http://h/caf\xC3\xA9", std::nullopt, false, ""},
  };
  for (const KeyCase& c : cases) {
    const auto k = FirefoxCacheKey::parse(c.key);
    ASSERT_EQ(k.has_value(), c.url.has_value()) << c.key;
    if (!k) continue;
    EXPECT_EQ(k->url, *c.url) << c.key;
    EXPECT_EQ(k->anonymous, c.anonymous) << c.key;
    EXPECT_EQ(k->originAttributes, c.origin) << c.key;
  }
}

// Each damage is caught by the check aimed at it, not by a later accident.
TEST(FirefoxEntryFileTest, NamesWhatIsWrongWithADamagedEntry) {
  QTemporaryDir tmp;
  const std::string dir = tmp.path().toStdString();
  using W = test::FirefoxEntryWriter;
  struct Damage {
    void (*apply)(W&);
    const char* why;  // "" for a sound entry
  };
  const std::vector<Damage> damages = {
      {[](W&) {}, ""},
      {[](W& w) { w.version = 1; }, ""},
      {[](W& w) { w.version = 2; }, ""},
      {[](W& w) { w.data = std::string(600000, 'd'); }, ""},
      {[](W& w) { w.data = std::string(600000, 'd'); w.chunkHashDelta = -1; }, "version"},
      {[](W& w) { w.data = std::string(600000, 'd'); w.chunkHashDelta = 1; }, "version"},
      {[](W& w) { w.keySizeDelta = 1; }, "key is not terminated"},
      {[](W& w) { w.keySizeDelta = -1; }, "key is not terminated"},
      {[](W& w) { w.keySizeDelta = 1 << 30; }, "key is not terminated"},
      {[](W& w) { w.dropLastNul = true; }, "not terminated"},
      {[](W& w) { w.elements.push_back({"alt-data", "1;7,x"}); }, "past the data"},
      {[](W& w) { w.elements.push_back({"alt-data", "1;3,x"}); }, ""},
      {[](W& w) { w.elements.push_back({"alt-data", "1;,x"}); }, "not a number"},
      {[](W& w) { w.version = 5; w.trailerVersion = 5; }, "version"},
      {[](W& w) { w.version = 3; w.trailerVersion = 4; }, "version"},
      {[](W& w) { w.encrypted = true; }, "encrypted"},
  };
  for (std::size_t i = 0; i < damages.size(); ++i) {
    W w;
    w.key = ":http://h/" + std::to_string(i);
    w.elements = {{"response-head", "HTTP/1.1 200 OK\r\n"}};
    w.data = "012345";
    damages[i].apply(w);
    std::string why;
    const auto e = FirefoxEntryFile::read(w.writeInto(dir), &why);
    const std::string expected = damages[i].why;
    if (expected.empty()) {
      ASSERT_TRUE(e) << i << ": " << why;
      EXPECT_EQ(e->bodySize, i == 11 ? 3u : w.data.size()) << i;
    } else {
      EXPECT_FALSE(e) << i;
      EXPECT_NE(why.find(expected), std::string::npos) << i << ": " << why;
    }
  }
}

}  // namespace
}  // namespace tessarine::urlcache
