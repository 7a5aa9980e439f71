#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "cache/CacheWalk.h"
#include "cache/EntryBuffer.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "platform/urlcache/WinInet.h"
#include "support/TestFiles.h"

using namespace tessarine;

namespace {

const QString kMain = QStringLiteral(TESSARINE_TEST_DATA "/msie/main");

struct OracleRow {
  std::string url, type, local;
  unsigned long long size;
};

std::vector<OracleRow> oracle() {
  std::vector<OracleRow> rows;
  QFile f(kMain + "/oracle-list.tsv");
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  for (const QByteArray& line : f.readAll().split('\n')) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    const QList<QByteArray> c = line.split('\t');
    // The oracle prints cp1252 bytes; its non-ASCII bytes are Latin-1 letters.
    QString local = QString::fromLatin1(c[2]);
    local.replace("C:\\users\\tester\\AppData\\Local\\Microsoft\\Windows\\", kMain + "/");
    local.replace('\\', '/');
    rows.push_back({QString::fromLatin1(c[0]).toStdString(), c[1].toStdString(),
                    local.toStdString(), c[3].toULongLong()});
  }
  return rows;
}

class WinInetTest : public ::testing::Test {
 protected:
  void serve(const QStringList& folders) {
    std::vector<std::string> f;
    for (const QString& s : folders) f.push_back(s.toStdString());
    urlcache::setCacheFolders(f);
  }
  void TearDown() override { urlcache::useDefaultCacheFolders(); }
};

}  // namespace

TEST_F(WinInetTest, WalkListsWhatWinInetListsWithExactBufferSizes) {
  serve({kMain + "/INetCookies", kMain + "/INetCache/Content.IE5"});
  const std::vector<OracleRow> expected = oracle();
  std::vector<OracleRow> got;
  walkUrlCache(
      systemUrlCache(),
      [&](const INTERNET_CACHE_ENTRY_INFOA& e) {
        char type[16];
        std::snprintf(type, sizeof type, "0x%08x", e.CacheEntryType);
        std::string local = "-";
        DWORD size = kEntryBufferSize;
        EntryBuffer first(size);
        if (RetrieveUrlCacheEntryFileA(e.lpszSourceUrlName, first.info(), &size, 0)) {
          local = first.info()->lpszLocalFileName;
          UnlockUrlCacheEntryFile(e.lpszSourceUrlName, 0);
        } else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
          // The long addresses: the need is reported and honoured.
          EXPECT_GT(size, kEntryBufferSize);
          EntryBuffer second(size);
          EXPECT_TRUE(RetrieveUrlCacheEntryFileA(e.lpszSourceUrlName, second.info(), &size, 0));
          EXPECT_TRUE(UnlockUrlCacheEntryFile(e.lpszSourceUrlName, 0));
          local = "-";  // as the oracle's single 4096-byte retrieval saw it
        } else {
          EXPECT_TRUE(GetLastError() == 13 || GetLastError() == 2) << GetLastError();
        }
        got.push_back({e.lpszSourceUrlName, type, local,
                       (static_cast<unsigned long long>(e.dwSizeHigh) << 32) | e.dwSizeLow});
        return true;
      },
      {});
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].url, expected[i].url) << i;
    EXPECT_EQ(got[i].type, expected[i].type) << expected[i].url;
    EXPECT_EQ(got[i].local, expected[i].local) << expected[i].url;
    EXPECT_EQ(got[i].size, expected[i].size) << expected[i].url;
  }
}

TEST_F(WinInetTest, TooSmallBufferGetsTheExactSizeAndTheSameEntryAgain) {
  serve({kMain + "/INetCookies", kMain + "/INetCache/Content.IE5"});
  DWORD size = sizeof(INTERNET_CACHE_ENTRY_INFOA);
  EntryBuffer tiny(size);
  EXPECT_EQ(FindFirstUrlCacheEntryA(nullptr, tiny.info(), &size), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  const DWORD need = size;
  EntryBuffer exact(need);
  HANDLE h = FindFirstUrlCacheEntryA(nullptr, exact.info(), &size);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(size, need);
  EXPECT_STREQ(exact.info()->lpszSourceUrlName, "Cookie:tester@127.0.0.1/shop");
  EXPECT_EQ(exact.info()->CacheEntryType, COOKIE_CACHE_ENTRY);
  // Every string lies inside the caller's buffer.
  const char* begin = reinterpret_cast<const char*>(exact.info());
  EXPECT_GE(exact.info()->lpszLocalFileName, begin);
  EXPECT_LT(exact.info()->lpszLocalFileName, begin + need);
  EXPECT_TRUE(FindCloseUrlCache(h));
  EXPECT_FALSE(FindCloseUrlCache(nullptr));
  EXPECT_FALSE(UnlockUrlCacheEntryFile("http://never.retrieved/", 0));
}

TEST_F(WinInetTest, AUrlHeldTwiceIsListedOnceAndDeletedEverywhere) {
  QTemporaryDir dir;
  ASSERT_TRUE(tessarine::test::copyTree(kMain + "/INetCache", dir.filePath("one")));
  ASSERT_TRUE(tessarine::test::copyTree(kMain + "/INetCache", dir.filePath("two")));
  const QString one = dir.filePath("one/Content.IE5"), two = dir.filePath("two/Content.IE5");
  serve({one, two});
  const int both = CountCacheEntries(systemUrlCache(), {});
  serve({one});
  EXPECT_EQ(both, CountCacheEntries(systemUrlCache(), {}));

  serve({one, two});
  const char* url = "http://127.0.0.1:8731/img/banner.gif";
  EXPECT_TRUE(DeleteUrlCacheEntry(url));
  EXPECT_EQ(CountCacheEntries(systemUrlCache(), {}), both - 1);
  for (const QString& folder : {one, two}) {
    serve({folder});
    EXPECT_EQ(CountCacheEntries(systemUrlCache(), {}), both - 1) << folder.toStdString();
  }
  serve({one, two});
  EXPECT_FALSE(DeleteUrlCacheEntry(url));
  EXPECT_EQ(GetLastError(), 2u);
}

TEST_F(WinInetTest, NothingServedIsAnEmptyCache) {
  serve({"/nonexistent/folder"});
  DWORD size = kEntryBufferSize;
  EntryBuffer b(size);
  EXPECT_EQ(FindFirstUrlCacheEntryA(nullptr, b.info(), &size), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
}
