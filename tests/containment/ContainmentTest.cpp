#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "support/TestFiles.h"

namespace {

const QString kData = QStringLiteral(TESSARINE_TEST_DATA);
const QString kTool = QStringLiteral(TESSARINE_CACHE_TOOL);

// Every file below `root` with the SHA-256 of its bytes (links by target).
QMap<QString, QByteArray> snapshot(const QString& root) {
  QMap<QString, QByteArray> files;
  QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFileInfo info(path);
    if (info.isSymLink()) {
      files[path] = "link:" + info.symLinkTarget().toUtf8();
      continue;
    }
    if (!info.isFile()) {
      files[path] = "special";
      continue;
    }
    QFile f(path);
    files[path] = f.open(QIODevice::ReadOnly)
                      ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex()
                      : QByteArray("unreadable");
  }
  return files;
}

// The paths a traced run opened for writing, created, removed or renamed.
QStringList writtenPaths(const QString& traceFile) {
  QFile f(traceFile);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  static const QRegularExpression openCall(
      R"re((?:open|openat)\((?:[^,]+, )?"([^"]*)", ([A-Z_|]+))re");
  static const QRegularExpression pathCall(
      R"re((unlink|unlinkat|rmdir|mkdir|mkdirat|rename|renameat|renameat2|truncate|creat|link|linkat|symlink|symlinkat)\((?:AT_FDCWD, )?"([^"]*)"(?:, (?:AT_FDCWD, )?"([^"]*)")?)re");
  QStringList paths;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw);
    if (line.contains(" = -1 ")) continue;  // failed calls change nothing
    // An unnamed O_TMPFILE file is given its name by linkat from
    // /proc/self/fd/N; the name it gets is checked like any other.
    if (line.contains("\"/proc/self/fd/")) {
      const qsizetype second = line.lastIndexOf(", \"");
      if (second > 0) paths << line.mid(second + 3).section('"', 0, 0);
      continue;
    }
    const QRegularExpressionMatch open = openCall.match(line);
    if (open.hasMatch()) {
      const QString flags = open.captured(2);
      if (flags.contains("O_WRONLY") || flags.contains("O_RDWR") || flags.contains("O_CREAT") ||
          flags.contains("O_TRUNC"))
        paths << open.captured(1);
      continue;
    }
    const QRegularExpressionMatch other = pathCall.match(line);
    if (other.hasMatch()) {
      paths << other.captured(2);
      if (!other.captured(3).isEmpty()) paths << other.captured(3);
    }
  }
  return paths;
}

// `path` is `folder` itself or lies below it.
bool inside(const QString& path, const QString& folder) {
  const QString p = QDir::cleanPath(path), f = QDir::cleanPath(folder);
  return p == f || p.startsWith(f + "/");
}

// A copy of every fixture cache, made hostile: a local file replaced by a
// link to a file outside, another by a FIFO, a third by a folder.
class ContainmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("strace").isEmpty()) GTEST_SKIP() << "strace missing";
    ASSERT_TRUE(tessarine::test::copyTree(kData + "/msie/main/INetCookies", root.filePath("ie/INetCookies")));
    ASSERT_TRUE(tessarine::test::copyTree(kData + "/msie/main/INetCache", root.filePath("ie/INetCache")));
    ASSERT_TRUE(tessarine::test::copyTree(kData + "/chromium-simple/cache", root.filePath("chromium")));
    ASSERT_TRUE(tessarine::test::copyTree(kData + "/firefox-cache2/cache2", root.filePath("firefox")));
    const QString ie = root.filePath("ie/INetCache/Content.IE5");
    const QString secret = root.filePath("secret.gif");
    QFile s(secret);
    ASSERT_TRUE(s.open(QIODevice::WriteOnly));
    s.write("GIF89a outside the cache");
    s.close();
    ASSERT_TRUE(QFile::remove(ie + "/JNTMVJL5/banner[0].gif"));
    ASSERT_TRUE(QFile::link(secret, ie + "/JNTMVJL5/banner[0].gif"));
    ASSERT_TRUE(QFile::remove(ie + "/NV7ZZ2HQ/logo[0].gif"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(ie + "/NV7ZZ2HQ/logo[0].gif").constData(), 0644), 0);
    ASSERT_TRUE(QFile::remove(ie + "/R3LC2MDC/photo[0].png"));
    ASSERT_TRUE(QDir().mkdir(ie + "/R3LC2MDC/photo[0].png"));
    caches = {root.filePath("ie/INetCookies"), ie, root.filePath("chromium"), root.filePath("firefox")};
  }

  // Runs tessarine-cache under strace; its exit code.
  int traced(QStringList args, const QString& trace) {
    QStringList full = {"-f", "-qq", "-o", trace,
                        "-e", "trace=open,openat,creat,unlink,unlinkat,rmdir,mkdir,mkdirat,rename,"
                              "renameat,renameat2,truncate,link,linkat,symlink,symlinkat",
                        kTool};
    full << args;
    for (const QString& c : caches) full << "--cache" << c;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // LeakSanitizer cannot work under ptrace.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    p.setProcessEnvironment(env);
    p.start("strace", full);
    EXPECT_TRUE(p.waitForFinished(120000));
    output = p.readAllStandardOutput();
    return p.exitCode();
  }

  QTemporaryDir root;
  QStringList caches;
  QByteArray output;
};

}  // namespace

TEST_F(ContainmentTest, RecoveryWritesOnlyIntoTheOutputFolderAndChangesNoCacheByte) {
  const QMap<QString, QByteArray> before = snapshot(root.path());
  const QString out = root.filePath("out");
  const QString trace = root.filePath("recover.trace");
  EXPECT_EQ(traced({"recover", "--ext", ".gif,.png,.jpg,.jpeg,.html,.pdf,.txt,.js,.css", "--out", out},
                   trace),
            0);
  EXPECT_TRUE(output.contains("Total get: ")) << output.constData();

  for (const QString& path : writtenPaths(trace))
    EXPECT_TRUE(inside(path, out)) << "written outside the output folder: " << path.toStdString();
  QMap<QString, QByteArray> after = snapshot(root.path());
  for (auto it = after.begin(); it != after.end();)
    it = (inside(it.key(), out) || it.key() == trace) ? after.erase(it) : std::next(it);
  EXPECT_EQ(after, before);
  // Nothing outside came in through the link, the FIFO or the folder.
  EXPECT_FALSE(QFile::exists(out + "/banner[0].gif"));
  EXPECT_FALSE(QFile::exists(out + "/logo[0].gif") &&
               QFileInfo(out + "/logo[0].gif").size() == 0);
}

TEST_F(ContainmentTest, ClearingWritesOnlyTheCachesOwnIndexAndEntryFiles) {
  const QString trace = root.filePath("clear.trace");
  EXPECT_EQ(traced({"clear", "--yes"}, trace), 0);
  const QStringList written = writtenPaths(trace);
  EXPECT_FALSE(written.isEmpty());
  for (const QString& path : written) {
    bool allowed = false;
    for (const QString& c : caches) allowed |= inside(path, c);
    EXPECT_TRUE(allowed) << "changed outside the caches: " << path.toStdString();
    const QString name = QFileInfo(path).fileName();
    if (inside(path, root.filePath("ie"))) {
      EXPECT_TRUE(name == "index.dat" || !QFileInfo(path).isDir()) << path.toStdString();
    }
  }
  // The link's target outside the cache is untouched.
  QFile secret(root.filePath("secret.gif"));
  ASSERT_TRUE(secret.open(QIODevice::ReadOnly));
  EXPECT_EQ(secret.readAll(), QByteArray("GIF89a outside the cache"));
}
