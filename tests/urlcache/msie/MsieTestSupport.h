#pragma once

// Helpers shared by the IE container tests: fixture copies, oracle files.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <filesystem>
#include <string>
#include <vector>

namespace msietest {

inline std::string dataDir() { return std::string(TESSARINE_TEST_DATA) + "/msie"; }

inline QByteArray readBytes(const std::string& path) {
  QFile f(QString::fromStdString(path));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeBytes(const std::string& path, const QByteArray& bytes) {
  QFile f(QString::fromStdString(path));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path;
  ASSERT_EQ(f.write(bytes), bytes.size());
}

// Copies a fixture folder (recursively) and makes the copy writable.
inline void copyTree(const std::string& from, const std::string& to) {
  namespace fs = std::filesystem;
  fs::create_directories(to);
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  for (auto& e : fs::recursive_directory_iterator(to))
    fs::permissions(e.path(), fs::perms::owner_read | fs::perms::owner_write |
                                  (e.is_directory() ? fs::perms::owner_exec : fs::perms::none),
                    fs::perm_options::add);
}

// The fixtures' 8-bit text holds only Latin-1 letters (0xE9, 0xFC), where
// cp1252 and Latin-1 agree.
inline std::string cp1252ToUtf8(const QByteArray& bytes) {
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    EXPECT_FALSE(u >= 0x80 && u < 0xA0) << "fixture byte outside Latin-1";
  }
  return QString::fromLatin1(bytes).toUtf8().toStdString();
}

// One data line of an oracle-list.tsv (comment lines skipped).
struct OracleRow {
  std::string url;         // UTF-8
  std::uint32_t type = 0;
  std::string localFile;   // Windows path, UTF-8, or "-"
  std::uint64_t size = 0;
  bool retrieved = false;
  std::uint32_t retrieveError = 0;  // of the 4096-byte retrieval
};

inline std::vector<OracleRow> readOracle(const std::string& path) {
  std::vector<OracleRow> rows;
  for (const QByteArray& line : readBytes(path).split('\n')) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    const QList<QByteArray> f = line.split('\t');
    EXPECT_GE(f.size(), 5) << line.toStdString();
    if (f.size() < 5) continue;
    OracleRow r;
    r.url = cp1252ToUtf8(f[0]);
    r.type = f[1].toUInt(nullptr, 16);
    r.localFile = cp1252ToUtf8(f[2]);
    r.size = f[3].toULongLong();
    r.retrieved = f[4] == "ok";
    if (f.size() >= 8) r.retrieveError = f[7].trimmed().toUInt();
    rows.push_back(r);
  }
  return rows;
}

// The local path the oracle's Windows path stands for under `root`, the
// folder that plays C:\users\tester\AppData\Local\Microsoft\Windows.
inline std::string mapWindowsPath(const std::string& windowsPath, const std::string& root) {
  const std::string prefix = "C:\\users\\tester\\AppData\\Local\\Microsoft\\Windows\\";
  EXPECT_EQ(windowsPath.compare(0, prefix.size(), prefix), 0) << windowsPath;
  std::string rest = windowsPath.substr(prefix.size());
  for (char& c : rest)
    if (c == '\\') c = '/';
  return root + "/" + rest;
}

}  // namespace msietest
