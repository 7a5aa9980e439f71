// libFuzzer target: one `_0` entry file in a Chromium simple cache folder
// (the fixture's index files beside it), enumerated and its body read.
// Even-length inputs get their hashes and checksums set right first, so the
// fuzzer gets past them to the response info and the body; odd-length
// inputs are written as they are, so the checks themselves are fuzzed too.
#include <QCryptographicHash>
#include <filesystem>
#include <zlib.h>

#include "FuzzScratch.h"
#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"
#include "platform/urlcache/chromium/ChromiumSimpleContainer.h"
#include "platform/urlcache/chromium/ChromiumSimpleFormat.h"

namespace fs = std::filesystem;
namespace key = tessarine::urlcache::chromium_key;
using namespace tessarine::urlcache;
using namespace tessarine::urlcache::chromium_simple;

namespace {

std::uint32_t le32(const std::string& b, std::size_t at) {
  return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
         std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}

void putLe32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = char(v >> (8 * i));
}

std::uint32_t crcOf(const std::string& b, std::size_t at, std::size_t n) {
  return std::uint32_t(crc32_z(0L, reinterpret_cast<const Bytef*>(b.data() + at), n));
}

// The key hash, stream CRCs and key digest made to agree with the bytes.
void fixUp(std::string& f) {
  const std::size_t F = f.size();
  if (F < kHeaderSize + 2 * kEofRecordSize) return;
  const std::uint32_t keyLength = le32(f, kHeaderKeyLengthOffset);
  if (keyLength > F - kHeaderSize - 2 * kEofRecordSize) return;
  const std::string k = f.substr(kHeaderSize, keyLength);
  putLe32(f, kHeaderKeyHashOffset, key::superFastHash(k));
  const std::size_t eof0 = F - kEofRecordSize;
  const std::uint32_t flags0 = le32(f, eof0 + kEofFlagsOffset);
  const std::uint32_t size0 = le32(f, eof0 + kEofStreamSizeOffset);
  const std::size_t shaSize = (flags0 & kEofFlagHasKeySha256) ? kKeySha256Size : 0;
  const std::size_t middle = F - kHeaderSize - keyLength - kEofRecordSize;
  if (std::uint64_t{size0} + shaSize + kEofRecordSize > middle) return;
  const std::size_t end0 = eof0 - shaSize;
  const std::size_t start0 = end0 - size0;
  const std::size_t eof1 = start0 - kEofRecordSize;
  putLe32(f, eof0 + kEofCrcOffset, crcOf(f, start0, size0));
  if (shaSize) {
    const QByteArray sha = QCryptographicHash::hash(
        QByteArray(k.data(), qsizetype(k.size())), QCryptographicHash::Sha256);
    f.replace(end0, kKeySha256Size, sha.constData(), kKeySha256Size);
  }
  const std::size_t body = kHeaderSize + keyLength;
  putLe32(f, eof1 + kEofCrcOffset, crcOf(f, body, eof1 - body));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    const std::string f = tessarine::fuzz::scratchFolder() + "/Cache_Data";
    const std::string from = TESSARINE_FUZZ_DATA "/chromium-simple/cache";
    fs::create_directories(f + "/index-dir");
    fs::copy_file(from + "/index", f + "/index");
    fs::copy_file(from + "/index-dir/the-real-index", f + "/index-dir/the-real-index");
    return f;
  }();
  static std::string previous;

  std::string file(reinterpret_cast<const char*>(data), size);
  if (size % 2 == 0) fixUp(file);
  // Named after the key the header points at, so the name check can pass.
  std::string k = "x";
  if (file.size() >= kHeaderSize) {
    const std::uint32_t keyLength = le32(file, kHeaderKeyLengthOffset);
    if (keyLength <= file.size() - kHeaderSize) k = file.substr(kHeaderSize, keyLength);
  }
  const std::string name = key::simpleEntryHashText(key::simpleEntryHash(k)) + kStream01Suffix;
  if (!previous.empty() && previous != name) fs::remove(folder + "/" + previous);
  previous = name;
  tessarine::fuzz::writeWhole(folder + "/" + name, file);

  auto container = ChromiumSimpleContainer::open(folder);
  if (!container) std::abort();  // the index files are the fixture's
  char buf[4096];
  for (const ContainerEntry& entry : container->enumerate()) {
    std::uint32_t error = 0;
    if (entry.localPath.empty() || !container->retrieve(entry, &error)) continue;
    auto body = container->openBody(entry, &error);
    if (!body) continue;
    while (body->read(buf, sizeof buf) > 0) {
    }
  }
  return 0;
}
