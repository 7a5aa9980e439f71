#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/Error.h"
#include "platform/profile/ProfileFile.h"

using tessarine::ProfileFile;

namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

}  // namespace

TEST(ProfileFileTest, NewFileGetsHeaderThenKeysInWriteOrder) {
  QTemporaryDir dir;
  ProfileFile ini(dir.filePath("Set.ini"));
  ini.writeString("GetFiles", "Folder", "/home/u/out");
  ini.writeBool("GetFiles", "OverWrite", false);
  EXPECT_EQ(readAll(ini.path()), "[GetFiles]\r\nFolder=/home/u/out\r\nOverWrite=0\r\n");
  ini.writeBool("GetFiles", "OverWrite", true);
  EXPECT_EQ(readAll(ini.path()), "[GetFiles]\r\nFolder=/home/u/out\r\nOverWrite=1\r\n");
}

TEST(ProfileFileTest, WriteKeepsOtherLinesAndMatchesWithoutCase) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Set.ini");
  writeAll(path, "; mine\n[Other]\nx=1\n\n[getfiles]\nFOLDER = old\nkeep=yes\n");
  ProfileFile ini(path);
  ini.writeString("GetFiles", "Folder", "new");
  ini.writeBool("GetFiles", "OverWrite", true);
  EXPECT_EQ(readAll(path),
            "; mine\r\n[Other]\r\nx=1\r\n\r\n[getfiles]\r\nFolder=new\r\nkeep=yes\r\nOverWrite=1\r\n");
  EXPECT_EQ(ini.readString("GETFILES", "folder", "d"), "new");
  EXPECT_EQ(ini.readString("Other", "x", "d"), "1");
  EXPECT_EQ(ini.readString("Other", "missing", "d"), "d");
  EXPECT_EQ(ini.readString("Nowhere", "x", "d"), "d");
}

TEST(ProfileFileTest, BooleansAndIntegersReadAsWindowsDoes) {
  struct Case {
    const char* stored;  // nullptr: key absent
    bool fallback;
    bool expected;
  };
  const Case cases[] = {
      {nullptr, true, true}, {"0", true, false},   {"1", false, true},
      {"0x0", true, false},  {"0X1A", false, true}, {"2", false, true},
      {"-1", false, true},   {"yes", true, true},  {"yes", false, false},
      {"", true, true},      {" 0 ", true, false}, {"0x", true, true},
      {"12abc", false, false},
  };
  QTemporaryDir dir;
  const QString path = dir.filePath("Set.ini");
  for (const Case& c : cases) {
    writeAll(path, c.stored ? QByteArray("[GetFiles]\r\nOverWrite=") + c.stored + "\r\n"
                            : QByteArray("[GetFiles]\r\n"));
    EXPECT_EQ(ProfileFile(path).readBool("GetFiles", "OverWrite", c.fallback), c.expected)
        << (c.stored ? c.stored : "(absent)") << " fallback " << c.fallback;
  }
  writeAll(path, "[s]\r\nh=0x1F\r\nd=42\r\n");
  EXPECT_EQ(ProfileFile(path).readInteger("s", "h", 0), 31);
  EXPECT_EQ(ProfileFile(path).readInteger("s", "d", 0), 42);
}

TEST(ProfileFileTest, MissingFileGivesDefaultsAndLongTextIsCut) {
  QTemporaryDir dir;
  const QString path = dir.filePath("Set.ini");
  EXPECT_EQ(ProfileFile(path).readString("GetFiles", "Folder", ""), "");
  EXPECT_TRUE(ProfileFile(path).readBool("GetFiles", "OverWrite", true));
  const QString longText(3000, QChar('x'));
  ProfileFile(path).writeString("GetFiles", "Folder", longText);
  EXPECT_EQ(ProfileFile(path).readString("GetFiles", "Folder", "").size(), 2047);
  ProfileFile(path).writeString("GetFiles", "Folder", QString::fromUtf8("/tmp/café"));
  EXPECT_EQ(ProfileFile(path).readString("GetFiles", "Folder", ""), QString::fromUtf8("/tmp/café"));
}

TEST(ProfileFileTest, FailedWriteRaisesUnableToWrite) {
  QTemporaryDir dir;
  // A directory in the file's place fails the write even for root.
  const QString path = dir.filePath("Set.ini");
  ASSERT_TRUE(QDir().mkdir(path));
  try {
    ProfileFile(path).writeString("GetFiles", "Folder", "x");
    FAIL() << "no error";
  } catch (const tessarine::Error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.toStdString());
  }
}
