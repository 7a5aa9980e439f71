#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/urlcache/chromium/ChromiumSqlContainer.h"

namespace tu = tessarine::urlcache;
namespace fs = std::filesystem;

namespace {

const std::string kData = TESSARINE_TEST_DATA "/chromium-sql";
const std::string kSite = "http://127.0.0.1:8127";

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

// A private copy of the fixture cache, as a profile's Cache/Cache_Data.
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

// Every file under `dir` with its bytes and modification time.
std::map<std::string, std::pair<std::string, std::int64_t>> snapshot(
    const std::string& dir) {
  std::map<std::string, std::pair<std::string, std::int64_t>> out;
  for (const auto& f : fs::recursive_directory_iterator(dir)) {
    struct stat st {};
    ::stat(f.path().c_str(), &st);
    out[fs::relative(f.path(), dir).string()] = {
        readFile(f.path().string()),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
            st.st_mtim.tv_nsec};
  }
  return out;
}

// Runs SQL on a shard with SQLite itself, as a browser would.
void exec(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
  char* msg = nullptr;
  EXPECT_EQ(sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK)
      << sql << ": " << (msg ? msg : "");
  sqlite3_free(msg);
  sqlite3_close(h);
}

std::int64_t queryInt(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(h, sql.c_str(), -1, &s, nullptr);
  const std::int64_t v = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
  sqlite3_finalize(s);
  sqlite3_close(h);
  return v;
}

// Reads every entry and every body; returns how many bodies came whole.
int readEverything(tu::Container& c) {
  int whole = 0;
  for (const auto& e : c.enumerate()) {
    std::uint32_t error = 0;
    c.retrieve(e, &error);
    if (readBody(c, e).ok) ++whole;
  }
  return whole;
}

// --- The fixture as Chromium wrote it ----------------------------------

TEST(ChromiumSqlContainerTest, ListsEveryCachedUrlAndRecoversEveryWholeBody) {
  auto c = tu::ChromiumSqlContainer::open(kData + "/cache");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->folder(), kData + "/cache");
  const auto entries = c->enumerate();
  const auto urls = byUrl(entries);

  std::set<std::string> expected, listed;
  for (const Row& r : manifest())
    if (r.inCache != "no") expected.insert(r.url);
  for (const auto& e : entries) listed.insert(e.url);
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(entries.size(), 31u);

  int recovered = 0;
  for (const Row& r : manifest()) {
    if (r.inCache == "no") continue;
    SCOPED_TRACE(r.url);
    const tu::ContainerEntry& e = urls.at(r.url);
    EXPECT_NE(e.headers.find("HTTP/1.1 " + std::to_string(r.status)), std::string::npos);
    EXPECT_EQ(fs::path(e.keyPath).parent_path(), kData + "/cache");
    EXPECT_GT(e.lastAccess, 0u);
    std::uint32_t error = 0;
    if (r.inCache == "yes" && r.status == 200) {
      EXPECT_EQ(e.size, r.wireSize);
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
    }
  }
  EXPECT_EQ(recovered, 27);
  EXPECT_EQ(urls.at(kSite + "/js/app.js").size, 1501u);  // stored gzip-encoded
  EXPECT_EQ(urls.at(kSite + "/video/stream.avi").size, 65536u);
  EXPECT_EQ(urls.at(kSite + "/video/trailer.webm").size, 170001u);  // body_end

  std::set<std::size_t> longUrls;
  for (const auto& e : entries)
    if (e.url.size() >= kSite.size() + 300) longUrls.insert(e.url.size() - kSite.size());
  EXPECT_EQ(longUrls, (std::set<std::size_t>{300, 1500}));  // after the origin

  const std::map<std::string, std::string> names = {
      {"/img/noext", "noext[1].png"},   {"/a/logo.gif", "logo[1].gif"},
      {"/b/logo.gif", "logo[2].gif"},   {"/js/app.js", "app[1].js"},
      {"/files/my%20photo%20%C3%A9t%C3%A9.gif", "my photo \xc3\xa9t\xc3\xa9[1].gif"},
  };
  for (const auto& [path, name] : names)
    EXPECT_EQ(urls.at(kSite + path).localPath, kData + "/cache/" + name);
}

TEST(ChromiumSqlContainerTest, RecognisesSqlCacheFoldersOnly) {
  CacheCopy copy;
  const std::string parent = fs::path(copy.dir).parent_path().string();
  auto viaParent = tu::ChromiumSqlContainer::open(parent);
  ASSERT_TRUE(viaParent);
  EXPECT_EQ(viaParent->folder(), copy.dir);
  const std::vector<std::pair<const char*, std::string>> notSql = {
      {"simple index", std::string("\x30\x5c\x72\xa7\x1b\x6d\xfb\xfc", 8) + std::string(16, '\0')},
      {"short", "SQLCach"},
      {"empty", ""},
  };
  for (const auto& [what, index] : notSql) {
    SCOPED_TRACE(what);
    std::ofstream(copy.path("index"), std::ios::binary | std::ios::trunc) << index;
    EXPECT_FALSE(tu::ChromiumSqlContainer::open(copy.dir));
  }
  fs::remove(copy.path("index"));
  EXPECT_FALSE(tu::ChromiumSqlContainer::open(copy.dir));
  EXPECT_FALSE(tu::ChromiumSqlContainer::open(parent));
  EXPECT_FALSE(tu::ChromiumSqlContainer::open(""));
}

// --- Reading writes nothing ----------------------------------------------

TEST(ChromiumSqlContainerTest, ReadingLeavesEveryFileAsItWas) {
  struct Case {
    const char* what;
    std::function<void(const CacheCopy&)> prepare;
  };
  const std::vector<Case> cases = {
      {"as Chromium left it", [](const CacheCopy&) {}},
      // A WAL-mode shard with no -shm: SQLite would create -shm and -wal.
      {"a shard in WAL mode",
       [](const CacheCopy& c) { exec(c.path("sqldb2"), "PRAGMA journal_mode=WAL"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CacheCopy copy;
    c.prepare(copy);
    const auto before = snapshot(copy.dir);
    auto cache = tu::ChromiumSqlContainer::open(copy.dir);
    ASSERT_TRUE(cache);
    EXPECT_EQ(readEverything(*cache), 27);
    EXPECT_EQ(snapshot(copy.dir), before);
  }
}

// --- Another process holding a shard ------------------------------------

// A child process that opens `db` with SQLite and holds a write
// transaction (with a change in it) until told to end it.
struct Writer {
  pid_t pid = -1;
  int toChild[2]{-1, -1}, fromChild[2]{-1, -1};
  explicit Writer(const std::string& db) {
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
    pid = ::fork();
    if (pid == 0) {
      sqlite3* h = nullptr;
      char ok = 'n';
      if (sqlite3_open(db.c_str(), &h) == SQLITE_OK &&
          sqlite3_exec(h, "PRAGMA journal_mode=TRUNCATE; BEGIN IMMEDIATE; "
                          "UPDATE resources SET hints = hints WHERE res_id = 1",
                       nullptr, nullptr, nullptr) == SQLITE_OK)
        ok = 'y';
      (void)!::write(fromChild[1], &ok, 1);
      char c;
      (void)!::read(toChild[0], &c, 1);
      sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_close(h);
      ::_exit(0);
    }
  }
  bool ready() {
    char c = 0;
    return pid > 0 && ::read(fromChild[0], &c, 1) == 1 && c == 'y';
  }
  ~Writer() {
    if (pid <= 0) return;
    (void)!::write(toChild[1], "x", 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) ::close(fd);
  }
};

TEST(ChromiumSqlContainerTest, ShardHeldByAnotherProcess) {
  CacheCopy copy;
  auto cache = tu::ChromiumSqlContainer::open(copy.dir);
  ASSERT_TRUE(cache);
  const auto before = byUrl(cache->enumerate());
  const tu::ContainerEntry appJs = before.at(kSite + "/js/app.js");  // in sqldb0
  ASSERT_EQ(fs::path(appJs.keyPath).filename(), "sqldb0");
  const std::string shardBytes = readFile(copy.path("sqldb0"));
  {
    Writer writer(copy.path("sqldb0"));
    ASSERT_TRUE(writer.ready());
    // A reader's shared lock goes with the writer's reserved one.
    EXPECT_EQ(readEverything(*cache), 27);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(cache->remove(appJs), tu::kErrorSharingViolation);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_EQ(readFile(copy.path("sqldb0")), shardBytes);
    EXPECT_TRUE(readBody(*cache, appJs).ok);
  }
  EXPECT_EQ(readFile(copy.path("sqldb0")), shardBytes);
  EXPECT_EQ(byUrl(cache->enumerate()).size(), 31u);
  EXPECT_EQ(cache->remove(appJs), tu::kErrorSuccess);  // free again
}

// --- Delete --------------------------------------------------------------

TEST(ChromiumSqlContainerTest, RemoveDeletesExactlyThatEntry) {
  CacheCopy copy;
  auto cache = tu::ChromiumSqlContainer::open(copy.dir);
  ASSERT_TRUE(cache);
  const auto before = byUrl(cache->enumerate());
  const tu::ContainerEntry big = before.at(kSite + "/big/noise.png");
  ASSERT_EQ(fs::path(big.keyPath).filename(), "sqldb2");
  const auto other = snapshot(copy.dir);

  EXPECT_EQ(cache->remove(big), tu::kErrorSuccess);
  const auto after = byUrl(cache->enumerate());
  EXPECT_EQ(after.size(), 30u);
  EXPECT_FALSE(after.count(big.url));
  for (const auto& [url, e] : after) {
    SCOPED_TRACE(url);
    EXPECT_EQ(e.localPath, before.at(url).localPath);
    EXPECT_EQ(e.size, before.at(url).size);
  }
  const std::string db = copy.path("sqldb2");
  const std::string res = std::to_string(big.key);
  EXPECT_EQ(queryInt(db, "SELECT count(*) FROM resources WHERE res_id = " + res), 0);
  EXPECT_EQ(queryInt(db, "SELECT count(*) FROM blobs WHERE res_id = " + res), 0);
  EXPECT_EQ(queryInt(db, "SELECT count(*) FROM resources"), 10);
  EXPECT_EQ(queryInt(db, "SELECT count(*) FROM blobs"), 11);
  EXPECT_EQ(queryInt(db, "SELECT value FROM meta WHERE key = 'EntryCount'"), 10);
  EXPECT_EQ(queryInt(db, "SELECT value FROM meta WHERE key = 'TotalSize'"),
            489512 - 361456);
  // The other shards are untouched; the journal stays, empty, as Chromium keeps it.
  const auto now = snapshot(copy.dir);
  for (const char* name : {"index", "sqldb0", "sqldb1", "sqldb0-journal", "sqldb1-journal"})
    EXPECT_EQ(now.at(name), other.at(name)) << name;
  EXPECT_EQ(now.at("sqldb2-journal").first, "");

  EXPECT_EQ(cache->remove(big), tu::kErrorFileNotFound);
  tu::ContainerEntry forged = before.at(kSite + "/img/scan.jpeg");
  forged.keyPath = copy.dir + "/../sqldb2";
  EXPECT_EQ(cache->remove(forged), tu::kErrorInvalidParameter);
  forged = before.at(kSite + "/img/scan.jpeg");
  forged.url = kSite + "/other";
  EXPECT_EQ(cache->remove(forged), tu::kErrorFileNotFound);
  EXPECT_EQ(byUrl(cache->enumerate()).size(), 30u);
}

// --- Hostile shards ------------------------------------------------------

TEST(ChromiumSqlContainerTest, BadShardsAndRowsAreSkipped) {
  const std::string trailer =
      "(SELECT res_id FROM resources WHERE cache_key LIKE '%trailer.webm')";
  struct Case {
    const char* what;
    const char* shard;
    std::string sql;  // run on the shard; empty: `damage` instead
    std::function<void(const std::string&)> damage;
    std::size_t listed;  // entries enumerated
    int whole;           // bodies read whole
  };
  auto cut = [](std::size_t size) {
    return [size](const std::string& p) { fs::resize_file(p, size); };
  };
  const std::vector<Case> cases = {
      {"shard cut to half", "sqldb2", "", cut(272384), 20, 18},
      {"shard cut to its header", "sqldb2", "", cut(100), 20, 18},
      {"garbage instead of a shard", "sqldb2", "",
       [](const std::string& p) {
         std::ofstream(p, std::ios::binary | std::ios::trunc) << std::string(8192, 'g');
       },
       20, 18},
      {"a directory instead of a shard", "sqldb2", "",
       [](const std::string& p) { fs::remove(p); fs::create_directory(p); }, 20, 18},
      {"no blobs table", "sqldb1", "DROP TABLE blobs", nullptr, 31, 19},
      {"no resources table", "sqldb1", "DROP TABLE resources", nullptr, 22, 19},
      {"negative body_end", "sqldb1", "UPDATE resources SET body_end = -5 WHERE res_id = 1",
       nullptr, 30, 26},
      {"body_end beyond the blobs", "sqldb1",
       "UPDATE resources SET body_end = 9999999999999 WHERE res_id = 1", nullptr, 31, 26},
      {"head garbage", "sqldb1", "UPDATE resources SET head = x'00112233' WHERE res_id = 2",
       nullptr, 30, 26},
      {"head NULL", "sqldb1", "UPDATE resources SET head = NULL WHERE res_id = 2", nullptr, 30, 26},
      {"head as text", "sqldb1", "UPDATE resources SET head = 'HTTP/1.1 200 OK' WHERE res_id = 2",
       nullptr, 30, 26},
      {"key without URL", "sqldb1", "UPDATE resources SET cache_key = 'x' WHERE res_id = 2",
       nullptr, 30, 26},
      {"doomed row", "sqldb1", "UPDATE resources SET doomed = 1 WHERE res_id = 2", nullptr, 30, 26},
      {"blob shorter than its range", "sqldb1",
       "UPDATE blobs SET end = end + 1 WHERE res_id = 3", nullptr, 31, 26},
      {"blob with negative start", "sqldb1",
       "UPDATE blobs SET start = -1 WHERE res_id = 3", nullptr, 31, 26},
      {"blob of a huge range", "sqldb1",
       "UPDATE blobs SET start = 4611686018427387904, end = 4611686018427399904 "
       "WHERE res_id = 3", nullptr, 31, 26},
      {"blob as text", "sqldb1",
       "UPDATE blobs SET blob = CAST(blob AS TEXT) WHERE res_id = 3", nullptr, 31, 26},
      // Sound, and read only as far as body_end.
      {"huge blob stored", "sqldb1",
       "UPDATE blobs SET blob = zeroblob(50000000), end = 50000000 WHERE res_id = 3",
       nullptr, 31, 27},
      {"blob rows overlapping a whole body", "sqldb1",
       "INSERT INTO blobs(res_id, start, end, check_sum, blob) "
       "SELECT res_id, 10, 30, 0, substr(blob, 11, 20) FROM blobs WHERE res_id = 3",
       nullptr, 31, 27},
      {"sparse row without a head", "sqldb2",
       "UPDATE resources SET head = NULL WHERE res_id = " + trailer, nullptr, 30, 27},
      {"gzip body corrupt", "sqldb0",
       "UPDATE blobs SET blob = zeroblob(1501) WHERE res_id = 1", nullptr, 31, 26},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CacheCopy copy;
    const std::string shard = copy.path(c.shard);
    if (c.damage) c.damage(shard);
    else exec(shard, c.sql);
    auto cache = tu::ChromiumSqlContainer::open(copy.dir);
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->enumerate().size(), c.listed);
    EXPECT_EQ(readEverything(*cache), c.whole);
  }
}

TEST(ChromiumSqlContainerTest, SparseRowsCoveringTheTotalArePiecedTogether) {
  const std::string file = readFile(kData + "/site/video/trailer.webm");
  std::string sha;
  for (const Row& r : manifest())
    if (r.url == kSite + "/video/trailer.webm") sha = r.sha256;
  ASSERT_EQ(sha256Hex(file), sha);
  auto hex = [&](std::size_t at, std::size_t n) {
    return "x'" + QByteArray::fromStdString(file.substr(at, n)).toHex().toStdString() + "'";
  };
  auto insert = [&](std::size_t start, std::size_t end) {
    return "INSERT INTO blobs(res_id, start, end, check_sum, blob) VALUES(12, " +
           std::to_string(start) + ", " + std::to_string(end) + ", 0, " +
           hex(start, end - start) + ");";
  };
  struct Case {
    const char* what;
    std::string sql;
    bool covered;
  };
  const std::vector<Case> cases = {
      {"the gaps filled", insert(65536, 150001) + insert(170001, 200000), true},
      {"filled with overlaps", insert(60000, 160000) + insert(165000, 200000), true},
      {"one byte short", insert(65536, 150001) + insert(170001, 199999), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CacheCopy copy;
    exec(copy.path("sqldb2"), c.sql);
    auto cache = tu::ChromiumSqlContainer::open(copy.dir);
    ASSERT_TRUE(cache);
    const tu::ContainerEntry e = byUrl(cache->enumerate()).at(kSite + "/video/trailer.webm");
    if (!c.covered) {
      EXPECT_EQ(e.localPath, "");
      continue;
    }
    EXPECT_EQ(fs::path(e.localPath).filename(), "trailer[1].webm");
    EXPECT_EQ(e.size, 200000u);
    const Body b = readBody(*cache, e);
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(sha256Hex(b.bytes), sha);
  }
}

}  // namespace
