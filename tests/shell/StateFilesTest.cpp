#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/Error.h"
#include "shell/AppDir.h"
#include "shell/FileInfoList.h"
#include "shell/Settings.h"
#include "shell/TextLines.h"

using namespace tessarine;

namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class StateFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { setAppDir(dir.path() + "/"); }
  QTemporaryDir dir;
};

}  // namespace

TEST_F(StateFilesTest, RegisterHoldsCaretJoinedRecordsEachEndedByCrLf) {
  const QStringList records = {
      makeFileInfoRecord("logo[1].gif", ".GIF", 1023, "http://h/a^b/logo.gif"),
      makeFileInfoRecord("x[1].png", ".png", 0, "http://h/x.png")};
  EXPECT_EQ(records[0], "logo[1].gif^.gif^1023^http://h/a^b/logo.gif");
  saveRegister(registerPath(), records);
  EXPECT_EQ(readAll(registerPath()),
            "logo[1].gif^.gif^1023^http://h/a^b/logo.gif\r\nx[1].png^.png^0^http://h/x.png\r\n");
  EXPECT_EQ(readRegister(registerPath()), records);
  EXPECT_EQ(splitFileInfoRecord(records[0]).address, "http://h/a^b/logo.gif");

  saveRegister(registerPath(), {});
  EXPECT_EQ(readAll(registerPath()), "");
}

TEST_F(StateFilesTest, ReaderSplitsAtCrLfOrCrLfAndStopsAtNul) {
  EXPECT_EQ(splitTextLines(QByteArray("a\r\nb\rc\nd", 8)), (QStringList{"a", "b", "c", "d"}));
  EXPECT_EQ(splitTextLines(QByteArray("a\r\n\r\nb\r\n")), (QStringList{"a", "", "b"}));
  EXPECT_EQ(splitTextLines(QByteArray("a\r\nb\0c\r\n", 8)), (QStringList{"a", "b"}));
  EXPECT_EQ(splitTextLines(QByteArray()), QStringList());
}

TEST_F(StateFilesTest, RegisterErrorsNameThePath) {
  const QString path = registerPath();
  EXPECT_THROW(readRegister(path), Error);
  ASSERT_TRUE(QDir().mkdir(path));
  try {
    saveRegister(path, {"x"});
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + path.toStdString());
  }
}

TEST_F(StateFilesTest, SettingsDefaultsAndRoundTrip) {
  EXPECT_EQ(settings::readFolder(), "");
  EXPECT_TRUE(settings::readOverWrite());
  EXPECT_EQ(settings::outputFolder(), appDir() + "GetFiles/");
  settings::writeFolder("/data/out");
  settings::writeOverWrite(false);
  EXPECT_EQ(readAll(appDir() + "Set.ini"), "[GetFiles]\r\nFolder=/data/out\r\nOverWrite=0\r\n");
  EXPECT_EQ(settings::readFolder(), "/data/out");
  EXPECT_FALSE(settings::readOverWrite());
  EXPECT_EQ(settings::outputFolder(), "/data/out");
}

TEST_F(StateFilesTest, DefaultFolderStep) {
  // Missing default folder: created, and replaces whatever the box held.
  QString text = "/somewhere/else";
  applyDefaultFolderStep(text);
  EXPECT_TRUE(QDir(appDir() + "GetFiles").exists());
  EXPECT_EQ(text, appDir() + "GetFiles/");
  // Present: the box keeps its value...
  text = "/somewhere/else";
  applyDefaultFolderStep(text);
  EXPECT_EQ(text, "/somewhere/else");
  // ...unless it is empty: never an empty output folder.
  text.clear();
  applyDefaultFolderStep(text);
  EXPECT_EQ(text, appDir() + "GetFiles/");
}

TEST(AppDirTest, InstalledCopyUsesPerUserDataFolder) {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath("prefix/bin");
  QDir(dir.path()).mkpath("portable");
  const QString bin = dir.filePath("prefix/bin");
  EXPECT_EQ(locateAppDir(dir.filePath("portable"), bin), dir.filePath("portable") + "/");
  const QString installed = locateAppDir(bin, bin);
  EXPECT_NE(installed, bin + "/");
  EXPECT_TRUE(installed.endsWith('/'));
}
