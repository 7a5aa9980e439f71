#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QList>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "MsieTestSupport.h"
#include "platform/urlcache/msie/MsieContainer.h"
#include "platform/urlcache/msie/WineCodePage.h"

using tessarine::urlcache::ContainerEntry;
using tessarine::urlcache::MsieContainer;
using tessarine::urlcache::msie::WineCodePage;
using namespace msietest;

namespace {

// Cookie container first, then content, as WinINet walks them.
std::vector<ContainerEntry> listCache(const std::string& root) {
  std::vector<ContainerEntry> all;
  for (const char* sub : {"/INetCookies", "/INetCache/Content.IE5"}) {
    auto c = MsieContainer::open(root + sub);
    EXPECT_TRUE(c) << root + sub;
    if (!c) continue;
    auto entries = c->enumerate();
    all.insert(all.end(), entries.begin(), entries.end());
  }
  return all;
}

const ContainerEntry* findUrl(const std::vector<ContainerEntry>& entries,
                              const std::string& url) {
  for (const auto& e : entries)
    if (e.url == url) return &e;
  return nullptr;
}

// FILETIME of a UTC date and time.
std::uint64_t fileTime(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return (static_cast<std::uint64_t>(timegm(&tm)) + 11644473600ull) * 10000000ull;
}

}  // namespace

class MsieOracleListing : public testing::TestWithParam<const char*> {};

TEST_P(MsieOracleListing, EqualsOracleEntryForEntry) {
  const std::string root = dataDir() + "/" + GetParam();
  const bool hasFiles = std::string(GetParam()) == "main";
  const auto entries = listCache(root);
  const auto oracle = readOracle(root + "/oracle-list.tsv");
  ASSERT_EQ(entries.size(), oracle.size());
  auto cookies = MsieContainer::open(root + "/INetCookies");
  auto content = MsieContainer::open(root + "/INetCache/Content.IE5");
  for (std::size_t i = 0; i < oracle.size(); ++i) {
    SCOPED_TRACE(oracle[i].url);
    const ContainerEntry& e = entries[i];
    EXPECT_EQ(e.url, oracle[i].url);
    EXPECT_EQ(e.entryType, oracle[i].type);
    EXPECT_EQ(e.size, oracle[i].size);
    // A retrieval that failed with 122 only lacked buffer room (the very
    // long URLs): the entry has its file, as the manifest test checks.
    const bool bufferOnly = !oracle[i].retrieved && oracle[i].retrieveError == 122;
    if (bufferOnly) {
      EXPECT_NE(e.localPath, "");
    } else if (oracle[i].localFile == "-") {
      EXPECT_EQ(e.localPath, "");
    } else {
      EXPECT_EQ(e.localPath, mapWindowsPath(oracle[i].localFile, root));
    }
    if (hasFiles) {
      auto& c = (e.entryType & 0x00100000) ? cookies : content;
      std::uint32_t error = 0;
      EXPECT_EQ(c->retrieve(e, &error), oracle[i].retrieved || bufferOnly);
      if (!oracle[i].retrieved && !bufferOnly) { EXPECT_EQ(error, 13u); }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, MsieOracleListing,
                         testing::Values("main", "chained", "after-delete", "after-clear"),
                         [](const auto& info) {
                           std::string n = info.param;
                           n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
                           return n;
                         });

TEST(MsieContainerTest, EveryCachedFileHasTheManifestBytes) {
  const std::string root = dataDir() + "/main";
  auto content = MsieContainer::open(root + "/INetCache/Content.IE5");
  ASSERT_TRUE(content);
  const auto entries = content->enumerate();
  int checked = 0;
  for (const QByteArray& line : readBytes(root + "/manifest.tsv").split('\n')) {
    const QList<QByteArray> f = line.split('\t');
    if (line.startsWith('#') || f.size() < 9 || f[7] == "-") continue;
    const std::string url = cp1252ToUtf8(f[0]);
    SCOPED_TRACE(url);
    const ContainerEntry* e = findUrl(entries, url);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->localPath, root + "/" + cp1252ToUtf8(f[7]));
    std::uint32_t error = 0;
    auto body = content->openBody(*e, &error);
    ASSERT_TRUE(body) << error;
    QCryptographicHash sha(QCryptographicHash::Sha256);
    char buf[65536];
    std::int64_t n;
    while ((n = body->read(buf, sizeof buf)) > 0) sha.addData(QByteArrayView(buf, n));
    ASSERT_EQ(n, 0) << body->error();
    EXPECT_EQ(sha.result().toHex(), f[4]);
    EXPECT_EQ(e->size, f[3].toULongLong());
    ++checked;
  }
  EXPECT_EQ(checked, 32);
}

TEST(MsieContainerTest, CookiesNonAsciiAndRecordFields) {
  const std::string root = dataDir() + "/main";
  auto cookies = MsieContainer::open(root + "/INetCookies");
  auto content = MsieContainer::open(root + "/INetCache/Content.IE5");
  ASSERT_TRUE(cookies && content);
  EXPECT_EQ(content->codePage(), "CP1252");
  const auto cookieEntries = cookies->enumerate();
  ASSERT_EQ(cookieEntries.size(), 2u);
  for (const auto& e : cookieEntries) {
    EXPECT_EQ(e.entryType, 0x00100000u);
    EXPECT_EQ(e.fileExtension, "txt");
    std::uint32_t error = 0;
    EXPECT_TRUE(cookies->retrieve(e, &error)) << e.localPath;
  }

  const auto entries = content->enumerate();
  const ContainerEntry* cafe = findUrl(entries, "http://127.0.0.1:8731/img/caf\xC3\xA9.gif");
  ASSERT_TRUE(cafe);
  EXPECT_EQ(cafe->localPath, root + "/INetCache/Content.IE5/R3LC2MDC/caf\xC3\xA9[0].gif");
  std::uint32_t error = 0;
  auto body = content->openBody(*cafe, &error);
  ASSERT_TRUE(body);
  char buf[64];
  EXPECT_EQ(body->read(buf, sizeof buf), 51);

  // Values the oracle's detailed listing shows for these entries.
  const ContainerEntry* page = findUrl(entries, "http://127.0.0.1:8731/page.html");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->lastModified, fileTime(2022, 3, 15, 10, 20, 30));
  EXPECT_EQ(page->expire, fileTime(2026, 12, 12, 13, 15, 26));
  EXPECT_EQ(page->lastSync, fileTime(2026, 12, 11, 13, 15, 26));
  EXPECT_EQ(page->headers.size(), 240u);
  EXPECT_EQ(page->headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(page->fileExtension, "html");
  EXPECT_EQ(page->hitRate, 1u);
  EXPECT_EQ(page->useCount, 0u);
  const ContainerEntry* pinned = findUrl(entries, "http://127.0.0.1:8731/pics/pinned.png");
  ASSERT_TRUE(pinned);
  EXPECT_EQ(pinned->entryType, 5u);
  EXPECT_EQ(pinned->exemptDelta, 86400u);
  const ContainerEntry* ping = findUrl(entries, "http://127.0.0.1:8731/api/ping");
  ASSERT_TRUE(ping);
  EXPECT_TRUE(ping->localPath.empty());
  EXPECT_FALSE(content->retrieve(*ping, &error));
  EXPECT_EQ(error, 13u);
  EXPECT_FALSE(content->openBody(*ping, &error));
}

// The live URL records of real Internet Explorer files are those libmsiecf
// lists as items (its recovered items are deleted records).
class MsiePeerFiles : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(MsiePeerFiles, UrlRecordsAreThoseMsiecfexportLists) {
  const std::string dir = dataDir() + "/peers/" + GetParam().first;
  const QByteArray text = readBytes(dataDir() + "/peers/" + GetParam().second);
  ASSERT_FALSE(text.isEmpty());
  const QByteArray items = text.left(text.indexOf("Exporting recovered items."));
  // Per URL record: offset -> (location, the local path its file name and
  // cache directory give, "" without a file).
  std::map<std::uint64_t, std::pair<std::string, std::string>> theirs;
  static const QRegularExpression field("^([A-Za-z ]+?)\\t+: (.*)$");
  static const QRegularExpression dirName("\\(0x([0-9a-f]{2})\\)(?:\\((.*)\\))?$");
  for (const QString& block : QString::fromUtf8(items).split("\n\n")) {
    std::map<QString, QString> f;
    for (const QString& line : block.split('\n')) {
      const auto m = field.match(line);
      if (m.hasMatch()) f[m.captured(1)] = m.captured(2);
    }
    if (f["Record type"] != "URL") continue;
    const std::uint64_t offset = f["Offset range"].section(' ', 0, 0).toULongLong();
    std::string path;
    const auto d = dirName.match(f["Cache directory index"]);
    if (f.count("Filename") && d.hasMatch()) {
      if (d.captured(1) == "fe")
        path = dir + "/" + f["Filename"].toStdString();
      else if (!d.captured(2).isEmpty())
        path = dir + "/" + d.captured(2).toStdString() + "/" + f["Filename"].toStdString();
    }
    theirs[offset] = {f["Location"].toStdString(), path};
  }
  auto c = MsieContainer::open(dir);
  ASSERT_TRUE(c);
  std::map<std::uint64_t, std::pair<std::string, std::string>> ours;
  const auto entries = c->enumerate();
  for (const auto& e : entries) ours[e.key] = {e.url, e.localPath};
  EXPECT_EQ(ours.size(), entries.size());
  EXPECT_FALSE(theirs.empty());
  EXPECT_EQ(ours, theirs);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, MsiePeerFiles,
    testing::Values(std::make_pair("Content.IE5", "msiecfexport_Content.IE5_index.txt"),
                    std::make_pair("History.IE5", "msiecfexport_History.IE5_index.txt"),
                    std::make_pair("nfury", "msiecfexport_nfury_index.txt")),
    [](const auto& info) {
      std::string n = info.param.first;
      n.erase(std::remove(n.begin(), n.end(), '.'), n.end());
      return n;
    });

TEST(MsieContainerTest, AcceptsTheThreeSignaturesOnly) {
  QTemporaryDir tmp;
  const std::string dir = tmp.path().toStdString();
  const QByteArray original = readBytes(dataDir() + "/main/INetCookies/index.dat");
  const std::vector<std::pair<QByteArray, bool>> cases = {
      {"Client UrlCache MMF Ver 5.2", true},
      {"WINE URLCache Ver 0.2012001", true},
      {"WINE URLCache Ver 0.2005001", true},
      {"Client UrlCache MMF Ver 4.7", false},
      {"Client UrlCache MMF Ver 5.", false},
      {QByteArray(27, '\0'), false},
  };
  for (const auto& [sig, ok] : cases) {
    QByteArray bytes = original;
    bytes.replace(0, 28, sig.leftJustified(28, '\0', true));
    writeBytes(dir + "/index.dat", bytes);
    auto c = MsieContainer::open(dir);
    EXPECT_EQ(static_cast<bool>(c), ok) << sig.toStdString();
    if (c) { EXPECT_EQ(c->enumerate().size(), 2u); }
  }
  EXPECT_FALSE(MsieContainer::open(dir + "/missing"));
  writeBytes(dir + "/index.dat", "Client UrlCache MMF Ver 5.2");  // too short for a signature
  EXPECT_FALSE(MsieContainer::open(dir));
}

TEST(MsieContainerTest, ReadingWritesNothing) {
  QTemporaryDir tmp;
  const std::string dir = tmp.path().toStdString() + "/Content.IE5";
  copyTree(dataDir() + "/main/INetCache/Content.IE5", dir);
  const QByteArray before = readBytes(dir + "/index.dat");
  std::filesystem::permissions(dir + "/index.dat", std::filesystem::perms::owner_read);
  auto c = MsieContainer::open(dir);
  ASSERT_TRUE(c);
  int opened = 0;
  for (const auto& e : c->enumerate()) {
    std::uint32_t error = 0;
    if (c->openBody(e, &error)) ++opened;
  }
  EXPECT_EQ(opened, 32);
  EXPECT_EQ(readBytes(dir + "/index.dat"), before);
}

TEST(MsieContainerTest, SymlinksDoNotLeadOutOfTheFolder) {
  QTemporaryDir tmp;
  const std::string dir = tmp.path().toStdString() + "/Content.IE5";
  copyTree(dataDir() + "/main/INetCache/Content.IE5", dir);
  namespace fs = std::filesystem;
  // A file replaced by a symlink, and a whole cache folder that is one.
  fs::remove(dir + "/NV7ZZ2HQ/logo[0].gif");
  fs::create_symlink("/etc/passwd", dir + "/NV7ZZ2HQ/logo[0].gif");
  fs::rename(dir + "/R3LC2MDC", tmp.path().toStdString() + "/outside");
  fs::create_directory_symlink(tmp.path().toStdString() + "/outside", dir + "/R3LC2MDC");
  auto c = MsieContainer::open(dir);
  ASSERT_TRUE(c);
  int refused = 0;
  for (const auto& e : c->enumerate()) {
    const bool escapes = e.localPath.find("/NV7ZZ2HQ/logo[0].gif") != std::string::npos ||
                         e.localPath.find("/R3LC2MDC/") != std::string::npos;
    std::uint32_t error = 0;
    if (!escapes) continue;
    EXPECT_FALSE(c->retrieve(e, &error)) << e.localPath;
    EXPECT_EQ(error, 13u);
    EXPECT_FALSE(c->openBody(e, &error));
    ++refused;
  }
  EXPECT_EQ(refused, 8);  // logo[0].gif and R3LC2MDC's seven entries
}

TEST(MsieContainerTest, WinePrefixNamesTheCodePage) {
  QTemporaryDir tmp;
  const std::string prefix = tmp.path().toStdString() + "/wine";
  const std::string dir =
      prefix + "/drive_c/users/tester/AppData/Local/Microsoft/Windows/INetCache/Content.IE5";
  copyTree(dataDir() + "/main/INetCache/Content.IE5", dir);
  writeBytes(prefix + "/system.reg",
             "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
             "[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 1700000000\n"
             "#time=1d9\n\"1250\"=\"c_1250.nls\"\n\"ACP\"=\"1251\"\n\"OEMCP\"=\"866\"\n\n");
  auto c = MsieContainer::open(dir);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->codePage(), "CP1251");
  // Byte 0xE9 is U+0439 in cp1251.
  EXPECT_TRUE(findUrl(c->enumerate(), "http://127.0.0.1:8731/img/caf\xD0\xB9.gif"));
  // Without the registry, the given default applies.
  std::filesystem::remove(prefix + "/system.reg");
  EXPECT_EQ(MsieContainer::open(dir)->codePage(), "CP1252");
  EXPECT_EQ(MsieContainer::open(dir, "CP1250")->codePage(), "CP1250");
  EXPECT_EQ(MsieContainer::open(dir, "NO-SUCH-CODEPAGE")->codePage(), "CP1252");
}

TEST(WineCodePageTest, ReadsAcpOfTheCodePageKeyOnly) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 1\n\"ACP\"=\"1252\"\n",
       "CP1252"},
      {"[system\\\\currentcontrolset\\\\control\\\\nls\\\\codepage] 1\r\n\"acp\"=\"932\"\r\n",
       "CP932"},
      {"[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 1\n\"ACP\"=\"65001\"\n",
       "UTF-8"},
      {"[Other] 1\n\"ACP\"=\"1251\"\n[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 1\n"
       "\"OEMCP\"=\"437\"\n",
       std::nullopt},
      {"[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 1\n\"ACP\"=\"12x\"\n",
       std::nullopt},
      {"[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 1\n\"ACP\"=\"1252", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(WineCodePage::fromSystemReg(text), expected) << text;
}
