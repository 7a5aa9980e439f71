// Clearing the URL cache for real: temporary copies of the IE, Chromium
// and Firefox fixtures served together, cleared through the system's URL
// cache.

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "cache/CacheWalk.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "support/TestFiles.h"

using namespace tessarine;

namespace {

const QString kData = QStringLiteral(TESSARINE_TEST_DATA);

struct Listed {
  std::vector<std::string> cookies, others;
};

Listed listCache() {
  Listed listed;
  walkUrlCache(
      systemUrlCache(),
      [&](const INTERNET_CACHE_ENTRY_INFOA& e) {
        (e.CacheEntryType & COOKIE_CACHE_ENTRY ? listed.cookies : listed.others)
            .push_back(e.lpszSourceUrlName);
        return true;
      },
      {});
  return listed;
}

class ClearCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::copyTree(kData + "/msie/main/INetCookies", dir.filePath("INetCookies")));
    ASSERT_TRUE(test::copyTree(kData + "/msie/main/INetCache", dir.filePath("INetCache")));
    ASSERT_TRUE(test::copyTree(kData + "/chromium-simple/cache", dir.filePath("chromium")));
    ASSERT_TRUE(test::copyTree(kData + "/firefox-cache2/cache2", dir.filePath("cache2")));
    serve();
  }
  void TearDown() override { urlcache::useDefaultCacheFolders(); }

  // Serving the folders anew makes the layer read them from disk again.
  void serve() {
    urlcache::setCacheFolders({dir.filePath("INetCookies").toStdString(),
                               dir.filePath("INetCache/Content.IE5").toStdString(),
                               dir.filePath("chromium").toStdString(),
                               dir.filePath("cache2").toStdString()});
  }

  QTemporaryDir dir;
};

}  // namespace

TEST_F(ClearCacheTest, OnlyTheCookiesAreLeftInEveryContainer) {
  const Listed before = listCache();
  ASSERT_EQ(before.cookies.size(), 2u);
  // Entries of all three kinds of cache are there to delete.
  auto listedFrom = [&](const char* host) {
    return std::count_if(before.others.begin(), before.others.end(),
                         [&](const std::string& url) { return url.find(host) != std::string::npos; });
  };
  EXPECT_GT(listedFrom(":8731/"), 20);  // IE
  EXPECT_GT(listedFrom(":8123/"), 3);   // Chromium
  EXPECT_GT(listedFrom(":47811/"), 3);  // Firefox

  int pumps = 0;
  EXPECT_EQ(ClearCacheEntries(systemUrlCache(), [&] { ++pumps; }), int(before.others.size()));
  EXPECT_EQ(pumps, int(before.cookies.size() + before.others.size()) - 1);

  for (bool reread : {false, true}) {
    SCOPED_TRACE(reread ? "read again from disk" : "same snapshot");
    if (reread) serve();
    const Listed after = listCache();
    EXPECT_EQ(after.cookies, before.cookies);
    EXPECT_TRUE(after.others.empty()) << after.others.front();
    EXPECT_EQ(CountCacheEntries(systemUrlCache(), {}), int(before.cookies.size()));
  }

  // A second clearing finds nothing more to delete.
  EXPECT_EQ(ClearCacheEntries(systemUrlCache(), {}), 0);
}

TEST_F(ClearCacheTest, ClearedIndexStillReadsInMsiecfinfo) {
  ClearCacheEntries(systemUrlCache(), {});
  const QString tool = QStandardPaths::findExecutable("msiecfinfo");
  if (tool.isEmpty()) GTEST_SKIP() << "msiecfinfo (libmsiecf-utils) is not installed";
  const struct {
    const char* index;
    int items;
  } expected[] = {{"INetCache/Content.IE5/index.dat", 0}, {"INetCookies/index.dat", 2}};
  for (const auto& e : expected) {
    QProcess p;
    p.start(tool, {dir.filePath(e.index)});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << e.index << p.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression(
        QStringLiteral("Number of items\\s*: %1\\n").arg(e.items))))
        << e.index << out.toStdString();
  }
}
