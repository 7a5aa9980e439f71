#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include "platform/urlcache/chromium/ChromiumBlockfileAddress.h"
#include "platform/urlcache/chromium/ChromiumBlockfileContainer.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"

namespace tu = tessarine::urlcache;
namespace fs = std::filesystem;
namespace key = tessarine::urlcache::chromium_key;
using namespace std::string_literals;

namespace {

const std::string kData = TESSARINE_TEST_DATA "/chromium-blockfile";
const std::string kPeers = TESSARINE_TEST_DATA "/peers-chrome";
const std::string kSite = "http://127.0.0.1:8125";

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
    rows.push_back({f[0], std::stoi(f[2]), f[6], f[7],
                    f[8] == "-" ? 0 : std::stoull(f[8])});
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

struct Body {
  bool ok = false;
  std::string bytes;
  std::uint32_t error = 0;
};
Body readBody(tu::Container& c, const tu::ContainerEntry& e) {
  Body b;
  auto s = c.openBody(e, &b.error);
  if (!s) return b;
  char buf[3000];
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

// A private, writable copy of a cache folder, as `<tmp>/Cache/Cache_Data`.
struct CacheCopy {
  QTemporaryDir tmp;
  std::string dir;
  explicit CacheCopy(const std::string& from = kData + "/cache") {
    dir = tmp.path().toStdString() + "/Cache/Cache_Data";
    fs::create_directories(dir);
    fs::copy(from, dir, fs::copy_options::recursive);
    for (const auto& f : fs::directory_iterator(dir))
      fs::permissions(f.path(), fs::perms::owner_write, fs::perm_options::add);
  }
  std::string path(const std::string& name) const { return dir + "/" + name; }
};

void putU32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

// Byte offset of a block address inside its data_N file.
std::size_t offsetOf(std::uint32_t address) {
  const auto a = tu::ChromiumBlockfileAddress::decode(address);
  return static_cast<std::size_t>(a->fileOffset());
}

// Rewrites the self hash of the entry record at `at` after an edit, so
// that only the edited field is wrong.
void fixSelfHash(std::string& data1, std::size_t at) {
  putU32(data1, at + 0x5c, key::superFastHash(std::string_view(data1).substr(at, 0x5c)));
}

// Where the fixture's entries are: record address and hash-table bucket,
// by URL path.
struct Place {
  std::uint32_t address = 0;
  std::uint32_t bucket = 0;
};
std::map<std::string, Place> places() {
  auto c = tu::ChromiumBlockfileContainer::open(kData + "/cache");
  std::map<std::string, Place> m;
  for (const auto& e : c->enumerate())
    m[e.url.substr(kSite.size())] = {static_cast<std::uint32_t>(e.key),
                                     key::superFastHash(e.keyPath) & 0xffff};
  return m;
}

// Checks what a damaged copy serves: the URLs under `gone` are not listed,
// those under `noCopy` are listed without a local copy, those under
// `either` are listed with or without one, and every other whole body of
// the manifest is listed and read byte-exact (as is any copy of `either`).
void expectServed(tu::Container& c, const std::set<std::string>& gone,
                  const std::set<std::string>& noCopy,
                  const std::set<std::string>& either) {
  const auto urls = byUrl(c.enumerate());
  for (const Row& r : manifest()) {
    if (r.inCache == "no") continue;
    const std::string path = r.url.substr(kSite.size());
    SCOPED_TRACE(path);
    if (gone.count(path)) {
      EXPECT_FALSE(urls.count(r.url));
      continue;
    }
    ASSERT_TRUE(urls.count(r.url));
    const tu::ContainerEntry& e = urls.at(r.url);
    if (either.count(path) && e.localPath.empty()) continue;
    if (noCopy.count(path) || r.inCache != "yes" || r.status != 200) {
      EXPECT_EQ(e.localPath, "");
      std::uint32_t error = 0;
      EXPECT_EQ(c.openBody(e, &error), nullptr);
      continue;
    }
    const Body b = readBody(c, e);
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_EQ(sha256Hex(b.bytes), r.sha256);
  }
}

// --- The fixture as Chromium wrote it ----------------------------------

TEST(ChromiumBlockfileContainerTest, ListsEveryCachedUrlAndRecoversEveryWholeBody) {
  auto c = tu::ChromiumBlockfileContainer::open(kData + "/cache");
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
  // 32 records in the index: the sparse child belongs to its parent.
  EXPECT_EQ(entries.size(), 31u);

  int recovered = 0;
  for (const Row& r : manifest()) {
    if (r.inCache == "no") continue;
    SCOPED_TRACE(r.url);
    const tu::ContainerEntry& e = urls.at(r.url);
    EXPECT_EQ(e.size, r.wireSize);
    EXPECT_NE(e.headers.find("HTTP/1.1 " + std::to_string(r.status)), std::string::npos);
    if (r.status != 404) {
      EXPECT_EQ(e.lastModified, 133722504000000000ULL);  // 01 Oct 2024 10:00 GMT
    }
    EXPECT_GT(e.lastSync, 0u);
    EXPECT_GT(e.lastAccess, 0u);
    std::uint32_t error = 0;
    if (r.inCache == "yes" && r.status == 200) {
      EXPECT_EQ(e.localPath.rfind(kData + "/cache/", 0), 0u) << e.localPath;
      EXPECT_TRUE(c->retrieve(e, &error));
      const Body b = readBody(*c, e);
      ASSERT_TRUE(b.ok) << b.error;
      EXPECT_EQ(sha256Hex(b.bytes), r.sha256);
      ++recovered;
    } else {
      // Redirect, error answers, truncated download, sparse ranges that do
      // not cover the resource.
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
}

TEST(ChromiumBlockfileContainerTest, ReadsLongKeysWhole) {
  auto c = tu::ChromiumBlockfileContainer::open(kData + "/cache");
  ASSERT_TRUE(c);
  std::map<std::size_t, tu::ContainerEntry> byLength;
  for (const auto& e : c->enumerate()) byLength[e.url.size()] = e;
  // URLs of 300 and 1 500 characters after the site: in a 2-block record
  // (0xa1010038), and at the key's own address in data_2.
  for (const auto& [length, record, keyLength] :
       {std::tuple{321u, 0xa1010038u, 363u}, std::tuple{1521u, 0xa0010037u, 1563u}}) {
    SCOPED_TRACE(length);
    ASSERT_TRUE(byLength.count(length));
    const auto& e = byLength.at(length);
    EXPECT_EQ(e.key, record);
    EXPECT_EQ(e.keyPath.size(), keyLength);
    EXPECT_NE(e.localPath, "");
  }
}

TEST(ChromiumBlockfileContainerTest, DecodesCacheAddressesAsTheNotesShow) {
  struct Case {
    std::uint32_t raw;
    std::string file;
    std::uint32_t blocks;
    std::uint64_t offset;
  };
  const std::vector<Case> cases = {
      {0xa0010042, "data_1", 1, 8192 + 0x42 * 256},
      {0xb1020004, "data_2", 2, 8192 + 4 * 1024},
      {0x80000001, "f_000001", 0, 0},
      {0x9000001d, "data_0", 1, 8192 + 0x1d * 36},
      {0xc3030008, "data_3", 4, 8192 + 8 * 4096},
      {0x8abcdef1, "f_abcdef1", 0, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.raw);
    const auto a = tu::ChromiumBlockfileAddress::decode(k.raw);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->fileName(), k.file);
    EXPECT_EQ(a->blockCount(), k.blocks);
    EXPECT_EQ(a->fileOffset(), k.offset);
  }
  // Empty, never-shipped types, reserved bits.
  for (std::uint32_t raw : {0x00000000u, 0x20010042u, 0xd0010000u, 0xf0000000u, 0xa4010042u})
    EXPECT_FALSE(tu::ChromiumBlockfileAddress::decode(raw)) << raw;
}

TEST(ChromiumBlockfileContainerTest, RecognisesBlockfileFoldersOnly) {
  CacheCopy copy;
  const std::string parent = fs::path(copy.dir).parent_path().string();
  ASSERT_TRUE(tu::ChromiumBlockfileContainer::open(copy.dir + "/"));
  auto viaParent = tu::ChromiumBlockfileContainer::open(parent);
  ASSERT_TRUE(viaParent);
  EXPECT_EQ(viaParent->folder(), copy.dir);
  EXPECT_EQ(viaParent->enumerate().size(), 31u);

  const std::string index = readFile(copy.path("index"));
  auto with = [&](std::size_t at, std::uint32_t v) {
    std::string s = index;
    putU32(s, at, v);
    return s;
  };
  const std::vector<std::pair<const char*, std::string>> notOurs = {
      {"simple index", "\x30\x5c\x72\xa7\x1b\x6d\xfb\xfc\x09\x00\x00\x00"s + std::string(12, '\0')},
      {"sql index", "SQLCacheTruncate3"},
      {"header cut short", index.substr(0, 0x16f)},
      {"empty", ""},
      {"bad magic", with(0, 0xc103cac4)},
      {"version 1", with(4, 0x10000)},
      {"version 3.1", with(4, 0x30001)},
      {"table length not a power of two", with(0x1c, 65535)},
      {"table length too long", with(0x1c, 1u << 30)},
  };
  for (const auto& [what, bytes] : notOurs) {
    SCOPED_TRACE(what);
    writeFile(copy.path("index"), bytes);
    EXPECT_FALSE(tu::ChromiumBlockfileContainer::open(copy.dir));
    EXPECT_FALSE(tu::ChromiumBlockfileContainer::open(parent));
  }
  fs::remove(copy.path("index"));
  EXPECT_FALSE(tu::ChromiumBlockfileContainer::open(copy.dir));
  EXPECT_FALSE(tu::ChromiumBlockfileContainer::open(""));
  EXPECT_FALSE(tu::ChromiumBlockfileContainer::open(TESSARINE_TEST_DATA "/chromium-simple/cache"));
}

// --- Caches from other machines ---------------------------------------

// What the peers' caches hold that we can tell without their data_3.
struct PeerFigures {
  std::size_t listed = 0, withHeaders = 0, withCopy = 0;
};
PeerFigures readPeer(const std::string& dir) {
  auto c = tu::ChromiumBlockfileContainer::open(dir);
  EXPECT_TRUE(c);
  PeerFigures f;
  if (!c) return f;
  for (const auto& e : c->enumerate()) {
    ++f.listed;
    EXPECT_FALSE(e.url.empty());
    if (!e.headers.empty()) ++f.withHeaders;
    if (e.localPath.empty()) {
      std::uint32_t error = 0;
      EXPECT_EQ(c->openBody(e, &error), nullptr);
      EXPECT_EQ(error, tu::kErrorFileNotFound);
      continue;
    }
    ++f.withCopy;
    SCOPED_TRACE(e.url);
    const Body b = readBody(*c, e);
    EXPECT_TRUE(b.ok) << b.error;
    if (e.headers.find("Content-Encoding") == std::string::npos) {
      EXPECT_EQ(b.bytes.size(), e.size);
    }
  }
  return f;
}

TEST(ChromiumBlockfileContainerTest, ReadsAVersion2CacheWithoutItsData3) {
  // plaso counts 217 entries; every one has a readable key. The response
  // info of 164 of them is in the missing data_3: listed, no local copy.
  const PeerFigures f = readPeer(kPeers + "/chrome_cache");
  EXPECT_EQ(f.listed, 217u);
  EXPECT_EQ(f.withHeaders, 53u);
  EXPECT_EQ(f.withCopy, 34u);
}

TEST(ChromiumBlockfileContainerTest, ReadsAVersion3CacheWithoutItsData3) {
  // plaso counts 862 records: 4 are sparse children (part of their
  // parents) and one keeps its 7 719-byte key in the missing data_3, so
  // its URL is unknown.
  const PeerFigures f = readPeer(kPeers + "/chrome_cache_v3");
  EXPECT_EQ(f.listed, 857u);
  EXPECT_EQ(f.withHeaders, 78u);
  EXPECT_EQ(f.withCopy, 73u);
}

// --- Sparse entries --------------------------------------------------------

// The trailer's child record and its stream 2 (sparse header and bitmap),
// as the index holds them.
constexpr std::uint32_t kTrailerChild = 0xa0010080;
constexpr std::uint32_t kTrailerChildControl = 0xa0010081;

// Makes the trailer's one child hold `stored` at offset 0 with the KiB
// blocks [0, blocks) marked and a last partial block of `lastLength`.
void setTrailerChild(CacheCopy& copy, const std::string& stored,
                     std::uint32_t blocks, std::uint32_t lastLength) {
  writeFile(copy.path("f_000004"), stored);
  std::string data1 = readFile(copy.path("data_1"));
  const std::size_t record = offsetOf(kTrailerChild);
  putU32(data1, record + 0x2c, static_cast<std::uint32_t>(stored.size()));
  fixSelfHash(data1, record);
  const std::size_t control = offsetOf(kTrailerChildControl);
  for (std::size_t i = 0; i < 128; ++i) data1[control + 64 + i] = 0;
  for (std::uint32_t b = 0; b < blocks; ++b)
    data1[control + 64 + b / 8] = static_cast<char>(data1[control + 64 + b / 8] | (1 << (b % 8)));
  putU32(data1, control + 0x10, blocks);
  putU32(data1, control + 0x14, lastLength);
  writeFile(copy.path("data_1"), data1);
}

TEST(ChromiumBlockfileContainerTest, PiecesASparseEntryTogetherWhenItsRangesCoverIt) {
  const std::string trailer = readFile(kData + "/site/video/trailer.webm");
  ASSERT_EQ(trailer.size(), 200000u);
  const std::string url = kSite + "/video/trailer.webm";
  struct Case {
    const char* what;
    std::uint32_t blocks, lastLength;
    bool whole;
  };
  // 200 000 bytes: 195 whole KiB blocks and 320 bytes in block 195.
  const std::vector<Case> cases = {
      {"every block and the last 320 bytes", 195, 320, true},
      {"every block, last block missing", 195, 0, false},
      {"last block one byte short", 195, 319, false},
      {"a block missing in the middle", 100, 0, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    CacheCopy copy;
    setTrailerChild(copy, trailer, k.blocks, k.lastLength);
    if (std::string(k.what) == "a block missing in the middle") {
      std::string data1 = readFile(copy.path("data_1"));
      // Blocks 0-99 and 101-194 marked, last block 195 holds 320 bytes.
      for (std::uint32_t b = 101; b < 195; ++b)
        data1[offsetOf(kTrailerChildControl) + 64 + b / 8] |= static_cast<char>(1 << (b % 8));
      putU32(data1, offsetOf(kTrailerChildControl) + 0x10, 195);
      putU32(data1, offsetOf(kTrailerChildControl) + 0x14, 320);
      writeFile(copy.path("data_1"), data1);
    }
    auto c = tu::ChromiumBlockfileContainer::open(copy.dir);
    ASSERT_TRUE(c);
    const auto urls = byUrl(c->enumerate());
    ASSERT_TRUE(urls.count(url));
    const tu::ContainerEntry& e = urls.at(url);
    if (!k.whole) {
      EXPECT_EQ(e.localPath, "");
      EXPECT_EQ(e.size, 0u);
      continue;
    }
    EXPECT_EQ(e.localPath, copy.path("trailer[1].webm"));
    EXPECT_EQ(e.size, 200000u);
    std::uint32_t error = 0;
    EXPECT_TRUE(c->retrieve(e, &error));
    const Body b = readBody(*c, e);
    ASSERT_TRUE(b.ok) << b.error;
    EXPECT_EQ(sha256Hex(b.bytes), "95f3e8748a2bc06ecd3f7c4a6be17de330629c5a60d4a25748e8dd211d1219a1");

    // The child's data cut short after listing: the read fails, never a
    // short body passed off as whole.
    writeFile(copy.path("f_000004"), trailer.substr(0, 150000));
    EXPECT_FALSE(readBody(*c, e).ok);
  }
}

// --- Hostile caches ----------------------------------------------------

TEST(ChromiumBlockfileContainerTest, SkipsBadEntriesAndServesTheRest) {
  const auto at = places();
  const std::uint32_t logo = at.at("/a/logo.gif").address;
  const std::uint32_t longKeyRecord = at.lower_bound("/pics/long.jpg?")->second.address;
  // Entries in buckets from logo's on, and records from logo's block on.
  std::set<std::string> fromLogoBucket, fromLogoBlock, beforeLogoBlock;
  for (const auto& [path, place] : at) {
    if (place.bucket >= (0xbb056b05 & 0xffff)) fromLogoBucket.insert(path);
    (place.address >= logo ? fromLogoBlock : beforeLogoBlock).insert(path);
  }
  const std::size_t logoAt = offsetOf(logo);
  const std::size_t logoBucket = 0x170 + 4 * (0xbb056b05 & 0xffff);
  using Files = std::map<std::string, std::string>;
  using Mutate = std::function<void(Files&)>;
  // Edits an entry record field and keeps its self hash right.
  auto field = [](std::size_t at, std::size_t offset, std::uint32_t v) {
    return [=](Files& f) {
      putU32(f["data_1"], at + offset, v);
      fixSelfHash(f["data_1"], at);
    };
  };
  struct Case {
    const char* what;
    Mutate mutate;
    std::set<std::string> gone, noCopy, either;
    Case(const char* w, Mutate m, std::set<std::string> g = {},
         std::set<std::string> n = {}, std::set<std::string> e = {})
        : what(w), mutate(std::move(m)), gone(std::move(g)), noCopy(std::move(n)),
          either(std::move(e)) {}
  };
  const std::string all = "*";
  const std::vector<Case> cases = {
      {"logo's bucket points past data_1", [&](Files& f) { putU32(f["index"], logoBucket, 0xa001ff00); },
       {"/a/logo.gif"}, {}},
      {"logo's bucket points at a rankings node",
       [&](Files& f) { putU32(f["index"], logoBucket, 0x9000000e); }, {"/a/logo.gif"}, {}},
      {"logo's bucket claims 4 blocks past the end",
       [&](Files& f) { putU32(f["index"], logoBucket, 0xa301fffe); }, {"/a/logo.gif"}, {}},
      {"bucket chain loops on itself", field(logoAt, 0x04, logo), {}, {}},
      {"chain runs into another bucket's record",
       field(logoAt, 0x04, at.at("/b/logo.gif").address), {}, {}},
      {"self hash wrong", [&](Files& f) { f["data_1"][logoAt + 0x0c] ^= 1; }, {"/a/logo.gif"}, {}},
      {"key hash wrong", field(logoAt, 0x00, 0xbb056b05 ^ 0x10000), {"/a/logo.gif"}, {}},
      {"key length past the block", field(logoAt, 0x20, 200), {"/a/logo.gif"}, {}},
      {"key length negative", field(logoAt, 0x20, 0xffffffff), {"/a/logo.gif"}, {}},
      {"long key address past data_2",
       field(offsetOf(longKeyRecord),
             0x24, 0xb102ff00),
       {"/pics/long.jpg?*"}, {}},
      {"not in the normal state", field(logoAt, 0x14, 2), {"/a/logo.gif"}, {}},
      {"body size past its block", field(logoAt, 0x2c, 300), {}, {"/a/logo.gif"}},
      {"body size negative", field(logoAt, 0x2c, 0xffffff00), {}, {"/a/logo.gif"}},
      {"body address past data_1", field(logoAt, 0x3c, 0xa001ff00), {}, {"/a/logo.gif"}},
      {"body address in a missing data_7", field(logoAt, 0x3c, 0xa0070042), {}, {"/a/logo.gif"}},
      {"body address a rankings node", field(logoAt, 0x3c, 0x9000000e), {}, {"/a/logo.gif"}},
      {"body address never shipped type", field(logoAt, 0x3c, 0xd0010042), {}, {"/a/logo.gif"}},
      {"response info size past its blocks", field(logoAt, 0x28, 0x1000), {}, {"/a/logo.gif"}},
      {"response info size huge", field(logoAt, 0x28, 0x7fffffff), {}, {"/a/logo.gif"}},
      {"rankings node left dirty by a crash",
       [&](Files& f) {
         const std::size_t at = offsetOf(0x9000000e);
         putU32(f["data_0"], at + 0x1c, 7);
         putU32(f["data_0"], at + 0x20, key::superFastHash(std::string_view(f["data_0"]).substr(at, 0x20)));
       },
       {}, {"/a/logo.gif"}},
      {"rankings node damaged", [&](Files& f) { f["data_0"][offsetOf(0x9000000e)] ^= 1; }, {}, {"/a/logo.gif"}},
      {"external file missing", [](Files& f) { f.erase("f_000001"); }, {}, {"/big/noise.png"}},
      {"external file short", [](Files& f) { f["f_000002"].pop_back(); }, {}, {"/audio/tone.mp3"}},
      {"external file a directory", [](Files& f) { f["f_000003"] = "<dir>"; }, {}, {"/video/clip.mp4"}},
      {"data_3 empty",
       [](Files& f) { f["data_3"].clear(); },
       {}, {"/index.html", "/icons/app.ico", "/img/diagram.bmp", "/img/thumb.jpg"}},
      {"data_3 header says data_2", [](Files& f) { f["data_3"][8] = 2; },
       {}, {"/index.html", "/icons/app.ico", "/img/diagram.bmp", "/img/thumb.jpg"}},
      {"data_3 header says 1 KiB blocks", [](Files& f) { putU32(f["data_3"], 0x0c, 1024); },
       {}, {"/index.html", "/icons/app.ico", "/img/diagram.bmp", "/img/thumb.jpg"}},
      {"data_2 bad magic", [](Files& f) { f["data_2"][0] ^= 1; },
       {"/pics/long.jpg?*"},
       {"/css/site.css", "/img/noext", "/favicon.ico", "/js/app.js", "/audio/beep.wav", "/img/photo.png"}},
      {"data_1 cut inside logo's record", [&](Files& f) { f["data_1"].resize(logoAt + 100); },
       fromLogoBlock, {}, beforeLogoBlock},
      {"data_0 missing", [](Files& f) { f.erase("data_0"); }, {}, {all}, {}},
      {"index cut inside logo's bucket", [&](Files& f) { f["index"].resize(logoBucket + 2); },
       fromLogoBucket, {}, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    CacheCopy copy;
    Files files;
    for (const auto& f : fs::directory_iterator(copy.dir))
      files[f.path().filename().string()] = readFile(f.path().string());
    Files changed = files;
    k.mutate(changed);
    for (const auto& [name, bytes] : files)
      if (!changed.count(name)) fs::remove(copy.path(name));
    for (const auto& [name, bytes] : changed) {
      if (files.count(name) && files.at(name) == bytes) continue;
      if (bytes == "<dir>") {
        fs::remove(copy.path(name));
        fs::create_directory(copy.path(name));
      } else {
        writeFile(copy.path(name), bytes);
      }
    }
    auto c = tu::ChromiumBlockfileContainer::open(copy.dir);
    ASSERT_TRUE(c);
    // Expand "*" (every row) and "prefix*" patterns to the manifest paths.
    auto expand = [&](const std::set<std::string>& patterns) {
      std::set<std::string> out;
      for (const Row& r : manifest()) {
        const std::string path = r.url.substr(kSite.size());
        for (const std::string& p : patterns)
          if (p == path || (p.back() == '*' && path.rfind(p.substr(0, p.size() - 1), 0) == 0))
            out.insert(path);
      }
      return out;
    };
    expectServed(*c, expand(k.gone), expand(k.noCopy), expand(k.either));
  }
}

TEST(ChromiumBlockfileContainerTest, SurvivesRandomDamage) {
  std::mt19937 rng(20261211);
  for (const char* name : {"index", "data_1", "data_0", "data_2"}) {
    for (int round = 0; round < 12; ++round) {
      SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
      CacheCopy copy;
      std::string bytes = readFile(copy.path(name));
      // Damage where the live structures are: header, table, first blocks.
      const std::size_t span = std::string(name) == "index" ? bytes.size() : 8192 + 0x90 * 256;
      for (int i = 0; i < 40; ++i)
        bytes[rng() % std::min(span, bytes.size())] = static_cast<char>(rng());
      writeFile(copy.path(name), bytes);
      auto c = tu::ChromiumBlockfileContainer::open(copy.dir);
      if (!c) continue;
      for (const auto& e : c->enumerate()) {
        EXPECT_EQ(e.localPath.rfind(copy.dir + "/", 0), e.localPath.empty() ? std::string::npos : 0u);
        readBody(*c, e);
      }
    }
  }
}

// --- Removal -------------------------------------------------------------

std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> m;
  for (const auto& f : fs::directory_iterator(dir))
    m[f.path().filename().string()] = readFile(f.path().string());
  return m;
}

TEST(ChromiumBlockfileContainerTest, RemoveRefusesAndChangesNothing) {
  CacheCopy copy;
  auto c = tu::ChromiumBlockfileContainer::open(copy.dir);
  ASSERT_TRUE(c);
  const auto before = snapshot(copy.dir);
  const auto urls = byUrl(c->enumerate());
  const tu::ContainerEntry logo = urls.at(kSite + "/a/logo.gif");
  EXPECT_EQ(c->remove(logo), tu::kErrorAccessDenied);

  tu::ContainerEntry stale = logo;
  stale.key = urls.at(kSite + "/b/logo.gif").key;
  EXPECT_EQ(c->remove(stale), tu::kErrorFileNotFound);
  stale = logo;
  stale.keyPath += "x";
  EXPECT_EQ(c->remove(stale), tu::kErrorFileNotFound);

  // Another process holding data_1 open, as a running browser does.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    const int fd = ::open(copy.path("data_1").c_str(), O_RDONLY);
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(fd >= 0 ? 0 : 1);
  }
  char x;
  ASSERT_EQ(read(ready[0], &x, 1), 1);
  EXPECT_EQ(c->remove(logo), tu::kErrorSharingViolation);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);

  EXPECT_EQ(snapshot(copy.dir), before);
  EXPECT_TRUE(readBody(*c, logo).ok);
}

}  // namespace
