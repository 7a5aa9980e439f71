#include <gtest/gtest.h>

#include <cstdlib>

#include <QDir>
#include <QTemporaryDir>

#include "platform/urlcache/UrlCacheConfig.h"

using tessarine::urlcache::cacheFolders;
using tessarine::urlcache::discoverCacheFolders;

namespace {

std::vector<std::string> made(const QString& home, const QStringList& relative) {
  std::vector<std::string> out;
  for (const QString& r : relative) out.push_back((home + "/" + r).toStdString());
  return out;
}

}  // namespace

TEST(CacheDiscoveryTest, FindsEachBrowserWhereItKeepsItsCache) {
  QTemporaryDir home;
  const QStringList caches = {
      ".wine/drive_c/users/old/Cookies",
      ".wine/drive_c/users/tester/AppData/Local/Microsoft/Windows/INetCookies",
      ".wine/drive_c/users/old/Local Settings/Temporary Internet Files/Content.IE5",
      ".wine/drive_c/users/tester/AppData/Local/Microsoft/Windows/INetCache/Content.IE5",
      ".cache/chromium/Default/Cache/Cache_Data",
      ".cache/chromium/Profile 1/Cache/Cache_Data",
      ".cache/google-chrome/Default/Cache/Cache_Data",
      ".cache/BraveSoftware/Brave-Browser/Default/Cache/Cache_Data",
      ".cache/microsoft-edge/Default/Cache/Cache_Data",
      ".cache/vivaldi/Default/Cache/Cache_Data",
      ".cache/opera/Default/Cache/Cache_Data",
      ".cache/mozilla/firefox/abc.default-release/cache2",
      ".var/app/org.chromium.Chromium/cache/chromium/Default/Cache/Cache_Data",
      ".var/app/org.mozilla.firefox/cache/mozilla/firefox/x.default/cache2",
      "snap/chromium/common/.cache/chromium/Default/Cache/Cache_Data",
      "snap/firefox/common/.cache/mozilla/firefox/y.default/cache2",
  };
  for (const QString& c : caches) ASSERT_TRUE(QDir().mkpath(home.path() + "/" + c));
  // Look-alikes that hold no HTTP cache.
  for (const char* decoy : {".cache/chromium/Default/Code Cache/js", ".cache/mozilla/firefox/z.default",
                            ".wine/drive_c/users/Public/Documents"})
    ASSERT_TRUE(QDir().mkpath(home.path() + "/" + decoy));

  EXPECT_EQ(discoverCacheFolders(home.path().toStdString(), ""), made(home.path(), caches));
}

TEST(CacheDiscoveryTest, WinePrefixAndEnvironmentChooseTheFolders) {
  QTemporaryDir home, prefix;
  ASSERT_TRUE(QDir().mkpath(prefix.path() + "/drive_c/users/u/Cookies"));
  ASSERT_TRUE(QDir().mkpath(home.path() + "/.wine/drive_c/users/ignored/Cookies"));
  EXPECT_EQ(discoverCacheFolders(home.path().toStdString(), prefix.path().toStdString()),
            std::vector<std::string>{(prefix.path() + "/drive_c/users/u/Cookies").toStdString()});
  EXPECT_TRUE(discoverCacheFolders("/nonexistent/home", "").empty());

  ::setenv("TESSARINE_CACHE", "/a/cache::/b/cache", 1);
  EXPECT_EQ(cacheFolders(), (std::vector<std::string>{"/a/cache", "/b/cache"}));
  ::unsetenv("TESSARINE_CACHE");
}
