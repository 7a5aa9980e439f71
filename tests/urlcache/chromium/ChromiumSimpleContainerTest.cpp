#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
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
#include <zlib.h>

#include "platform/urlcache/chromium/ChromiumCacheKey.h"
#include "platform/urlcache/chromium/ChromiumSimpleContainer.h"

namespace tu = tessarine::urlcache;
namespace fs = std::filesystem;
namespace key = tessarine::urlcache::chromium_key;
using namespace std::string_literals;

namespace {

const std::string kData = TESSARINE_TEST_DATA "/chromium-simple";
const std::string kPrefix = "1/0/_dk_http://127.0.0.1 http://127.0.0.1 ";
const std::string kSite = "http://127.0.0.1:8123";
const std::string kLogoFile = "0b5920329ca83709_0";  // /a/logo.gif

struct Row {
  std::string url;
  int status = 0;
  std::string sha256;
  std::string inCache;
  std::uint64_t wireSize = 0;
};

std::vector<Row> manifest() {
  std::ifstream in(kData + "/manifest.tsv");
  std::vector<Row> rows;
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
    if (f.size() < 12) continue;
    Row r;
    r.url = f[0];
    r.status = std::stoi(f[2]);
    r.sha256 = f[6];
    r.inCache = f[7];
    r.wireSize = f[8] == "-" ? 0 : std::stoull(f[8]);
    rows.push_back(r);
  }
  return rows;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string sha256Hex(const std::string& bytes) {
  return QCryptographicHash::hash(QByteArray::fromStdString(bytes),
                                  QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

// The body through openBody(); ok false when opening or any read fails.
struct Body {
  bool ok = false;
  std::string bytes;
  std::uint32_t error = 0;
};
Body readBody(tu::Container& c, const tu::ContainerEntry& e) {
  Body b;
  auto s = c.openBody(e, &b.error);
  if (!s) return b;
  char buf[3000];  // odd size: reads straddle decoder chunks
  while (true) {
    const std::int64_t got = s->read(buf, sizeof buf);
    if (got < 0) return b;
    if (got == 0) break;
    b.bytes.append(buf, static_cast<std::size_t>(got));
  }
  b.ok = true;
  return b;
}

std::map<std::string, tu::ContainerEntry> byUrl(
    const std::vector<tu::ContainerEntry>& entries) {
  std::map<std::string, tu::ContainerEntry> m;
  for (const auto& e : entries) m[e.url] = e;
  return m;
}

std::string baseName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// A private copy of the fixture cache to change or delete things in.
struct CacheCopy {
  QTemporaryDir tmp;
  std::string dir;
  CacheCopy() {
    dir = tmp.path().toStdString() + "/Cache/Cache_Data";
    fs::create_directories(dir);
    fs::copy(kData + "/cache", dir, fs::copy_options::recursive);
  }
  std::string path(const std::string& name) const { return dir + "/" + name; }
};

void putU32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}
std::uint32_t getU32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}
std::uint32_t crcOf(std::string_view s) {
  return static_cast<std::uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(s.data()), s.size()));
}
void appendU32(std::string& s, std::uint32_t v) {
  s.append(4, '\0');
  putU32(s, s.size() - 4, v);
}
void appendU64(std::string& s, std::uint64_t v) {
  appendU32(s, static_cast<std::uint32_t>(v));
  appendU32(s, static_cast<std::uint32_t>(v >> 32));
}
void appendPickleString(std::string& s, const std::string& v) {
  appendU32(s, static_cast<std::uint32_t>(v.size()));
  s += v;
  s.append((4 - v.size() % 4) % 4, '\0');
}

// A `_0` file laid out as Chromium writes one: key, body, response info
// holding `headLines` (each ended by NUL), SHA-256 of the key.
std::string entryFile(const std::string& k, const std::string& body,
                      const std::string& headLines, std::uint32_t flags = 3) {
  std::string payload;
  appendU32(payload, flags);
  appendU64(payload, 0x002fc0f1cd90d7d4ULL);
  appendU64(payload, 0x002fc0f1cd90eee6ULL);
  appendPickleString(payload, headLines + '\0');
  appendPickleString(payload, "127.0.0.1");
  appendU32(payload, 8123);
  std::string stream0;
  appendU32(stream0, static_cast<std::uint32_t>(payload.size()));
  stream0 += payload;

  std::string f;
  appendU64(f, 0xfcfb6d1ba7725c30ULL);
  appendU32(f, 5);
  appendU32(f, static_cast<std::uint32_t>(k.size()));
  appendU32(f, key::superFastHash(k));
  appendU32(f, 0);
  f += k;
  f += body;
  appendU64(f, 0xf4fa6f45970d41d8ULL);
  appendU32(f, 1);
  appendU32(f, crcOf(body));
  appendU64(f, 0);
  f += stream0;
  f += QCryptographicHash::hash(QByteArray::fromStdString(k),
                                QCryptographicHash::Sha256)
           .toStdString();
  appendU64(f, 0xf4fa6f45970d41d8ULL);
  appendU32(f, 3);
  appendU32(f, crcOf(stream0));
  appendU32(f, static_cast<std::uint32_t>(stream0.size()));
  appendU32(f, 0);
  return f;
}
std::string entryName(const std::string& k) {
  return key::simpleEntryHashText(key::simpleEntryHash(k)) + "_0";
}

// --- The fixture as Chromium wrote it ----------------------------------

TEST(ChromiumSimpleContainerTest, ListsEveryCachedUrlAndRecoversEveryWholeBody) {
  auto c = tu::ChromiumSimpleContainer::open(kData + "/cache");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->folder(), kData + "/cache");
  const auto entries = c->enumerate();
  const auto urls = byUrl(entries);

  std::set<std::string> expected;
  for (const Row& r : manifest())
    if (r.inCache != "no") expected.insert(r.url);
  std::set<std::string> listed;
  for (const auto& e : entries) listed.insert(e.url);
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(entries.size(), 31u);
  EXPECT_EQ(expected.size(), 31u);
  EXPECT_FALSE(urls.count(kSite + "/private/token.png"));

  int recovered = 0;
  for (const Row& r : manifest()) {
    if (r.inCache == "no") continue;
    SCOPED_TRACE(r.url);
    const tu::ContainerEntry& e = urls.at(r.url);
    EXPECT_EQ(e.entryType, tu::kNormalCacheEntry);
    EXPECT_EQ(e.size, r.wireSize);
    EXPECT_EQ(e.keyPath, kData + "/cache/" + key::simpleEntryHashText(e.key) + "_0");
    EXPECT_NE(e.headers.find("HTTP/1.1 " + std::to_string(r.status)), std::string::npos);
    // The 404 answers came without caching headers.
    if (r.status != 404) {
      EXPECT_EQ(e.lastModified, 133722504000000000ULL);  // 01 Oct 2024 10:00 GMT
    }
    EXPECT_GT(e.lastSync, 0u);
    std::uint32_t error = 0;
    if (r.inCache == "yes" && r.status == 200) {
      EXPECT_EQ(e.localPath.rfind(kData + "/cache/", 0), 0u) << e.localPath;
      EXPECT_TRUE(c->retrieve(e, &error));
      const Body b = readBody(*c, e);
      ASSERT_TRUE(b.ok) << b.error;
      EXPECT_EQ(sha256Hex(b.bytes), r.sha256);
      ++recovered;
    } else {
      // Redirect, error answer, truncated download, sparse ranges.
      EXPECT_EQ(e.localPath, "");
      EXPECT_FALSE(c->retrieve(e, &error));
      EXPECT_EQ(error, tu::kErrorFileNotFound);
      EXPECT_EQ(c->openBody(e, &error), nullptr);
      EXPECT_EQ(error, tu::kErrorFileNotFound);
    }
  }
  EXPECT_EQ(recovered, 27);
  EXPECT_EQ(urls.at(kSite + "/js/app.js").size, 1501u);  // stored gzip-encoded
  EXPECT_EQ(urls.at(kSite + "/video/stream.avi").size, 65536u);
  EXPECT_EQ(urls.at(kSite + "/video/trailer.webm").size, 0u);

  // Enumeration order is file-name order: stable from run to run.
  for (std::size_t i = 1; i < entries.size(); ++i)
    EXPECT_LT(entries[i - 1].keyPath, entries[i].keyPath);
}

TEST(ChromiumSimpleContainerTest, LocalCopiesAreNamedAsIeNamesThem) {
  auto c = tu::ChromiumSimpleContainer::open(kData + "/cache");
  ASSERT_TRUE(c);
  const auto urls = byUrl(c->enumerate());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/img/noext", "noext[1].png"},
      {"/pics/photo.jpg?v=2", "photo[1].jpg"},
      {"/a/logo.gif", "logo[1].gif"},
      {"/b/logo.gif", "logo[2].gif"},
      // Counted with /pics/photo.jpg: names differing in case only would
      // clash on a case-blind disk.
      {"/PHOTO.JPG", "PHOTO[2].JPG"},
      {"/files/my%20photo%20%C3%A9t%C3%A9.gif", "my photo \xc3\xa9t\xc3\xa9[1].gif"},
      {"/index.html", "index[1].html"},
      {"/js/app.js", "app[1].js"},
  };
  for (const auto& [path, name] : cases) {
    SCOPED_TRACE(path);
    const tu::ContainerEntry& e = urls.at(kSite + path);
    EXPECT_EQ(e.localPath, kData + "/cache/" + name);
    EXPECT_EQ(e.fileExtension, name.substr(name.rfind('.') + 1));
  }
  // Names are unique across the enumeration.
  std::set<std::string> names;
  for (const auto& [url, e] : urls)
    if (!e.localPath.empty()) {
      EXPECT_TRUE(names.insert(e.localPath).second) << url;
    }
}

// --- Which folders are simple caches -----------------------------------

TEST(ChromiumSimpleContainerTest, RecognisesSimpleCacheFoldersOnly) {
  CacheCopy copy;
  const std::string cacheParent = fs::path(copy.dir).parent_path().string();
  ASSERT_TRUE(tu::ChromiumSimpleContainer::open(copy.dir));
  ASSERT_TRUE(tu::ChromiumSimpleContainer::open(copy.dir + "/"));
  auto viaParent = tu::ChromiumSimpleContainer::open(cacheParent);
  ASSERT_TRUE(viaParent);
  EXPECT_EQ(viaParent->folder(), copy.dir);
  EXPECT_EQ(viaParent->enumerate().size(), 31u);

  const std::vector<std::pair<const char*, std::string>> notSimple = {
      {"blockfile index", "\xc3\xca\x03\xc1\x00\x00\x03\x00"s + std::string(360, '\0')},
      {"sql index", "SQLCacheTruncate3"},
      {"index cut short", "\x30\x5c\x72\xa7\x1b\x6d\xfb\xfc\x09\x00\x00\x00"s},
      {"empty index", ""},
      {"wrong magic", std::string(24, '\x30')},
  };
  for (const auto& [what, index] : notSimple) {
    SCOPED_TRACE(what);
    writeFile(copy.path("index"), index);
    EXPECT_FALSE(tu::ChromiumSimpleContainer::open(copy.dir));
    EXPECT_FALSE(tu::ChromiumSimpleContainer::open(cacheParent));
  }
  fs::remove(copy.path("index"));
  fs::create_directory(copy.path("index"));
  EXPECT_FALSE(tu::ChromiumSimpleContainer::open(copy.dir));
  EXPECT_FALSE(tu::ChromiumSimpleContainer::open(copy.tmp.path().toStdString()));
  EXPECT_FALSE(tu::ChromiumSimpleContainer::open(copy.tmp.path().toStdString() + "/none"));
  EXPECT_FALSE(tu::ChromiumSimpleContainer::open(copy.path(kLogoFile)));
  EXPECT_FALSE(tu::ChromiumSimpleContainer::open(""));
}

// --- Hostile entry files -------------------------------------------------

// Stream 0 of the /a/logo.gif file starts at 0x0cd, 280 bytes; its EOF
// record is at 0x205 (format notes' worked example).
constexpr std::size_t kLogoStream0 = 0x0cd;
constexpr std::size_t kLogoStream0Size = 280;
void fixStream0Crc(std::string& f) {
  putU32(f, 0x205 + 12, crcOf(std::string_view(f).substr(kLogoStream0, kLogoStream0Size)));
}

TEST(ChromiumSimpleContainerTest, SkipsABadEntryAndServesTheRest) {
  using Mutate = std::function<void(std::string&)>;
  const std::vector<std::pair<const char*, Mutate>> cases = {
      {"cut by one byte", [](std::string& f) { f.pop_back(); }},
      {"cut to 100 bytes", [](std::string& f) { f.resize(100); }},
      {"cut to the header", [](std::string& f) { f.resize(24); }},
      {"empty", [](std::string& f) { f.clear(); }},
      {"bad initial magic", [](std::string& f) { f[0] ^= 1; }},
      {"unknown version", [](std::string& f) { putU32(f, 8, 6); }},
      {"key length past the end", [](std::string& f) { putU32(f, 12, 0xfffffff0u); }},
      {"key length one too long", [](std::string& f) { putU32(f, 12, 75); }},
      {"key length zero", [](std::string& f) { putU32(f, 12, 0); }},
      {"bad key hash", [](std::string& f) { f[16] ^= 1; }},
      {"changed key", [](std::string& f) { f[0x18 + 70] = 'j'; }},
      {"bad stream 0 checksum", [](std::string& f) { f[kLogoStream0 + 100] ^= 1; }},
      {"bad key digest", [](std::string& f) { f[0x1e5] ^= 1; }},
      {"bad final magic of stream 0", [](std::string& f) { f[0x205] ^= 1; }},
      {"bad final magic of stream 1", [](std::string& f) { f[0xb5] ^= 1; }},
      {"stream 0 size beyond the file", [](std::string& f) { putU32(f, 0x205 + 16, 0xffffff00u); }},
      {"stream 0 size off by four", [](std::string& f) { putU32(f, 0x205 + 16, 284); }},
      {"pickle size disagrees",
       [](std::string& f) { putU32(f, kLogoStream0, 272); fixStream0Crc(f); }},
      {"unknown response info version",
       [](std::string& f) { f[kLogoStream0 + 4] = 2; fixStream0Crc(f); }},
      {"header text past the payload",
       [](std::string& f) { putU32(f, 0x0f1, 4000); fixStream0Crc(f); }},
      {"header length negative",
       [](std::string& f) { putU32(f, 0x0f1, 0xffffffffu); fixStream0Crc(f); }},
  };
  const std::string logoUrl = kSite + "/a/logo.gif";
  for (const auto& [what, mutate] : cases) {
    SCOPED_TRACE(what);
    CacheCopy copy;
    std::string f = readFile(copy.path(kLogoFile));
    ASSERT_EQ(f.size(), 541u);
    ASSERT_EQ(getU32(f, 0x205 + 16), kLogoStream0Size);
    mutate(f);
    writeFile(copy.path(kLogoFile), f);
    auto c = tu::ChromiumSimpleContainer::open(copy.dir);
    ASSERT_TRUE(c);
    const auto urls = byUrl(c->enumerate());
    EXPECT_EQ(urls.size(), 30u);
    EXPECT_FALSE(urls.count(logoUrl));
    const tu::ContainerEntry& other = urls.at(kSite + "/b/logo.gif");
    EXPECT_EQ(baseName(other.localPath), "logo[1].gif");
    EXPECT_EQ(sha256Hex(readBody(*c, other).bytes),
              "8aa4f05c8ff857a6a4143b2dc724e0a951c4d480f864177e0fcbe1561481c567");
  }
}

TEST(ChromiumSimpleContainerTest, ABodyThatFailsItsChecksumIsAReadError) {
  CacheCopy copy;
  std::string f = readFile(copy.path(kLogoFile));
  f[0x62 + 40] ^= 0x20;  // inside the GIF
  writeFile(copy.path(kLogoFile), f);
  auto c = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(c);
  const auto urls = byUrl(c->enumerate());
  const tu::ContainerEntry& e = urls.at(kSite + "/a/logo.gif");
  ASSERT_NE(e.localPath, "");
  EXPECT_FALSE(readBody(*c, e).ok);
}

TEST(ChromiumSimpleContainerTest, BodyIsCheckedAgainWhenOpened) {
  CacheCopy copy;
  auto c = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(c);
  const auto urls = byUrl(c->enumerate());
  const tu::ContainerEntry logo = urls.at(kSite + "/a/logo.gif");
  const tu::ContainerEntry app = urls.at(kSite + "/js/app.js");

  // Cut short after enumeration: the entry is gone.
  std::string f = readFile(copy.path(kLogoFile));
  writeFile(copy.path(kLogoFile), f.substr(0, 300));
  std::uint32_t error = 0;
  EXPECT_FALSE(c->retrieve(logo, &error));
  EXPECT_EQ(error, tu::kErrorFileNotFound);
  EXPECT_EQ(c->openBody(logo, &error), nullptr);
  EXPECT_EQ(error, tu::kErrorFileNotFound);

  // The gzip bytes damaged after enumeration: decoding fails while reading.
  const std::string appFile = copy.path(app.keyPath.substr(app.keyPath.rfind('/') + 1));
  f = readFile(appFile);
  const std::size_t bodyAt = 24 + getU32(f, 12);
  for (std::size_t i = 0; i < 64; ++i) f[bodyAt + 500 + i] ^= 0x55;
  writeFile(appFile, f);
  EXPECT_TRUE(c->retrieve(app, &error));
  EXPECT_FALSE(readBody(*c, app).ok);

  // An entry naming a file outside the folder is refused.
  tu::ContainerEntry forged = urls.at(kSite + "/b/logo.gif");
  forged.keyPath = copy.dir + "/../" + key::simpleEntryHashText(forged.key) + "_0";
  EXPECT_EQ(c->openBody(forged, &error), nullptr);
  EXPECT_EQ(c->remove(forged), tu::kErrorInvalidParameter);
  EXPECT_TRUE(fs::exists(copy.path(key::simpleEntryHashText(forged.key) + "_0")));
}

TEST(ChromiumSimpleContainerTest, HostileKeysAndBodiesStayInsideTheFolder) {
  CacheCopy copy;
  const std::string ok200 = "HTTP/1.1 200 OK\0Content-Type: image/gif\0"s;
  const std::string gif = readFile(copy.path(kLogoFile)).substr(0x62, 83);
  const std::string png = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x08\x02\0\0\0"s;
  struct Made {
    std::string url;       // as listed; "" when the entry must be skipped
    bool localCopy;
    std::string key, body, head;
  };
  const std::vector<Made> made = {
      {"http://h/x/..%2F..%2Fevil.gif", true, "", gif, ok200},
      {"http://h/a/..", true, "", gif, ok200},
      {"http://h/a/%2E%2E", true, "", gif, ok200},
      {"http://h/a%0Ab%00c%7F.gif", true, "", gif, ok200},
      {"http://h/deep/dir/", true, "", gif, ok200},
      {"http://h/blob", true, "", png, "HTTP/1.1 203 OK\0"s},
      {"http://h/bad.gz", true, "", "not gzip at all",
       "HTTP/1.1 200 OK\0Content-Type: image/gif\0Content-Encoding: gzip\0"s},
      // Without a Content-Type its bytes are read to name it, and fail.
      {"http://h/bad2.gz", false, "", "not gzip at all",
       "HTTP/1.1 200 OK\0Content-Encoding: gzip\0"s},
      {"http://h/old.Z", false, "", gif, "HTTP/1.1 200 OK\0Content-Encoding: compress\0"s},
      {"http://h/short.gif", false, "", gif, "HTTP/1.1 200 OK\0Content-Length: 999\0"s},
      {"http://h/cut.gif", false, "", gif, ok200},  // flagged truncated below
      {"http://h/nohead.gif", false, "", gif, "garbage\0"s},
      {"", false, kPrefix + "http://h/ctl\x01.gif", gif, ok200},
      {"", false, kPrefix + "http://h/nul\0.gif"s, gif, ok200},
      {"", false, kPrefix + "no url here", gif, ok200},
      {"", false, "1/0/_dk_", gif, ok200},
  };
  std::set<std::string> madeFiles;
  for (const Made& m : made) {
    const std::string k = m.key.empty() ? kPrefix + m.url : m.key;
    const std::uint32_t flags = m.url == "http://h/cut.gif" ? 0x1003 : 3;
    writeFile(copy.path(entryName(k)), entryFile(k, m.body, m.head, flags));
    madeFiles.insert(entryName(k));
  }
  // Things in the folder that are not entry files.
  fs::create_directory(copy.path("aaaaaaaaaaaaaaaa_0"));
  const std::string outside = copy.tmp.path().toStdString() + "/outside";
  const std::string linkedKey = kPrefix + "http://h/linked.gif";
  writeFile(outside, entryFile(linkedKey, gif, ok200));
  fs::create_symlink(outside, copy.path(entryName(linkedKey)));
  writeFile(copy.path("todelete_0b5920329ca83709_0"), readFile(copy.path(kLogoFile)));
  writeFile(copy.path("0B5920329CA83709_0"), readFile(copy.path(kLogoFile)));

  auto c = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(c);
  const auto entries = c->enumerate();
  const auto urls = byUrl(entries);
  EXPECT_EQ(entries.size(), 31u + 12u);
  EXPECT_FALSE(urls.count("http://h/linked.gif"));
  for (const Made& m : made) {
    if (m.url.empty()) continue;
    SCOPED_TRACE(m.url);
    ASSERT_TRUE(urls.count(m.url));
    const tu::ContainerEntry& e = urls.at(m.url);
    EXPECT_EQ(!e.localPath.empty(), m.localCopy);
    if (!m.localCopy) continue;
    const std::string name = baseName(e.localPath);
    EXPECT_EQ(e.localPath, copy.dir + "/" + name);
    EXPECT_NE(name, "..");
    EXPECT_NE(name, ".");
    EXPECT_FALSE(madeFiles.count(name));
    for (unsigned char ch : name) EXPECT_GE(ch, 0x20) << name;
    for (unsigned char ch : name) EXPECT_NE(ch, 0x7f) << name;
  }
  // The PNG served without a Content-Type is told by its bytes.
  EXPECT_EQ(baseName(urls.at("http://h/blob").localPath), "blob[1].png");
  EXPECT_EQ(readBody(*c, urls.at("http://h/blob")).bytes, png);
  EXPECT_FALSE(readBody(*c, urls.at("http://h/bad.gz")).ok);
  EXPECT_EQ(readBody(*c, urls.at("http://h/x/..%2F..%2Fevil.gif")).bytes, gif);
}

// --- Delete ----------------------------------------------------------------

std::set<std::string> filesUnder(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& f : fs::recursive_directory_iterator(dir))
    out.insert(fs::relative(f.path(), dir).string());
  return out;
}

TEST(ChromiumSimpleContainerTest, RemoveDeletesTheEntryFilesAndTheRealIndexOnly) {
  CacheCopy copy;
  auto c = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(c);
  const auto urls = byUrl(c->enumerate());
  const std::set<std::string> before = filesUnder(copy.dir);
  const std::string otherBytes = readFile(copy.path("dc36924d64314067_0"));

  const tu::ContainerEntry logo = urls.at(kSite + "/a/logo.gif");
  EXPECT_EQ(c->remove(logo), tu::kErrorSuccess);
  std::set<std::string> expected = before;
  expected.erase(kLogoFile);
  expected.erase("index-dir/the-real-index");
  EXPECT_EQ(filesUnder(copy.dir), expected);
  EXPECT_EQ(readFile(copy.path("dc36924d64314067_0")), otherBytes);

  const tu::ContainerEntry sparse = urls.at(kSite + "/video/trailer.webm");
  EXPECT_EQ(c->remove(sparse), tu::kErrorSuccess);
  expected.erase("cc452683740295f8_0");
  expected.erase("cc452683740295f8_s");
  EXPECT_EQ(filesUnder(copy.dir), expected);

  const auto after = byUrl(c->enumerate());
  EXPECT_EQ(after.size(), 29u);
  EXPECT_FALSE(after.count(kSite + "/a/logo.gif"));
  EXPECT_FALSE(after.count(kSite + "/video/trailer.webm"));
  EXPECT_EQ(baseName(after.at(kSite + "/b/logo.gif").localPath), "logo[1].gif");

  std::uint32_t error = 0;
  EXPECT_EQ(c->remove(logo), tu::kErrorFileNotFound);
  EXPECT_FALSE(c->retrieve(logo, &error));
  EXPECT_EQ(error, tu::kErrorFileNotFound);
  EXPECT_EQ(filesUnder(copy.dir), expected);
}

// --- Sparse entries pieced together --------------------------------------

// /video/trailer.webm: the page asked for bytes 0-65535 and 150001-170000
// of the 200 000-byte file; its `_s` header and 82-byte key end at 0x6a.
constexpr char kTrailerSparse[] = "cc452683740295f8_s";
constexpr std::size_t kTrailerRangesAt = 0x6a;
constexpr std::uint64_t kSparseRangeMagic = 0xeb97bf016553676bULL;

struct SparseRange {
  std::uint64_t offset, length;
  bool badCrc = false;
};

// A range record in the `_s` layout, cut from `file`.
std::string sparseRecord(const std::string& file, const SparseRange& r) {
  const std::string data = file.substr(r.offset, r.length);
  std::string rec;
  appendU64(rec, kSparseRangeMagic);
  appendU64(rec, r.offset);
  appendU64(rec, r.length);
  appendU32(rec, crcOf(data) ^ (r.badCrc ? 1u : 0u));
  appendU32(rec, 0);
  return rec + data;
}

TEST(ChromiumSimpleContainerTest, FixtureRangesHoldTheFileBytes) {
  const std::string file = readFile(kData + "/site/video/trailer.webm");
  const std::string sparse = readFile(kData + "/cache/" + kTrailerSparse);
  ASSERT_EQ(file.size(), 200000u);
  std::string rebuilt = sparse.substr(0, kTrailerRangesAt);
  for (const SparseRange& r : std::vector<SparseRange>{
           {0, 3783}, {3783, 61753}, {150001, 20000}})
    rebuilt += sparseRecord(file, r);
  EXPECT_EQ(rebuilt, sparse);  // the layout and CRCs we write are Chromium's
}

TEST(ChromiumSimpleContainerTest, SparseRangesCoveringTheFileMakeALocalCopy) {
  const std::string file = readFile(kData + "/site/video/trailer.webm");
  std::string sha;
  for (const Row& r : manifest())
    if (r.url == kSite + "/video/trailer.webm") sha = r.sha256;
  ASSERT_EQ(sha256Hex(file), sha);

  struct Case {
    const char* what;
    std::vector<SparseRange> added;  // after the fixture's own ranges
    bool covered;
    bool readable;
  };
  const std::vector<Case> cases = {
      {"the missing ranges fetched later", {{65536, 84465}, {170001, 29999}}, true, true},
      {"overlapping and out of order",
       {{180000, 20000}, {60000, 100000}, {100, 200}, {159000, 30000}}, true, true},
      {"one whole range rewritten", {{0, 200000}}, true, true},
      {"one byte missing at the end", {{65536, 84465}, {170001, 29998}}, false, false},
      {"one byte missing in the middle", {{65537, 84464}, {170001, 29999}}, false, false},
      {"a range failing its CRC", {{65536, 84465, true}, {170001, 29999}}, true, false},
      {"a range past the total ignored",
       {{65536, 84465}, {170001, 29999}, {190000, 10}}, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CacheCopy copy;
    std::string sparse = readFile(copy.path(kTrailerSparse));
    for (const SparseRange& r : c.added) {
      if (r.offset + r.length > file.size()) {
        // Bytes the resource does not have: the record holds junk.
        std::string rec;
        appendU64(rec, kSparseRangeMagic);
        appendU64(rec, r.offset + 10);
        appendU64(rec, r.length);
        const std::string junk(r.length, 'j');
        appendU32(rec, crcOf(junk));
        appendU32(rec, 0);
        sparse += rec + junk;
      } else {
        sparse += sparseRecord(file, r);
      }
    }
    writeFile(copy.path(kTrailerSparse), sparse);
    auto cache = tu::ChromiumSimpleContainer::open(copy.dir);
    ASSERT_TRUE(cache);
    const auto urls = byUrl(cache->enumerate());
    ASSERT_EQ(urls.size(), 31u);
    const tu::ContainerEntry& e = urls.at(kSite + "/video/trailer.webm");
    if (!c.covered) {
      EXPECT_EQ(e.localPath, "");
      EXPECT_EQ(e.size, 0u);
      std::uint32_t error = 0;
      EXPECT_EQ(cache->openBody(e, &error), nullptr);
      EXPECT_EQ(error, tu::kErrorFileNotFound);
      continue;
    }
    EXPECT_EQ(baseName(e.localPath), "trailer[1].webm");
    EXPECT_EQ(e.size, 200000u);
    EXPECT_TRUE(cache->retrieve(e, nullptr));
    const Body b = readBody(*cache, e);
    EXPECT_EQ(b.ok, c.readable);
    if (c.readable) {
      EXPECT_EQ(sha256Hex(b.bytes), sha);
    }
  }
}

TEST(ChromiumSimpleContainerTest, HostileSparseFilesGiveNoCopy) {
  const std::string file = readFile(kData + "/site/video/trailer.webm");
  const std::string filler = sparseRecord(file, {65536, 84465}) +
                             sparseRecord(file, {170001, 29999});
  using Mutate = std::function<void(std::string&)>;
  const std::vector<std::pair<const char*, Mutate>> cases = {
      {"bad magic of a range",
       [](std::string& f) { f[kTrailerRangesAt] ^= 1; }},
      {"huge length",
       [](std::string& f) { putU32(f, kTrailerRangesAt + 20, 0x7fffffff); }},
      {"negative offset",
       [](std::string& f) { putU32(f, kTrailerRangesAt + 12, 0x80000000u); }},
      {"wrong version", [](std::string& f) { putU32(f, 8, 5); }},
      {"wrong key hash", [](std::string& f) { f[0x10] ^= 1; }},
      {"wrong key", [](std::string& f) { f[0x20] ^= 1; }},
      {"cut inside a range", [](std::string& f) { f.resize(f.size() - 1); }},
      {"cut to the header", [](std::string& f) { f.resize(20); }},
  };
  for (const auto& [what, mutate] : cases) {
    SCOPED_TRACE(what);
    CacheCopy copy;
    std::string sparse = readFile(copy.path(kTrailerSparse)) + filler;
    mutate(sparse);
    writeFile(copy.path(kTrailerSparse), sparse);
    auto cache = tu::ChromiumSimpleContainer::open(copy.dir);
    ASSERT_TRUE(cache);
    const auto urls = byUrl(cache->enumerate());
    ASSERT_EQ(urls.size(), 31u);
    EXPECT_EQ(urls.at(kSite + "/video/trailer.webm").localPath, "");
    EXPECT_FALSE(urls.at(kSite + "/a/logo.gif").localPath.empty());
  }
}


// --- Enumerating again --------------------------------------------------

// The names of the `_0` files in `dir` opened while `run` runs.
std::multiset<std::string> entryFilesOpenedBy(const std::string& dir,
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
      const std::string name = ev->len ? std::string(ev->name) : std::string();
      if (name.size() > 2 && name.compare(name.size() - 2, 2, "_0") == 0)
        opened.insert(name);
      p += sizeof(inotify_event) + ev->len;
    }
  }
  ::close(fd);
  return opened;
}

// Waits until files written now count as settled: a rewrite in place can
// no longer land on their timestamps.
void letFilesSettle() { std::this_thread::sleep_for(std::chrono::milliseconds(1100)); }

// Adds the ranges the trailer's `_s` file lacks, so it has a local copy.
void completeTrailer(const CacheCopy& copy) {
  const std::string file = readFile(kData + "/site/video/trailer.webm");
  writeFile(copy.path(kTrailerSparse),
            readFile(copy.path(kTrailerSparse)) + sparseRecord(file, {65536, 84465}) +
                sparseRecord(file, {170001, 29999}));
}

void expectSameEntries(const std::vector<tu::ContainerEntry>& got,
                       const std::vector<tu::ContainerEntry>& want) {
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
    EXPECT_EQ(got[i].headers, want[i].headers);
    EXPECT_EQ(got[i].fileExtension, want[i].fileExtension);
    EXPECT_EQ(got[i].localPath, want[i].localPath);
    EXPECT_EQ(got[i].key, want[i].key);
    EXPECT_EQ(got[i].keyPath, want[i].keyPath);
  }
}

TEST(ChromiumSimpleContainerTest, EnumeratingAnUnchangedCacheAgainReadsNoSettledEntryFile) {
  CacheCopy copy;
  completeTrailer(copy);
  letFilesSettle();
  auto c = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(c);
  std::vector<tu::ContainerEntry> first, second;
  const auto openedFirst = entryFilesOpenedBy(copy.dir, [&] { first = c->enumerate(); });
  const auto openedSecond = entryFilesOpenedBy(copy.dir, [&] { second = c->enumerate(); });
  EXPECT_EQ(openedFirst.count(kLogoFile), 1u);
  EXPECT_EQ(openedSecond.count(kLogoFile), 0u);
  EXPECT_LT(openedSecond.size(), openedFirst.size());
  expectSameEntries(second, first);
  // Bodies are still checked against the file when opened.
  const auto urls = byUrl(second);
  EXPECT_TRUE(readBody(*c, urls.at(kSite + "/a/logo.gif")).ok);
  EXPECT_TRUE(readBody(*c, urls.at(kSite + "/video/trailer.webm")).ok);
}

TEST(ChromiumSimpleContainerTest, EntryFilesWrittenJustBeforeAnEnumerationAreReadAgain) {
  CacheCopy copy;
  auto c = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(c);
  std::vector<tu::ContainerEntry> first, second;
  const auto openedFirst = entryFilesOpenedBy(copy.dir, [&] { first = c->enumerate(); });
  const auto openedSecond = entryFilesOpenedBy(copy.dir, [&] { second = c->enumerate(); });
  EXPECT_EQ(openedSecond, openedFirst);
  expectSameEntries(second, first);
}

TEST(ChromiumSimpleContainerTest, EnumeratingAgainSeesEveryChangedEntryFile) {
  CacheCopy copy;
  completeTrailer(copy);
  letFilesSettle();
  auto c = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(c);
  const auto before = byUrl(c->enumerate());
  const std::string appUrl = kSite + "/js/app.js";
  const std::string bLogoUrl = kSite + "/b/logo.gif";
  const std::string trailerUrl = kSite + "/video/trailer.webm";
  ASSERT_EQ(baseName(before.at(kSite + "/a/logo.gif").localPath), "logo[1].gif");
  ASSERT_FALSE(before.at(trailerUrl).localPath.empty());
  std::string removedUrl;
  for (const auto& [url, e] : before)
    if (url != appUrl && url != bLogoUrl && url != trailerUrl &&
        url != kSite + "/a/logo.gif")
      removedUrl = url;
  ASSERT_FALSE(removedUrl.empty());

  // Rewritten in place, same size, its modification time put back: only
  // the status-change time tells.
  {
    const std::string path = copy.path(kLogoFile);
    struct stat was {};
    ASSERT_EQ(::stat(path.c_str(), &was), 0);
    std::string f = readFile(path);
    const std::size_t type = f.find("image/gif");
    ASSERT_NE(type, std::string::npos);
    f.replace(type, 9, "image/png");
    fixStream0Crc(f);
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.write(f.data(), static_cast<std::streamsize>(f.size()));
    out.close();
    const timespec times[2] = {was.st_atim, was.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    struct stat now {};
    ASSERT_EQ(::stat(path.c_str(), &now), 0);
    ASSERT_EQ(now.st_ino, was.st_ino);
    ASSERT_EQ(now.st_size, was.st_size);
  }
  // Replaced by another file of the same name.
  {
    const std::string name = baseName(before.at(bLogoUrl).keyPath);
    writeFile(copy.path("replacement"),
              entryFile(kPrefix + bLogoUrl, "RIFF-new",
                        "HTTP/1.1 200 OK\0Content-Type: image/webp\0"s));
    fs::rename(copy.path("replacement"), copy.path(name));
  }
  // Cut short by one byte, removed, added; the `_s` of a sparse entry gone.
  fs::resize_file(before.at(appUrl).keyPath, fs::file_size(before.at(appUrl).keyPath) - 1);
  fs::remove(before.at(removedUrl).keyPath);
  const std::string addedUrl = kSite + "/added.png";
  writeFile(copy.path(entryName(kPrefix + addedUrl)),
            entryFile(kPrefix + addedUrl, "PNG",
                      "HTTP/1.1 200 OK\0Content-Type: image/png\0"s));
  fs::remove(copy.path(kTrailerSparse));

  const auto again = c->enumerate();
  auto fresh = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(fresh);
  expectSameEntries(again, fresh->enumerate());
  const auto urls = byUrl(again);
  EXPECT_EQ(urls.at(kSite + "/a/logo.gif").fileExtension, "png");
  EXPECT_EQ(urls.at(bLogoUrl).fileExtension, "webp");
  EXPECT_EQ(readBody(*c, urls.at(bLogoUrl)).bytes, "RIFF-new");
  EXPECT_FALSE(urls.count(appUrl));
  EXPECT_FALSE(urls.count(removedUrl));
  EXPECT_TRUE(urls.count(addedUrl));
  EXPECT_TRUE(urls.at(trailerUrl).localPath.empty());
}

TEST(ChromiumSimpleContainerTest, AnUnchangedEntryFileIsOpenedOnceAndAChangedOneReadAfresh) {
  CacheCopy copy;
  letFilesSettle();
  auto c = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(c);
  const auto urls = byUrl(c->enumerate());
  const tu::ContainerEntry logo = urls.at(kSite + "/a/logo.gif");
  Body body;
  std::uint32_t error = 0;
  const auto opened = entryFilesOpenedBy(copy.dir, [&] {
    EXPECT_TRUE(c->retrieve(logo, &error));
    body = readBody(*c, logo);
  });
  EXPECT_EQ(opened.count(kLogoFile), 1u);
  ASSERT_TRUE(body.ok);
  const std::string gif = body.bytes;
  ASSERT_EQ(gif.size(), logo.size);

  // Replaced after the enumeration by an entry of the same URL and body
  // size: the new file's own body and checksum count.
  ASSERT_EQ(entryName(kPrefix + logo.url), kLogoFile);
  std::string other = gif;
  for (char& b : other) b = static_cast<char>(b ^ 0x5a);
  writeFile(copy.path("replacement"),
            entryFile(kPrefix + logo.url, other,
                      "HTTP/1.1 200 OK\0Content-Type: image/gif\0"s));
  fs::rename(copy.path("replacement"), copy.path(kLogoFile));
  EXPECT_TRUE(c->retrieve(logo, &error));
  body = readBody(*c, logo);
  EXPECT_TRUE(body.ok);
  EXPECT_EQ(body.bytes, other);
}

// Big enough that the files are read on several threads: the listing is
// still in file-name order, each counter counts in that order, and a bad
// file among them is passed over alone.
TEST(ChromiumSimpleContainerTest, ManyEntryFilesAreListedInFileNameOrderWithTheirCounters) {
  CacheCopy copy;
  const std::string gif = readFile(copy.path(kLogoFile)).substr(0x62, 83);
  const std::string png = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x08\x02\0\0\0"s;
  std::set<std::string> good, bad;
  int goodSniffed = 0;
  for (int i = 0; i < 3000; ++i) {
    const bool sniffed = i % 5 == 0;
    const std::string url = "http://h" + std::to_string(i) + (sniffed ? "/same/pic" : "/same/logo.gif");
    const std::string k = kPrefix + url;
    std::string f = sniffed ? entryFile(k, png, "HTTP/1.1 200 OK\0"s)
                            : entryFile(k, gif, "HTTP/1.1 200 OK\0Content-Type: image/gif\0"s);
    if (i % 7 == 3) {
      f[0] ^= 1;  // bad initial magic
      bad.insert(url);
    } else {
      good.insert(url);
      goodSniffed += sniffed;
    }
    writeFile(copy.path(entryName(k)), f);
  }
  auto c = tu::ChromiumSimpleContainer::open(copy.dir);
  ASSERT_TRUE(c);
  const auto entries = c->enumerate();
  std::string lastFile;
  std::map<std::string, int> counters;  // "base.ext", case-blind -> last counter seen
  std::size_t madeListed = 0;
  for (const tu::ContainerEntry& e : entries) {
    SCOPED_TRACE(e.url);
    const std::string file = baseName(e.keyPath);
    EXPECT_LT(lastFile, file);
    lastFile = file;
    EXPECT_FALSE(bad.count(e.url));
    if (good.count(e.url)) ++madeListed;
    const std::string local = baseName(e.localPath);
    const std::size_t open = local.find('['), close = local.find(']');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::string counted = local.substr(0, open) + local.substr(close + 1);
    for (char& ch : counted) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(std::stoi(local.substr(open + 1, close - open - 1)), ++counters[counted]) << local;
  }
  EXPECT_EQ(madeListed, good.size());
  EXPECT_EQ(counters["pic.png"], goodSniffed);
  expectSameEntries(c->enumerate(), entries);
}

}  // namespace
