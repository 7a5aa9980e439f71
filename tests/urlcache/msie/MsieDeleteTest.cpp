#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "MsieTestSupport.h"
#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/msie/FatTime.h"
#include "platform/urlcache/msie/MsieContainer.h"

using tessarine::urlcache::ByteReader;
using tessarine::urlcache::ContainerEntry;
using tessarine::urlcache::MsieContainer;
using tessarine::urlcache::msie::FatTime;
using namespace msietest;
namespace fs = std::filesystem;

namespace {

const std::string kLogo = "http://127.0.0.1:8731/b/logo.gif";
const std::string kBig = "http://127.0.0.1:8731/video/big.wmv";

// A writable copy of the main content container whose files carry the
// modification times their records hold (a checkout does not keep them).
class MsieDeleteTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    dir_ = tmp_.path().toStdString() + "/Content.IE5";
    copyTree(dataDir() + "/main/INetCache/Content.IE5", dir_);
    container_ = MsieContainer::open(dir_);
    ASSERT_TRUE(container_);
    const QByteArray index = readBytes(indexPath());
    const ByteReader r(index.constData(), static_cast<std::size_t>(index.size()));
    for (const auto& e : container_->enumerate()) {
      if (e.localPath.empty()) continue;
      const auto t = FatTime::toUnix(*r.u32(e.key + 0x5C), false);
      ASSERT_TRUE(t) << e.url;
      setMtime(e.localPath, *t);
    }
  }

  static void setMtime(const std::string& path, std::time_t t) {
    const timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
  }

  std::string indexPath() const { return dir_ + "/index.dat"; }

  ContainerEntry entry(const std::string& url) {
    for (const auto& e : container_->enumerate())
      if (e.url == url) return e;
    ADD_FAILURE() << "not listed: " << url;
    return {};
  }

  std::vector<std::string> urls() {
    std::vector<std::string> out;
    for (const auto& e : container_->enumerate()) out.push_back(e.url);
    return out;
  }

  static std::vector<std::string> contentUrlsOf(const char* fixture) {
    std::vector<std::string> out;
    for (const auto& row : readOracle(dataDir() + "/" + fixture + "/oracle-list.tsv"))
      if (!(row.type & 0x00100000)) out.push_back(row.url);
    return out;
  }

  QTemporaryDir tmp_;
  std::string dir_;
  std::unique_ptr<MsieContainer> container_;
};

}  // namespace

TEST_F(MsieDeleteTest, DeleteChangesExactlyWhatWinInetChanges) {
  const ContainerEntry logo = entry(kLogo), big = entry(kBig);
  EXPECT_EQ(container_->remove(logo), 0u);
  EXPECT_EQ(container_->remove(big), 0u);
  // The oracle's delete left these bytes; its list ran only afterwards.
  EXPECT_EQ(readBytes(indexPath()),
            readBytes(dataDir() + "/after-delete/INetCache/Content.IE5/index.dat"));
  EXPECT_FALSE(fs::exists(logo.localPath));
  EXPECT_FALSE(fs::exists(big.localPath));
  EXPECT_TRUE(fs::exists(dir_ + "/NV7ZZ2HQ/logo[1].gif"));
  EXPECT_TRUE(fs::is_directory(dir_ + "/JNTMVJL5"));
  EXPECT_EQ(urls(), contentUrlsOf("after-delete"));

  // Gone already, or never cached: 2, and not a byte changes.
  const QByteArray after = readBytes(indexPath());
  ContainerEntry notCached = logo;
  notCached.url = "http://127.0.0.1:8731/not/cached.gif";
  EXPECT_EQ(container_->remove(logo), 2u);
  EXPECT_EQ(container_->remove(notCached), 2u);
  EXPECT_EQ(readBytes(indexPath()), after);
}

TEST_F(MsieDeleteTest, ClearLeavesWhatWinInetsClearLeft) {
  // Includes the sticky entry (its size comes off 0x40) and the entry
  // without a local file (its directory count still drops).
  for (const auto& e : container_->enumerate())
    if (!(e.entryType & 0x00100000)) { EXPECT_EQ(container_->remove(e), 0u) << e.url; }
  EXPECT_EQ(readBytes(indexPath()),
            readBytes(dataDir() + "/after-clear/INetCache/Content.IE5/index.dat"));
  EXPECT_TRUE(container_->enumerate().empty());
  for (const char* sub : {"NV7ZZ2HQ", "JNTMVJL5", "VBZP558X", "R3LC2MDC"})
    EXPECT_TRUE(fs::is_empty(dir_ + "/" + sub)) << sub;
}

TEST_F(MsieDeleteTest, StaleKeyStillFindsTheUrl) {
  ContainerEntry logo = entry(kLogo);
  logo.key = 0x5000;  // another record's offset
  EXPECT_EQ(container_->remove(logo), 0u);
  EXPECT_EQ(urls().size(), 32u);
  EXPECT_TRUE(entry(kBig).url == kBig);
}

TEST_F(MsieDeleteTest, ResultReadsInMsiecfinfo) {
  ASSERT_EQ(container_->remove(entry(kLogo)), 0u);
  ASSERT_EQ(container_->remove(entry(kBig)), 0u);
  const QString tool = QStandardPaths::findExecutable("msiecfinfo");
  if (tool.isEmpty()) GTEST_SKIP() << "msiecfinfo (libmsiecf-utils) is not installed";
  QProcess p;
  p.start(tool, {QString::fromStdString(indexPath())});
  ASSERT_TRUE(p.waitForFinished(30000));
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_TRUE(out.contains(QRegularExpression("Number of items\\s*: 31\\n"))) << out.toStdString();
  EXPECT_TRUE(out.contains(QRegularExpression("Number of recovered items\\s*: 2\\n")))
      << out.toStdString();
}

TEST_F(MsieDeleteTest, ReplacedOrUndatedFileIsLeftAlone) {
  const ContainerEntry logo = entry(kLogo);
  struct stat st {};
  ASSERT_EQ(::stat(logo.localPath.c_str(), &st), 0);
  setMtime(logo.localPath, st.st_mtime + 3600);
  EXPECT_EQ(container_->remove(logo), 0u);
  EXPECT_TRUE(fs::exists(logo.localPath));
  EXPECT_EQ(urls().size(), 32u);

  // Within the 2-second FAT resolution the file counts as unchanged.
  const ContainerEntry big = entry(kBig);
  ASSERT_EQ(::stat(big.localPath.c_str(), &st), 0);
  setMtime(big.localPath, st.st_mtime + 1);
  EXPECT_EQ(container_->remove(big), 0u);
  EXPECT_FALSE(fs::exists(big.localPath));
}

TEST_F(MsieDeleteTest, FileOpenOrMappedElsewhereIsNotWritten) {
  const QByteArray before = readBytes(indexPath());
  for (bool mapOnly : {false, true}) {
    SCOPED_TRACE(mapOnly ? "mapped" : "open");
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const int fd = ::open(indexPath().c_str(), O_RDONLY);
      void* map = ::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
      if (mapOnly) ::close(fd);
      const char ok = (fd >= 0 && map != MAP_FAILED) ? 'y' : 'n';
      (void)!::write(ready[1], &ok, 1);
      char c;
      (void)!::read(release[0], &c, 1);
      ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_EQ(container_->remove(entry(kLogo)), 32u);
    ASSERT_EQ(::write(release[1], "x", 1), 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
  }
  EXPECT_EQ(readBytes(indexPath()), before);
  EXPECT_TRUE(fs::exists(entry(kLogo).localPath));
  EXPECT_EQ(container_->remove(entry(kLogo)), 0u);  // once nobody holds it
}

TEST_F(MsieDeleteTest, LockOfAnotherTessarineIsHonoured) {
  const QByteArray before = readBytes(indexPath());
  // flock locks belong to the open file, so a second open conflicts even
  // inside one process, as another Tessarine process would.
  const int fd = ::open(indexPath().c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_EQ(container_->remove(entry(kLogo)), 32u);
  ::close(fd);
  EXPECT_EQ(readBytes(indexPath()), before);
}

TEST_F(MsieDeleteTest, RefusesLockedEntriesAndInconsistentFiles) {
  const ContainerEntry logo = entry(kLogo);
  const QByteArray original = readBytes(indexPath());
  struct Case {
    const char* what;
    std::uint32_t offset;
    std::uint32_t value;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {"use count 1 (locked)", static_cast<std::uint32_t>(logo.key) + 0x58, 1, 32},
      {"file size field wrong", 0x1C, 0xC080, 13},
      {"total blocks wrong", 0x24, 0x200, 13},
      {"record beyond total blocks", static_cast<std::uint32_t>(logo.key) + 4, 200, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QByteArray bytes = original;
    for (int i = 0; i < 4; ++i) bytes[c.offset + i] = static_cast<char>(c.value >> (8 * i));
    writeBytes(indexPath(), bytes);
    EXPECT_EQ(container_->remove(logo), c.expected);
    EXPECT_EQ(readBytes(indexPath()), bytes);
    EXPECT_TRUE(fs::exists(logo.localPath));
  }
}
