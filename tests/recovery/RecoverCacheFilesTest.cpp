#include <gtest/gtest.h>

#include <csignal>
#include <map>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/Error.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "recovery/RecoverCacheFiles.h"
#include "support/TestFiles.h"
#include "shell/FileInfoList.h"

using namespace tessarine;

namespace {

const QString kFixture = QStringLiteral(TESSARINE_TEST_DATA "/msie/main");

struct Recorder : RecoveryListener {
  QString folder;
  int visited = 0;
  int counted = -1;
  std::vector<RecoveredFile> files;
  QString outputFolder() override { return folder; }
  void entriesCounted(int total) override { counted = total; }
  void entryVisited(int position, const QString&) override { visited = position; }
  void fileRecovered(const RecoveredFile& f) override { files.push_back(f); }
};

QByteArray sha256(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex();
}

// url -> sha256 of the original bytes.
std::map<QString, QByteArray> manifest() {
  std::map<QString, QByteArray> m;
  QFile f(kFixture + "/manifest.tsv");
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  for (const QByteArray& line : f.readAll().split('\n')) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    const QList<QByteArray> cols = line.split('\t');
    if (cols.size() > 4) m[QString::fromLatin1(cols[0])] = cols[4];
  }
  return m;
}

// A private copy of the fixture's two containers, served by the URL cache.
class RecoverCacheFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tessarine::test::copyTree(kFixture + "/INetCookies", cache.filePath("INetCookies")));
    ASSERT_TRUE(tessarine::test::copyTree(kFixture + "/INetCache", cache.filePath("INetCache")));
    urlcache::setCacheFolders({cache.filePath("INetCookies").toStdString(),
                               cache.filePath("INetCache/Content.IE5").toStdString()});
    fileInfoList().clear();
    listener.folder = out.path();
  }
  void TearDown() override { urlcache::useDefaultCacheFolders(); }

  int run(const QStringList& exts) { return RecoverCacheFiles(systemUrlCache(), exts, listener, {}); }

  QTemporaryDir cache, out;
  Recorder listener;
};

const QStringList kGraphics = {".bmp", ".gif", ".jpg", ".jpeg", ".ico", ".png"};

}  // namespace

TEST_F(RecoverCacheFilesTest, GraphicsComeBackByteForByteUnderUniqueNames) {
  const int count = run(kGraphics);
  EXPECT_EQ(listener.visited, listener.counted);
  ASSERT_EQ(size_t(count), listener.files.size());
  ASSERT_EQ(fileInfoList().size(), count);

  const auto originals = manifest();
  QSet<QString> names;
  for (std::size_t i = 0; i < listener.files.size(); ++i) {
    const RecoveredFile& f = listener.files[i];
    EXPECT_EQ(fileInfoList()[int(i)], f.record);
    EXPECT_EQ(f.record, f.name + "^" + f.type.toLower() + "^" + QString::number(f.size) + "^" + f.address);
    EXPECT_TRUE(kGraphics.contains(f.type.toLower())) << f.name.toStdString();
    EXPECT_FALSE(names.contains(f.name)) << "name used twice: " << f.name.toStdString();
    names.insert(f.name);
    const auto it = originals.find(f.address);
    ASSERT_NE(it, originals.end()) << f.address.toStdString();
    EXPECT_EQ(sha256(out.filePath(f.name)), it->second) << f.name.toStdString();
    EXPECT_EQ(quint64(QFileInfo(out.filePath(f.name)).size()), f.size);
  }
  // Mended matching: last dot, any letter case; long addresses retried.
  for (const char* n : {"PHOTO[0].JPG", "HOLIDAY[0].JPG", "a.b[0].jpg", "scan[0]..jpeg",
                        "logo[0].gif", "logo[1].gif", "logo[2].gif", "logo[3].gif", "logo[4].gif"})
    EXPECT_TRUE(names.contains(QString::fromUtf8(n))) << n;
  EXPECT_TRUE(names.contains(QString::fromUtf8("café[0].gif")));
  bool longOne = false;
  for (const RecoveredFile& f : listener.files) longOne |= f.address.size() > 4000;
  EXPECT_TRUE(longOne) << "the entries whose records need more than 4096 bytes";
  // Not graphics by their last extension.
  EXPECT_FALSE(names.contains("show[0]..asp_id=42&fmt=gif"));
  EXPECT_FALSE(names.contains("render[0]"));
}

TEST_F(RecoverCacheFilesTest, NothingSelectedCopiesNothingButVisitsEveryEntry) {
  EXPECT_EQ(run({}), 0);
  EXPECT_GT(listener.visited, 30);
  EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(RecoverCacheFilesTest, OutputInsideTheCacheNeverRewritesASource) {
  const QString folder = cache.filePath("INetCache/Content.IE5/NV7ZZ2HQ");
  const QByteArray before = sha256(folder + "/bitmap[0].bmp");
  listener.folder = folder;
  run({".bmp"});
  ASSERT_EQ(listener.files.size(), 1u);
  EXPECT_EQ(listener.files[0].name, "bitmap[0].bmp");
  EXPECT_GT(listener.files[0].size, 0u);
  EXPECT_EQ(sha256(folder + "/bitmap[0].bmp"), before);
}

TEST_F(RecoverCacheFilesTest, VanishedSourceIsSkippedAndTheRunGoesOn) {
  ASSERT_TRUE(QFile::remove(cache.filePath("INetCache/Content.IE5/R3LC2MDC/photo[0].png")));
  run({".png", ".gif"});
  for (const RecoveredFile& f : listener.files) EXPECT_NE(f.name, "photo[0].png");
  EXPECT_GT(listener.files.size(), 5u);
}

namespace {

// The real URL cache, but one local file is cut short right after it is
// opened for copying, as if something truncated it while it was read.
struct TruncatingCache : UrlCacheApi {
  UrlCacheApi& real = systemUrlCache();
  std::string victim;
  HANDLE findFirst(const char* p, INTERNET_CACHE_ENTRY_INFOA* i, DWORD* s) override {
    return real.findFirst(p, i, s);
  }
  BOOL findNext(HANDLE h, INTERNET_CACHE_ENTRY_INFOA* i, DWORD* s) override {
    return real.findNext(h, i, s);
  }
  BOOL findClose(HANDLE h) override { return real.findClose(h); }
  BOOL retrieve(const char* u, INTERNET_CACHE_ENTRY_INFOA* i, DWORD* s) override {
    return real.retrieve(u, i, s);
  }
  BOOL unlock(const char* u) override { return real.unlock(u); }
  BOOL deleteEntry(const char* u) override { return real.deleteEntry(u); }
  DWORD lastError() override { return real.lastError(); }
  std::unique_ptr<urlcache::BodyStream> openLocalFile(const char* name, DWORD* e) override {
    auto body = real.openLocalFile(name, e);
    const std::string path = name;
    const bool isVictim = path.size() >= victim.size() &&
                          path.compare(path.size() - victim.size(), victim.size(), victim) == 0;
    if (isVictim) {
      EXPECT_EQ(::truncate(name, 10), 0);
    }
    return body;
  }
};

struct VanishingRecorder : Recorder {
  QString victim;
  void entriesCounted(int total) override {
    Recorder::entriesCounted(total);
    EXPECT_TRUE(QFile::remove(victim));
  }
};

}  // namespace

TEST_F(RecoverCacheFilesTest, FileVanishingAfterTheCountIsSkipped) {
  VanishingRecorder vanishing;
  vanishing.folder = out.path();
  vanishing.victim = cache.filePath("INetCache/Content.IE5/R3LC2MDC/photo[0].png");
  const int count = RecoverCacheFiles(systemUrlCache(), {".png", ".gif"}, vanishing, {});
  EXPECT_EQ(size_t(count), vanishing.files.size());
  for (const RecoveredFile& f : vanishing.files) EXPECT_NE(f.name, "photo[0].png");
  EXPECT_FALSE(QFile::exists(out.filePath("photo[0].png")));
  EXPECT_GT(count, 5);
}

TEST_F(RecoverCacheFilesTest, FileTruncatedWhileReadLeavesNoCopyLookingWhole) {
  TruncatingCache truncating;
  truncating.victim = "/JNTMVJL5/manual[0].pdf";
  const int count = RecoverCacheFiles(truncating, {".pdf", ".gif"}, listener, {});
  EXPECT_EQ(size_t(count), listener.files.size());
  for (const RecoveredFile& f : listener.files) EXPECT_NE(f.name, "manual[0].pdf");
  EXPECT_FALSE(QFile::exists(out.filePath("manual[0].pdf")));
  EXPECT_TRUE(QFile::exists(out.filePath("banner[0].gif")));
}

TEST_F(RecoverCacheFilesTest, FullDiskStopsTheRunWithTheReasonAndKeepsWhatWasMade) {
  // A child process, so the file-size limit binds nobody else.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4000, 4000};
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
      run({".pdf", ".gif", ".wmv"});
      _exit(10);
    } catch (const Error& e) {
      const std::string msg = e.what();
      const bool named = msg.find(out.path().toStdString()) != std::string::npos &&
                         msg.find("File too large") != std::string::npos;
      // Every record made stands for a whole copy; the failed one is gone.
      for (const QString& r : fileInfoList()) {
        const FileInfoFields f = splitFileInfoRecord(r);
        if (QFileInfo(out.filePath(f.name)).size() != f.size.toLongLong()) _exit(12);
      }
      const int files = int(QDir(out.path()).entryList(QDir::Files).size());
      _exit(named && files == fileInfoList().size() ? 0 : 11);
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(RecoveryNamesTest, ExtensionAndFreeNames) {
  EXPECT_EQ(extensionOf("a.b[1].jpg"), ".jpg");
  EXPECT_EQ(extensionOf("README[0]"), "");
  EXPECT_EQ(extensionOf("scan[0]..jpeg"), ".jpeg");
  const QSet<QString> used = {"logo[1].gif", "logo[2].gif", "x.png", "x[1].png", "n"};
  EXPECT_EQ(nextFreeName("logo[1].gif", used), "logo[3].gif");
  EXPECT_EQ(nextFreeName("logo[5].gif", used), "logo[5].gif");
  EXPECT_EQ(nextFreeName("x.png", used), "x[2].png");
  EXPECT_EQ(nextFreeName("n", used), "n[1]");
}
