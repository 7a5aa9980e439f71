#include "platform/urlcache/firefox/FirefoxCache2Container.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "urlcache/firefox/FirefoxEntryWriter.h"

namespace tessarine::urlcache {
namespace {

namespace fs = std::filesystem;
using test::FirefoxEntryWriter;

const std::string kSet = std::string(TESSARINE_TEST_DATA) + "/firefox-cache2";
const std::string kRoot = kSet + "/cache2";
const std::string kPeers = std::string(TESSARINE_TEST_DATA) + "/peers-firefox/cache2";
constexpr const char* kHost = "http://127.0.0.1:47811";

struct ManifestRow {
  std::string url;
  int status = 0;
  std::string sha256;
  bool inCache = false;
};

std::vector<ManifestRow> manifest() {
  std::ifstream in(kSet + "/manifest.tsv");
  std::vector<ManifestRow> rows;
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> cols;
    std::stringstream ss(line);
    for (std::string col; std::getline(ss, col, '\t');) cols.push_back(col);
    if (cols.size() < 8) continue;
    rows.push_back({cols[0], std::stoi(cols[2]), cols[6], cols[7] == "yes"});
  }
  return rows;
}

// The whole body through openBody(); nullopt when it cannot be read.
std::optional<std::string> body(Container& c, const ContainerEntry& e) {
  std::uint32_t error = 0;
  auto s = c.openBody(e, &error);
  if (!s) return std::nullopt;
  std::string out;
  char buf[65536];
  for (;;) {
    const std::int64_t n = s->read(buf, sizeof buf);
    if (n < 0) return std::nullopt;
    if (n == 0) return out;
    out.append(buf, static_cast<std::size_t>(n));
  }
}

std::string sha256(const std::string& s) {
  return QCryptographicHash::hash(QByteArray::fromStdString(s),
                                  QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

std::string baseName(const std::string& path) {
  return fs::path(path).filename().string();
}

std::set<std::string> filesUnder(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& f : fs::recursive_directory_iterator(dir))
    out.insert(fs::relative(f.path(), dir).string());
  return out;
}

// A writable copy of the fixture folder.
std::string copyOfRoot(const QTemporaryDir& tmp) {
  const std::string dst = tmp.path().toStdString() + "/cache2";
  fs::copy(kRoot, dst, fs::copy_options::recursive);
  for (const auto& f : fs::recursive_directory_iterator(dst))
    fs::permissions(f.path(), fs::perms::owner_write, fs::perm_options::add);
  return dst;
}

TEST(FirefoxCache2ContainerTest, ServesTheCachedUrlsAndTheirBodies) {
  auto c = FirefoxCache2Container::open(kRoot);
  ASSERT_TRUE(c);
  const std::vector<ContainerEntry> entries = c->enumerate();
  ASSERT_EQ(entries.size(), 27u);

  std::set<std::string> expected, expectedCopies, got, gotCopies;
  std::map<std::string, std::string> shaOf;
  for (const ManifestRow& r : manifest()) {
    if (!r.inCache) continue;
    expected.insert(r.url);
    if (r.status == 200) expectedCopies.insert(r.url);
    shaOf[r.url] = r.sha256;
  }
  for (const ContainerEntry& e : entries) {
    got.insert(e.url);
    EXPECT_EQ(e.entryType, kNormalCacheEntry);
    EXPECT_EQ(fs::path(e.keyPath).parent_path().string(), kRoot + "/entries");
    if (e.localPath.empty()) {
      std::uint32_t error = 0;
      EXPECT_FALSE(c->retrieve(e, &error)) << e.url;
      EXPECT_EQ(error, kErrorFileNotFound);
      EXPECT_FALSE(c->openBody(e, &error)) << e.url;
      continue;
    }
    gotCopies.insert(e.url);
    EXPECT_EQ(fs::path(e.localPath).parent_path().string(), kRoot);
    std::uint32_t error = 1;
    EXPECT_TRUE(c->retrieve(e, &error)) << e.url;
    const auto b = body(*c, e);
    ASSERT_TRUE(b) << e.url;
    EXPECT_EQ(sha256(*b), shaOf[e.url]) << e.url;
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(gotCopies, expectedCopies);
  EXPECT_EQ(got.count(std::string(kHost) + "/private/secret.png"), 0u);
}

TEST(FirefoxCache2ContainerTest, ReportsWhatTheMetadataSays) {
  auto c = FirefoxCache2Container::open(kRoot);
  ASSERT_TRUE(c);
  std::map<std::string, std::vector<ContainerEntry>> byUrl;
  for (const ContainerEntry& e : c->enumerate()) byUrl[e.url].push_back(e);

  const ContainerEntry& logo = byUrl[std::string(kHost) + "/a/logo.gif"].at(0);
  EXPECT_EQ(logo.size, 254u);
  EXPECT_EQ(logo.hitRate, 2u);
  // 1796994730 s after 1970 as FILETIME.
  EXPECT_EQ(logo.lastAccess, (1796994730ULL + 11644473600ULL) * 10000000ULL);
  EXPECT_EQ(logo.lastModified, (1796994729ULL + 11644473600ULL) * 10000000ULL);
  EXPECT_EQ(logo.expire, (1797081127ULL + 11644473600ULL) * 10000000ULL);
  EXPECT_EQ(logo.headers.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_NE(logo.headers.find("Content-Type: image/gif\r\n"), std::string::npos);
  EXPECT_EQ(logo.headers.substr(logo.headers.size() - 4), "\r\n\r\n");
  EXPECT_EQ(logo.fileExtension, "gif");

  // Stored sizes: the encoded body, the script without its bytecode.
  EXPECT_EQ(byUrl[std::string(kHost) + "/styles/site.css"].at(0).size, 1217u);
  EXPECT_EQ(byUrl[std::string(kHost) + "/scripts/app.js"].at(0).size, 269u);
  EXPECT_EQ(byUrl[std::string(kHost) + "/moved/thumb"].at(0).size, 0u);
  EXPECT_NE(byUrl[std::string(kHost) + "/moved/thumb"].at(0).headers.find("Location:"),
            std::string::npos);

  // One URL held twice (plain and anonymous): both served, named apart.
  const auto& sunsets = byUrl[std::string(kHost) + "/images/sunset.jpeg"];
  ASSERT_EQ(sunsets.size(), 2u);
  EXPECT_NE(sunsets[0].keyPath, sunsets[1].keyPath);
  EXPECT_EQ(std::set<std::string>({baseName(sunsets[0].localPath),
                                   baseName(sunsets[1].localPath)}),
            std::set<std::string>({"sunset[1].jpeg", "sunset[2].jpeg"}));
  EXPECT_EQ(body(*c, sunsets[0]), body(*c, sunsets[1]));
}

TEST(FirefoxCache2ContainerTest, NamesTheSpecialCases) {
  auto c = FirefoxCache2Container::open(kRoot);
  ASSERT_TRUE(c);
  std::map<std::string, std::set<std::string>> names;
  for (const ContainerEntry& e : c->enumerate())
    if (!e.localPath.empty()) names[e.url].insert(baseName(e.localPath));
  const auto name = [&](const char* path) {
    const auto& n = names[std::string(kHost) + path];
    return n.size() == 1 ? *n.begin() : std::string("?");
  };
  EXPECT_EQ(name("/img/noext"), "noext[1].png");
  EXPECT_EQ(name("/pics/photo.jpg?v=2"), "photo[1].jpg");
  // Case kept, counted case-blind: photo[1].jpg came first (file order).
  EXPECT_EQ(name("/PHOTO.JPG"), "PHOTO[2].JPG");
  EXPECT_EQ(name("/files/summer%20caf%C3%A9.jpg"), "summer caf\xC3\xA9[1].jpg");
  EXPECT_EQ(name("/styles/site.css"), "site[1].css");
  EXPECT_EQ(name("/scripts/app.js"), "app[1].js");
  EXPECT_EQ(name("/pages/about.htm"), "about[1].htm");
  EXPECT_EQ(name("/index.html"), "index[1].html");
  EXPECT_EQ(name("/big/poster.bmp"), "poster[1].bmp");
  EXPECT_EQ(std::set<std::string>({name("/a/logo.gif"), name("/b/logo.gif")}),
            std::set<std::string>({"logo[1].gif", "logo[2].gif"}));
}

TEST(FirefoxCache2ContainerTest, ReadsTheOldEntriesOfAnotherMachine) {
  auto c = FirefoxCache2Container::open(kPeers);
  ASSERT_TRUE(c);
  std::map<std::string, ContainerEntry> byUrl;
  for (const ContainerEntry& e : c->enumerate()) byUrl[e.url] = e;
  // The fifth file is no entry ("***Not a Firefox cache2 file***").
  ASSERT_EQ(byUrl.size(), 4u);

  const ContainerEntry& png = byUrl.at(
      "https://tiles.cdn.mozilla.net/images/8acf9436e1b315f5f04b9435a518bcd1aef131f8.5663.png");
  EXPECT_EQ(png.size, 5663u);
  EXPECT_NE(png.headers.find("Content-Type: image/png\r\n"), std::string::npos);
  EXPECT_EQ(baseName(png.localPath), "8acf9436e1b315f5f04b9435a518bcd1aef131f8.5663[1].png");
  const auto pngBody = body(*c, png);
  ASSERT_TRUE(pngBody);
  EXPECT_EQ(pngBody->size(), 5663u);
  EXPECT_EQ(pngBody->substr(0, 8), "\x89PNG\r\n\x1a\n");

  const ContainerEntry& json = byUrl.at("https://github.com/log2timeline/plaso/issues/counts");
  EXPECT_EQ(json.size, 80u);
  EXPECT_NE(json.headers.find("Content-Encoding: gzip\r\n"), std::string::npos);
  EXPECT_EQ(baseName(json.localPath), "counts[1].json");
  const auto jsonBody = body(*c, json);
  ASSERT_TRUE(jsonBody);
  EXPECT_EQ(jsonBody->size(), 105u);  // the gzip trailer's length
  EXPECT_EQ(jsonBody->front(), '{');

  // Predictor records have a URL but no response.
  for (const char* url : {"https://www.mozilla.org/", "http://github.com/"}) {
    EXPECT_TRUE(byUrl.at(url).headers.empty()) << url;
    EXPECT_TRUE(byUrl.at(url).localPath.empty()) << url;
  }
}

TEST(FirefoxCache2ContainerTest, RecognisesItsFoldersOnly) {
  QTemporaryDir tmp;
  const std::string t = tmp.path().toStdString();
  fs::create_directories(t + "/empty");
  fs::create_directories(t + "/junk");
  test::writeFile(t + "/junk/0123456789ABCDEF0123456789ABCDEF01234567",
                  std::string(200, 'x'));
  EXPECT_TRUE(FirefoxCache2Container::open(kRoot));
  EXPECT_EQ(FirefoxCache2Container::open(kRoot + "/")->folder(), kRoot);
  EXPECT_TRUE(FirefoxCache2Container::open(kRoot + "/entries"));
  EXPECT_TRUE(FirefoxCache2Container::open(kPeers));
  EXPECT_FALSE(FirefoxCache2Container::open(t + "/empty"));
  EXPECT_FALSE(FirefoxCache2Container::open(t + "/junk"));
  EXPECT_FALSE(FirefoxCache2Container::open(t + "/missing"));
  EXPECT_FALSE(FirefoxCache2Container::open(kSet));
  EXPECT_FALSE(FirefoxCache2Container::open(
      std::string(TESSARINE_TEST_DATA) + "/chromium-simple/cache"));
}

// Entries the reader must refuse, each beside sound ones.
TEST(FirefoxCache2ContainerTest, SkipsDamagedEntriesAndServesTheRest) {
  QTemporaryDir tmp;
  const std::string root = tmp.path().toStdString() + "/cache2";
  const std::string entries = root + "/entries";
  fs::create_directories(entries);
  test::writeFile(root + "/index", "");
  const std::vector<std::string> good = {"9B40E33DB8CC9989BEE647C8530FB722666F8ADF",
                                         "3818A9575CDC53FF6B709B0C5556879B5CEA7F53"};
  for (const std::string& g : good)
    fs::copy_file(kRoot + "/entries/" + g, entries + "/" + g);
  const std::set<std::string> goodUrls = {std::string(kHost) + "/a/logo.gif",
                                          std::string(kHost) + "/images/banner.gif"};

  const std::string script = test::readFile(
      kRoot + "/entries/4AC08EA3D98DC9BF09677C768D775ECE15A5DA46");
  const std::string scriptName = "4AC08EA3D98DC9BF09677C768D775ECE15A5DA46";
  const auto withTrailer = [&](std::uint32_t v, std::uint32_t d) {
    std::string s = script.substr(0, script.size() - 8);
    for (const std::uint32_t w : {v, d})
      for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>(w >> shift);
    return s;
  };
  std::string flipped = script;
  flipped[1484 + 40] ^= 0x20;  // inside the metadata

  FirefoxEntryWriter base;
  base.key = ":http://h/x.gif";
  base.elements = {{"request-method", "GET"},
                   {"response-head", "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n"}};
  base.data = "GIF89a";
  const auto built = [&](auto change) {
    FirefoxEntryWriter w = base;
    change(w);
    return std::make_pair(w.fileName(), w.bytes());
  };
  const auto longBody = [](FirefoxEntryWriter& w) { w.data = std::string(300000, 'z'); };

  struct Bad {
    const char* what;
    std::pair<std::string, std::string> file;  // name, bytes
  };
  const std::vector<Bad> bads = {
      {"empty file", {scriptName, ""}},
      {"10 bytes", {scriptName, script.substr(0, 10)}},
      {"40 bytes", {scriptName, script.substr(0, 40)}},
      {"cut in half", {scriptName, script.substr(0, script.size() / 2)}},
      {"last byte missing", {scriptName, script.substr(0, script.size() - 1)}},
      {"metadata offset past the end", {scriptName, withTrailer(4, 0x10000)}},
      {"metadata offset at the end", {scriptName, withTrailer(4, static_cast<std::uint32_t>(script.size()))}},
      {"metadata offset one off", {scriptName, withTrailer(4, 1483)}},
      {"largest offset", {scriptName, withTrailer(4, 0x7FFFFFFF)}},
      {"unknown trailer version", {scriptName, withTrailer(9, 1484)}},
      {"encrypted", {scriptName, withTrailer(4, 0x80000000u | 1484)}},
      {"metadata checksum wrong", {scriptName, flipped}},
      {"name is not the key's hash", {"0123456789ABCDEF0123456789ABCDEF01234567", script}},
      {"one chunk hash short", built([&](auto& w) { longBody(w); w.chunkHashDelta = -1; })},
      {"one chunk hash extra", built([&](auto& w) { longBody(w); w.chunkHashDelta = 1; })},
      {"key without terminator", built([](auto& w) { w.keySizeDelta = 1; })},
      {"key size past the end", built([](auto& w) { w.keySizeDelta = 100000; })},
      {"key size short", built([](auto& w) { w.keySizeDelta = -1; })},
      {"element list unterminated", built([](auto& w) { w.dropLastNul = true; })},
      {"element without value", built([](auto& w) { w.elements.push_back({"x", ""}); w.dropLastNul = true; })},
      {"alt-data past the body", built([](auto& w) { w.elements.push_back({"alt-data", "1;99,javascript/x"}); })},
      {"alt-data unreadable", built([](auto& w) { w.elements.push_back({"alt-data", "1;x,javascript/x"}); })},
      {"alt-data other version", built([](auto& w) { w.elements.push_back({"alt-data", "2;3,javascript/x"}); })},
      {"header version 7", built([](auto& w) { w.version = 7; w.trailerVersion = 4; })},
      {"header and trailer versions differ", built([](auto& w) { w.version = 3; w.trailerVersion = 4; })},
      {"old trailer with version 4 header", built([](auto& w) { w.version = 4; w.trailerVersion = 3; })},
      {"key without url tag", built([](auto& w) { w.key = "http://h/x.gif"; })},
      {"key with a control character", built([](auto& w) { w.key = ":http://h/a\nb.gif"; })},
      {"key with an empty url", built([](auto& w) { w.key = "a,:"; })},
  };
  auto c = FirefoxCache2Container::open(root);
  ASSERT_TRUE(c);
  for (const Bad& b : bads) {
    const std::string path = entries + "/" + b.file.first;
    test::writeFile(path, b.file.second);
    std::set<std::string> urls;
    for (const ContainerEntry& e : c->enumerate()) urls.insert(e.url);
    EXPECT_EQ(urls, goodUrls) << b.what;
    fs::remove(path);
  }
  // Not a regular file: a folder and a link named like entries.
  fs::create_directories(entries + "/" + scriptName);
  fs::create_symlink(kRoot + "/entries/" + scriptName,
                     entries + "/E2E216C03396D8780208FE63FC80296FC3D77803");
  EXPECT_EQ(c->enumerate().size(), goodUrls.size());
}

// Entries that read but have no copy, or whose body proves bad on reading.
TEST(FirefoxCache2ContainerTest, RefusesBodiesThatAreNotWhole) {
  QTemporaryDir tmp;
  const std::string root = tmp.path().toStdString() + "/cache2";
  fs::create_directories(root + "/entries");
  test::writeFile(root + "/index", "");
  struct Case {
    const char* what;
    std::string status;
    std::string extra;
    bool copy;
  };
  const std::vector<Case> cases = {
      {"whole", "200 OK", "Content-Length: 6\r\n", true},
      {"203", "203 Non-Authoritative", "", true},
      {"cut short", "200 OK", "Content-Length: 7\r\n", false},
      {"bad length", "200 OK", "Content-Length: 6x\r\n", false},
      {"range only", "206 Partial Content", "Content-Range: bytes 0-5/100\r\n", false},
      {"redirect", "301 Moved", "Location: /y\r\n", false},
      {"error page", "404 Not Found", "", false},
      {"unknown coding", "200 OK", "Content-Encoding: compress\r\n", false},
  };
  std::map<std::string, bool> expected;
  for (const Case& k : cases) {
    FirefoxEntryWriter w;
    w.key = std::string(":http://h/") + k.what + ".gif";
    w.elements = {{"response-head", "HTTP/1.1 " + k.status +
                                         "\r\nContent-Type: image/gif\r\n" + k.extra}};
    w.data = "GIF89a";
    w.writeInto(root + "/entries");
    expected[w.key.substr(1)] = k.copy;
  }
  auto c = FirefoxCache2Container::open(root);
  ASSERT_TRUE(c);
  const auto list = c->enumerate();
  ASSERT_EQ(list.size(), cases.size());
  for (const ContainerEntry& e : list) {
    EXPECT_EQ(!e.localPath.empty(), expected.at(e.url)) << e.url;
    std::uint32_t error = 0;
    EXPECT_EQ(c->retrieve(e, &error), expected.at(e.url)) << e.url;
    if (!expected.at(e.url)) {
      EXPECT_EQ(error, kErrorFileNotFound) << e.url;
    }
  }

  // A damaged chunk and a corrupt gzip stream fail on reading, not silently.
  FirefoxEntryWriter damaged;
  damaged.key = ":http://h/damaged.bmp";
  damaged.elements = {{"response-head", "HTTP/1.1 200 OK\r\nContent-Type: image/bmp\r\n"}};
  damaged.data = std::string(300000, 'q');
  std::string bytes = damaged.bytes();
  bytes[270000] ^= 1;  // in the second chunk
  test::writeFile(root + "/entries/" + damaged.fileName(), bytes);
  FirefoxEntryWriter gz;
  gz.key = ":http://h/broken.css";
  gz.elements = {{"response-head", "HTTP/1.1 200 OK\r\nContent-Type: text/css\r\n"
                                   "Content-Encoding: gzip\r\n"}};
  gz.data = std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03garbage!", 18);
  gz.writeInto(root + "/entries");
  int failed = 0;
  for (const ContainerEntry& e : c->enumerate()) {
    if (e.url != "http://h/damaged.bmp" && e.url != "http://h/broken.css") continue;
    ASSERT_FALSE(e.localPath.empty()) << e.url;
    EXPECT_FALSE(body(*c, e)) << e.url;
    ++failed;
  }
  EXPECT_EQ(failed, 2);
}

TEST(FirefoxCache2ContainerTest, NamesFromHostileUrlsStayInTheFolder) {
  QTemporaryDir tmp;
  const std::string root = tmp.path().toStdString() + "/cache2";
  fs::create_directories(root + "/entries");
  test::writeFile(root + "/index", "");
  const std::vector<std::string> urls = {
      "http://h/a/..", "http://h/x/..%2F..%2F..%2Fetc%2Fpasswd",
      "http://h/%2E%2E", "http://h/evil%0A%01%7F.gif", "http://h/a%00b",
      "http://h/%2F", "http://h/%5C..%5C..%5Cwin.ini"};
  for (const std::string& url : urls) {
    FirefoxEntryWriter w;
    w.key = ":" + url;
    w.elements = {{"response-head", "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n"}};
    w.data = "GIF89a";
    w.writeInto(root + "/entries");
  }
  auto c = FirefoxCache2Container::open(root);
  ASSERT_TRUE(c);
  const auto list = c->enumerate();
  ASSERT_EQ(list.size(), urls.size());
  for (const ContainerEntry& e : list) {
    ASSERT_FALSE(e.localPath.empty()) << e.url;
    EXPECT_EQ(fs::path(e.localPath).parent_path().string(), root) << e.url;
    const std::string name = baseName(e.localPath);
    EXPECT_NE(name, ".");
    EXPECT_NE(name, "..");
    EXPECT_NE(name.front(), '.') << name;
    for (const char ch : name) {
      EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << e.url;
      EXPECT_TRUE(ch != '/' && ch != '\\' && ch != 0x7F) << e.url;
    }
  }
}

TEST(FirefoxCache2ContainerTest, RemoveDeletesTheEntryFileAndTheIndexOnly) {
  QTemporaryDir tmp;
  const std::string root = copyOfRoot(tmp);
  const std::set<std::string> before = filesUnder(tmp.path().toStdString());
  auto c = FirefoxCache2Container::open(root);
  ASSERT_TRUE(c);
  const std::string url = std::string(kHost) + "/a/logo.gif";
  ContainerEntry logo;
  for (const ContainerEntry& e : c->enumerate())
    if (e.url == url) logo = e;
  ASSERT_FALSE(logo.keyPath.empty());

  // Entries that are not this container's are refused and nothing goes.
  ContainerEntry forged = logo;
  forged.keyPath = kRoot + "/entries/9B40E33DB8CC9989BEE647C8530FB722666F8ADF";
  EXPECT_EQ(c->remove(forged), kErrorFileNotFound);
  forged.keyPath = root + "/entries/../index";
  EXPECT_EQ(c->remove(forged), kErrorFileNotFound);
  forged = logo;
  forged.url = std::string(kHost) + "/b/logo.gif";
  EXPECT_EQ(c->remove(forged), kErrorFileNotFound);
  EXPECT_EQ(filesUnder(tmp.path().toStdString()), before);

  EXPECT_EQ(c->remove(logo), kErrorSuccess);
  std::set<std::string> expected = before;
  expected.erase("cache2/entries/9B40E33DB8CC9989BEE647C8530FB722666F8ADF");
  expected.erase("cache2/index");
  EXPECT_EQ(filesUnder(tmp.path().toStdString()), expected);
  for (const ContainerEntry& e : c->enumerate()) EXPECT_NE(e.url, url);
  EXPECT_EQ(c->remove(logo), kErrorFileNotFound);
  std::uint32_t error = 0;
  EXPECT_FALSE(c->retrieve(logo, &error));
  EXPECT_EQ(error, kErrorFileNotFound);

  // Opened on entries/ itself, the parent's index still goes.
  test::writeFile(root + "/index", "x");
  auto bare = FirefoxCache2Container::open(root + "/entries");
  ASSERT_TRUE(bare);
  ContainerEntry banner;
  for (const ContainerEntry& e : bare->enumerate())
    if (e.url == std::string(kHost) + "/images/banner.gif") banner = e;
  EXPECT_EQ(bare->remove(banner), kErrorSuccess);
  EXPECT_FALSE(fs::exists(root + "/index"));
  EXPECT_TRUE(fs::exists(root + "/index.log"));
}

// Random damage (seeded, so repeatable) to the tail of real entries: every
// outcome is a skipped entry, a refused body or a served one, never a crash.
TEST(FirefoxCache2ContainerTest, SurvivesRandomDamage) {
  QTemporaryDir tmp;
  const std::string root = tmp.path().toStdString() + "/cache2";
  fs::create_directories(root + "/entries");
  test::writeFile(root + "/index", "");
  auto c = FirefoxCache2Container::open(root);
  ASSERT_TRUE(c);
  std::mt19937 rng(20261211);
  for (const char* name : {"9B40E33DB8CC9989BEE647C8530FB722666F8ADF",
                           "4AC08EA3D98DC9BF09677C768D775ECE15A5DA46",
                           "E2E216C03396D8780208FE63FC80296FC3D77803"}) {
    const std::string original = test::readFile(kRoot + "/entries/" + name);
    const std::string path = root + "/entries/" + name;
    for (int round = 0; round < 300; ++round) {
      std::string bytes = original;
      if (round % 3 == 0) {
        bytes.resize(rng() % bytes.size());
      } else {
        // Damage near the end, where the metadata and trailer live.
        const std::size_t span = std::min<std::size_t>(bytes.size(), 700);
        for (int k = 0; k < 1 + round % 4; ++k)
          bytes[bytes.size() - 1 - rng() % span] = static_cast<char>(rng());
      }
      test::writeFile(path, bytes);
      const auto list = c->enumerate();
      ASSERT_LE(list.size(), 1u);
      for (const ContainerEntry& e : list)
        if (!e.localPath.empty()) (void)body(*c, e);
    }
    fs::remove(path);
  }
}

// --- Enumerating again --------------------------------------------------

// The names of the files in `dir` opened while `run` runs.
std::multiset<std::string> filesOpenedBy(const std::string& dir,
                                         const std::function<void()>& run) {
  std::multiset<std::string> opened;
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0 || ::inotify_add_watch(fd, dir.c_str(), IN_OPEN) < 0) {
    ADD_FAILURE() << "no inotify";
    return opened;
  }
  run();
  alignas(inotify_event) char buf[1 << 16];
  for (ssize_t got; (got = ::read(fd, buf, sizeof buf)) > 0;) {
    for (char* p = buf; p < buf + got;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(p);
      if (ev->len && std::string(ev->name).size()) opened.insert(ev->name);
      p += sizeof(inotify_event) + ev->len;
    }
  }
  ::close(fd);
  return opened;
}

// Waits until files written now count as settled: a rewrite in place can
// no longer land on their timestamps.
void letFilesSettle() { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); }

void expectSameEntries(const std::vector<ContainerEntry>& got,
                       const std::vector<ContainerEntry>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(want[i].url);
    EXPECT_EQ(got[i].url, want[i].url);
    EXPECT_EQ(got[i].entryType, want[i].entryType);
    EXPECT_EQ(got[i].size, want[i].size);
    EXPECT_EQ(got[i].lastModified, want[i].lastModified);
    EXPECT_EQ(got[i].lastAccess, want[i].lastAccess);
    EXPECT_EQ(got[i].expire, want[i].expire);
    EXPECT_EQ(got[i].lastSync, want[i].lastSync);
    EXPECT_EQ(got[i].hitRate, want[i].hitRate);
    EXPECT_EQ(got[i].headers, want[i].headers);
    EXPECT_EQ(got[i].fileExtension, want[i].fileExtension);
    EXPECT_EQ(got[i].localPath, want[i].localPath);
    EXPECT_EQ(got[i].key, want[i].key);
    EXPECT_EQ(got[i].keyPath, want[i].keyPath);
  }
}

TEST(FirefoxCache2ContainerTest, EnumeratingAnUnchangedCacheAgainReadsNoSettledEntryFile) {
  QTemporaryDir tmp;
  const std::string root = copyOfRoot(tmp);
  letFilesSettle();
  auto c = FirefoxCache2Container::open(root);
  ASSERT_TRUE(c);
  const std::string logo = "9B40E33DB8CC9989BEE647C8530FB722666F8ADF";
  std::vector<ContainerEntry> first, second;
  const auto openedFirst = filesOpenedBy(root + "/entries", [&] { first = c->enumerate(); });
  const auto openedSecond = filesOpenedBy(root + "/entries", [&] { second = c->enumerate(); });
  EXPECT_EQ(openedFirst.count(logo), 1u);
  EXPECT_EQ(openedSecond.count(logo), 0u);
  EXPECT_LT(openedSecond.size(), openedFirst.size());
  expectSameEntries(second, first);
  // Bodies are still checked against the file when opened.
  for (const ContainerEntry& e : second)
    if (baseName(e.keyPath) == logo) {
      EXPECT_TRUE(body(*c, e));
    }
}

TEST(FirefoxCache2ContainerTest, EntryFilesWrittenJustBeforeAnEnumerationAreReadAgain) {
  QTemporaryDir tmp;
  const std::string root = copyOfRoot(tmp);
  auto c = FirefoxCache2Container::open(root);
  ASSERT_TRUE(c);
  std::vector<ContainerEntry> first, second;
  const auto openedFirst = filesOpenedBy(root + "/entries", [&] { first = c->enumerate(); });
  const auto openedSecond = filesOpenedBy(root + "/entries", [&] { second = c->enumerate(); });
  EXPECT_EQ(openedSecond, openedFirst);
  expectSameEntries(second, first);
}

TEST(FirefoxCache2ContainerTest, EnumeratingAgainSeesEveryChangedEntryFile) {
  QTemporaryDir tmp;
  const std::string root = tmp.path().toStdString() + "/cache2";
  const std::string entries = root + "/entries";
  fs::create_directories(entries);
  test::writeFile(root + "/index", "");
  auto entry = [](const std::string& name, const std::string& type,
                  const std::string& data) {
    FirefoxEntryWriter w;
    w.key = ":http://h/" + name;
    w.elements = {{"response-head", "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\n"}};
    w.data = data;
    return w;
  };
  for (const char* name : {"inplace.gif", "replaced.gif", "cut.gif", "removed.gif", "kept.gif"})
    entry(name, "image/gif", "GIF89a").writeInto(entries);
  letFilesSettle();
  auto c = FirefoxCache2Container::open(root);
  ASSERT_TRUE(c);
  ASSERT_EQ(c->enumerate().size(), 5u);

  // Rewritten in place, same size, its modification time put back: only
  // the status-change time tells.
  {
    const FirefoxEntryWriter w = entry("inplace.gif", "image/png", "PNG-ab");
    const std::string path = entries + "/" + w.fileName();
    struct stat was {};
    ASSERT_EQ(::stat(path.c_str(), &was), 0);
    const std::string bytes = w.bytes();
    ASSERT_EQ(bytes.size(), static_cast<std::size_t>(was.st_size));
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    const timespec times[2] = {was.st_atim, was.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    struct stat now {};
    ASSERT_EQ(::stat(path.c_str(), &now), 0);
    ASSERT_EQ(now.st_ino, was.st_ino);
  }
  // Replaced by another file of the same name.
  {
    const FirefoxEntryWriter w = entry("replaced.gif", "image/webp", "RIFF-new");
    test::writeFile(root + "/replacement", w.bytes());
    fs::rename(root + "/replacement", entries + "/" + w.fileName());
  }
  // Cut short by one byte, removed, added.
  {
    const std::string cut = entries + "/" + entry("cut.gif", "", "").fileName();
    fs::resize_file(cut, fs::file_size(cut) - 1);
  }
  fs::remove(entries + "/" + entry("removed.gif", "", "").fileName());
  entry("added.gif", "image/gif", "GIF89a").writeInto(entries);

  const auto again = c->enumerate();
  auto fresh = FirefoxCache2Container::open(root);
  ASSERT_TRUE(fresh);
  expectSameEntries(again, fresh->enumerate());
  std::map<std::string, ContainerEntry> urls;
  for (const ContainerEntry& e : again) urls[e.url] = e;
  EXPECT_EQ(urls.size(), 4u);
  EXPECT_EQ(urls.at("http://h/inplace.gif").fileExtension, "png");
  EXPECT_EQ(body(*c, urls.at("http://h/inplace.gif")), "PNG-ab");
  EXPECT_EQ(urls.at("http://h/replaced.gif").fileExtension, "webp");
  EXPECT_EQ(body(*c, urls.at("http://h/replaced.gif")), "RIFF-new");
  EXPECT_FALSE(urls.count("http://h/cut.gif"));
  EXPECT_FALSE(urls.count("http://h/removed.gif"));
  EXPECT_TRUE(urls.count("http://h/added.gif"));
  EXPECT_TRUE(urls.count("http://h/kept.gif"));
}

}  // namespace
}  // namespace tessarine::urlcache
