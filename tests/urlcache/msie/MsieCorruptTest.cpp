#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <functional>
#include <map>
#include <random>

#include "MsieTestSupport.h"
#include "platform/urlcache/msie/MsieContainer.h"

using tessarine::urlcache::ContainerEntry;
using tessarine::urlcache::MsieContainer;
using namespace msietest;

namespace {

void put32(QByteArray& b, std::uint32_t at, std::uint32_t v) {
  if (at + 4 > static_cast<std::uint32_t>(b.size())) return;
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
std::uint32_t get32(const QByteArray& b, std::uint32_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * i);
  return v;
}
// Writes `text` and a NUL near the end of the record at `rec` and points
// the field at `field` (a string offset) to it.
void pointString(QByteArray& b, std::uint32_t rec, std::uint32_t field, const QByteArray& text) {
  const std::uint32_t end = rec + get32(b, rec + 4) * 0x80;
  const std::uint32_t at = end - 48;
  b.replace(at, text.size() + 1, text + '\0');
  put32(b, rec + field, at - rec);
}

// The record offsets of the fixture's first live slots, in slot order.
constexpr std::uint32_t kFirstRecord = 0x8000;   // table 0 slot 0, 37 blocks (long URL)
constexpr std::uint32_t kFirstSlot = 0x4010;
constexpr std::uint32_t kLogoRecord = 0x7200;    // /b/logo.gif, NV7ZZ2HQ/logo[0].gif
constexpr std::uint32_t kPageRecord = 0x6900;    // page.html, JNTMVJL5

struct Case {
  const char* name;
  std::function<void(QByteArray&)> damage;
  int entries;  // expected count; -1: open() must refuse the folder
  std::uint32_t pathless = 0;  // a record whose entry must have no local file
  std::uint32_t altered = 0;   // a record whose text the damage changed
  bool noPaths = false;        // no entry may have a local file
};

// Every served entry is either untouched or (the damaged record) without a
// local file, and no path leaves the folder.
void checkServed(const std::string& dir, const std::vector<ContainerEntry>& entries,
                 const std::map<std::uint64_t, ContainerEntry>& original, const Case& c) {
  for (const auto& e : entries) {
    SCOPED_TRACE(e.url);
    if (!e.localPath.empty()) {
      EXPECT_EQ(e.localPath.rfind(dir + "/", 0), 0u);
      EXPECT_EQ(e.localPath.find("/..", dir.size()), std::string::npos);
      EXPECT_EQ(e.localPath.find("//", dir.size()), std::string::npos);
    }
    if (c.noPaths || (c.pathless != 0 && e.key == c.pathless)) {
      EXPECT_EQ(e.localPath, "");
      continue;
    }
    if (c.altered != 0 && e.key == c.altered) continue;
    auto it = original.find(e.key);
    if (it == original.end()) continue;
    EXPECT_EQ(e.url, it->second.url);
    EXPECT_EQ(e.localPath, it->second.localPath);
  }
}

}  // namespace

class MsieCorrupt : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = tmp_.path().toStdString() + "/Content.IE5";
    copyTree(dataDir() + "/main/INetCache/Content.IE5", dir_);
    original_ = readBytes(dir_ + "/index.dat");
    for (const auto& e : MsieContainer::open(dir_)->enumerate()) byKey_[e.key] = e;
    ASSERT_EQ(byKey_.size(), 33u);
  }

  void run(const Case& c) {
    SCOPED_TRACE(c.name);
    QByteArray bytes = original_;
    c.damage(bytes);
    writeBytes(dir_ + "/index.dat", bytes);
    auto container = MsieContainer::open(dir_);
    if (c.entries < 0) {
      EXPECT_FALSE(container);
      return;
    }
    ASSERT_TRUE(container);
    const auto entries = container->enumerate();
    EXPECT_EQ(static_cast<int>(entries.size()), c.entries);
    checkServed(dir_, entries, byKey_, c);
    for (const auto& e : entries) {
      std::uint32_t error = 0;
      if (container->retrieve(e, &error)) { EXPECT_EQ(e.localPath.rfind(dir_ + "/", 0), 0u); }
    }
  }

  QTemporaryDir tmp_;
  std::string dir_;
  QByteArray original_;
  std::map<std::uint64_t, ContainerEntry> byKey_;
};

TEST_F(MsieCorrupt, DamagedFilesServeWhatIsIntact) {
  // How many records of the fixture lie wholly below `end`.
  auto within = [&](std::uint32_t end) {
    int n = 0;
    for (const auto& [key, e] : byKey_)
      if (key + get32(original_, static_cast<std::uint32_t>(key) + 4) * 0x80 <= end) ++n;
    return n;
  };
  const int below8000 = within(0x8000);
  ASSERT_GT(below8000, 0);
  ASSERT_LT(below8000, 33);

  const std::vector<Case> cases = {
      {"truncated to 27 bytes", [](QByteArray& b) { b.truncate(27); }, -1},
      {"truncated to 100 bytes", [](QByteArray& b) { b.truncate(100); }, 0},
      {"truncated to the header", [](QByteArray& b) { b.truncate(0x4000); }, 0},
      {"truncated inside the hash table", [](QByteArray& b) { b.truncate(0x4800); }, 0},
      {"truncated to 0x8000", [](QByteArray& b) { b.truncate(0x8000); }, below8000},
      {"truncated inside a record", [](QByteArray& b) { b.truncate(0x7220); }, within(0x7220)},
      {"file-size field huge", [](QByteArray& b) { put32(b, 0x1C, 0xFFFFFFFF); }, 33},
      {"file-size field tiny", [](QByteArray& b) { put32(b, 0x1C, 0x10); }, 33},
      {"file-size field cuts records", [](QByteArray& b) { put32(b, 0x1C, 0x8000); }, below8000},
      {"first table offset past the end", [](QByteArray& b) { put32(b, 0x20, 0x7FFFF000); }, 0},
      {"first table offset unaligned", [](QByteArray& b) { put32(b, 0x20, 0x4001); }, 0},
      {"next table is itself", [](QByteArray& b) { put32(b, 0x4008, 0x4000); }, 33},
      {"next table inside a record", [](QByteArray& b) { put32(b, 0x4008, kLogoRecord + 0x80); }, 33},
      {"next table past the end", [](QByteArray& b) { put32(b, 0x4008, 0xFFFFFF80); }, 33},
      {"next table is a HASH inside a record",
       [](QByteArray& b) {
         put32(b, 0x4008, kFirstRecord + 0x100);
         b.replace(kFirstRecord + 0x100, 4, "HASH");
       },
       33, 0, kFirstRecord},
      {"slot offset past the end", [](QByteArray& b) { put32(b, kFirstSlot + 4, 0xFFFFFF80); }, 32},
      {"slot offset unaligned", [](QByteArray& b) { put32(b, kFirstSlot + 4, kLogoRecord + 8); }, 32},
      {"slot offset in the header", [](QByteArray& b) { put32(b, kFirstSlot + 4, 0x80); }, 32},
      {"slot points at the hash table", [](QByteArray& b) { put32(b, kFirstSlot + 4, 0x4000); }, 32},
      {"slot points at a record's middle", [](QByteArray& b) { put32(b, kFirstSlot + 4, kFirstRecord + 0x80); }, 32},
      {"two slots share a record", [](QByteArray& b) { put32(b, 0x4018, 0); put32(b, 0x401C, kPageRecord); }, 34},
      {"record block count huge", [](QByteArray& b) { put32(b, kFirstRecord + 4, 0xFFFFFFFF); }, 32},
      {"record block count zero", [](QByteArray& b) { put32(b, kFirstRecord + 4, 0); }, 32},
      {"record signature wrong", [](QByteArray& b) { b.replace(kLogoRecord, 4, "REDR"); }, 32},
      {"URL offset past the record", [](QByteArray& b) { put32(b, kLogoRecord + 0x34, 0x200); }, 32},
      {"URL offset huge", [](QByteArray& b) { put32(b, kLogoRecord + 0x34, 0xFFFFFFF0); }, 32},
      {"URL without NUL",
       [](QByteArray& b) { b.replace(kLogoRecord + 0x68, 4 * 0x80 - 0x68, QByteArray(4 * 0x80 - 0x68, 'A')); },
       32},
      {"file-name offset past the record",
       [](QByteArray& b) { put32(b, kLogoRecord + 0x3C, 0x200); }, 33, kLogoRecord},
      {"file name without NUL",
       [](QByteArray& b) {
         const std::uint32_t at = kLogoRecord + get32(b, kLogoRecord + 0x3C);
         b.replace(at, kLogoRecord + 0x200 - at, QByteArray(kLogoRecord + 0x200 - at, 'B'));
       },
       33, kLogoRecord},
      {"header and extension offsets past the record",
       [](QByteArray& b) { put32(b, kLogoRecord + 0x44, 0x1F0); put32(b, kLogoRecord + 0x48, 0x100);
                           put32(b, kLogoRecord + 0x4C, 0x7FFFFFFF); },
       33},
      {"directory index out of range", [](QByteArray& b) { b[kLogoRecord + 0x38] = 4; }, 33, kLogoRecord},
      {"directory index 0xFF", [](QByteArray& b) { b[kLogoRecord + 0x38] = char(0xFF); }, 33, kLogoRecord},
      {"directory count huge", [](QByteArray& b) { put32(b, 0x48, 0xFFFFFFFF); }, 33},
      {"directory count zero", [](QByteArray& b) { put32(b, 0x48, 0); }, 33, 0, 0, true},
      {"bad signature", [](QByteArray& b) { b[0] = 'X'; }, -1},
  };
  for (const Case& c : cases) run(c);
}

TEST_F(MsieCorrupt, HostileNamesGetNoLocalFile) {
  const std::vector<QByteArray> names = {
      "../../etc/passwd", "/etc/passwd", "a/b", "a\\b", "..", ".", "C:\\boot.ini",
      "C:x", "ctl\x01name", "del\x7fname"};
  for (const QByteArray& name : names) {
    run({name.constData(), [&](QByteArray& b) { pointString(b, kLogoRecord, 0x3C, name); }, 33,
         kLogoRecord});
  }
  // The same names as a cache directory: every entry of NV7ZZ2HQ loses its file.
  for (const QByteArray& name : {QByteArray("..\0\0\0\0\0\0", 8), QByteArray("a/b/c/d\0", 8),
                                 QByteArray("/etc\0\0\0\0", 8), QByteArray("\0\0\0\0\0\0\0\0", 8)}) {
    SCOPED_TRACE(name.toHex().toStdString());
    QByteArray bytes = original_;
    bytes.replace(0x50, 8, name);
    writeBytes(dir_ + "/index.dat", bytes);
    int pathless = 0;
    for (const auto& e : MsieContainer::open(dir_)->enumerate()) {
      if (byKey_[e.key].localPath.find("/NV7ZZ2HQ/") == std::string::npos) {
        EXPECT_EQ(e.localPath, byKey_[e.key].localPath);
        continue;
      }
      EXPECT_EQ(e.localPath, "");
      ++pathless;
    }
    EXPECT_EQ(pathless, 8);  // NV7ZZ2HQ's files (its ninth entry has none)
  }
  // A cookie-style entry (beside index.dat) may not name the index itself.
  run({"index.dat beside the index",
       [](QByteArray& b) {
         pointString(b, kLogoRecord, 0x3C, "INDEX.DAT");
         b[kLogoRecord + 0x38] = char(0xFE);
       },
       33, kLogoRecord});
}

TEST_F(MsieCorrupt, HashChainLoopInTheChainedFixture) {
  const std::string dir = tmp_.path().toStdString() + "/chained";
  copyTree(dataDir() + "/chained/INetCache/Content.IE5", dir);
  QByteArray bytes = readBytes(dir + "/index.dat");
  const std::uint32_t second = get32(bytes, 0x4008);
  ASSERT_NE(second, 0u);
  ASSERT_EQ(get32(bytes, second + 8), 0u);
  put32(bytes, second + 8, 0x4000);  // table 1 leads back to table 0
  writeBytes(dir + "/index.dat", bytes);
  EXPECT_EQ(MsieContainer::open(dir)->enumerate().size(), 300u);
}

TEST_F(MsieCorrupt, RandomDamageNeverLeadsOutside) {
  std::mt19937 rng(20241211);
  for (int round = 0; round < 400; ++round) {
    QByteArray bytes = original_;
    const int flips = 1 + static_cast<int>(rng() % 64);
    for (int i = 0; i < flips; ++i) {
      // Mostly the header, the first table and the records' fixed fields.
      const std::uint32_t at = rng() % 2 ? rng() % 0x5000 : 0x5000 + rng() % (bytes.size() - 0x5000);
      bytes[at] = static_cast<char>(rng());
    }
    if (rng() % 8 == 0) bytes.truncate(static_cast<int>(rng() % bytes.size()));
    writeBytes(dir_ + "/index.dat", bytes);
    auto c = MsieContainer::open(dir_);
    if (!c) continue;
    for (const auto& e : c->enumerate()) {
      if (e.localPath.empty()) continue;
      ASSERT_EQ(e.localPath.rfind(dir_ + "/", 0), 0u) << e.localPath;
      const std::string rest = e.localPath.substr(dir_.size() + 1);
      for (const std::string& part : {rest.substr(0, rest.find('/')),
                                      rest.substr(rest.find('/') + 1)}) {
        ASSERT_NE(part, "..");
        ASSERT_NE(part, ".");
      }
      ASSERT_LE(std::count(rest.begin(), rest.end(), '/'), 1) << e.localPath;
    }
  }
}
