#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "support/TestFiles.h"

namespace {

const QString kMain = QStringLiteral(TESSARINE_TEST_DATA "/msie/main");
const QString kTool = QStringLiteral(TESSARINE_CACHE_TOOL);

struct Result {
  int code = -1;
  QByteArray out, err;
};

Result run(const QStringList& args, const QByteArray& input = {}) {
  QProcess p;
  p.start(kTool, args);
  p.write(input);
  p.closeWriteChannel();
  EXPECT_TRUE(p.waitForFinished(60000));
  return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

class CacheCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tessarine::test::copyTree(kMain + "/INetCookies", dir.filePath("INetCookies")));
    ASSERT_TRUE(tessarine::test::copyTree(kMain + "/INetCache", dir.filePath("INetCache")));
    caches = {"--cache", dir.filePath("INetCookies"), "--cache",
              dir.filePath("INetCache/Content.IE5")};
  }
  QTemporaryDir dir;
  QStringList caches;
};

}  // namespace

TEST_F(CacheCommandTest, ListAndCountAgree) {
  const Result count = run(QStringList{"count"} + caches);
  EXPECT_EQ(count.code, 0);
  EXPECT_EQ(count.out, "35\n");
  const Result list = run(QStringList{"list"} + caches);
  EXPECT_EQ(list.code, 0);
  const QList<QByteArray> lines = list.out.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 35);
  EXPECT_EQ(lines[0], "Cookie:tester@127.0.0.1/shop\t0x00100000\t" +
                          dir.filePath("INetCookies/shop[0].txt").toUtf8() + "\t71");
  for (const QByteArray& line : lines) EXPECT_EQ(line.split('\t').size(), 4) << line.constData();
}

TEST_F(CacheCommandTest, RecoverPrintsRecordsTotalAndWritesTheRegister) {
  const QString out = dir.filePath("out");
  const Result r = run(QStringList{"recover", "--ext", ".png,bmp", "--out", out} + caches);
  EXPECT_EQ(r.code, 0) << r.err.constData();
  const QList<QByteArray> lines = r.out.trimmed().split('\n');
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(lines.last(), QByteArray("Total get: ") + QByteArray::number(lines.size() - 1) + " files.");
  QFile reg(out + "/GetFileInfo.ini");
  ASSERT_TRUE(reg.open(QIODevice::ReadOnly));
  QByteArray expected;
  for (int i = 0; i + 1 < lines.size(); ++i) expected += lines[i] + "\r\n";
  EXPECT_EQ(reg.readAll(), expected);
}

TEST_F(CacheCommandTest, ClearAsksUnlessToldYes) {
  EXPECT_EQ(run(QStringList{"clear"} + caches, "n\n").code, 0);
  EXPECT_EQ(run(QStringList{"count"} + caches).out, "35\n");
  EXPECT_EQ(run(QStringList{"clear", "--yes"} + caches).code, 0);
  EXPECT_EQ(run(QStringList{"count"} + caches).out, "2\n");  // the cookies stay
}

TEST_F(CacheCommandTest, BadUsageSaysWhyAndFails) {
  for (const QStringList& args : {QStringList{}, QStringList{"frobnicate"},
                                  QStringList{"recover", "--ext", ".gif"}, QStringList{"count", "--cache"}}) {
    const Result r = run(args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains("usage: tessarine-cache")) << r.err.constData();
  }
}
