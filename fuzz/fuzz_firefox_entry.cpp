// libFuzzer target: one Firefox cache2 entry file in a cache2 folder (the
// fixture's index beside entries/), enumerated and its body read.
// Even-length inputs get their metadata checksum and chunk hashes set right
// first, so the fuzzer gets past them to the elements and the body;
// odd-length inputs are written as they are, so the checks are fuzzed too.
#include <QCryptographicHash>
#include <filesystem>

#include "FuzzScratch.h"
#include "platform/urlcache/firefox/FirefoxCache2Container.h"
#include "platform/urlcache/firefox/FirefoxCache2Format.h"
#include "platform/urlcache/firefox/JenkinsHash.h"

namespace fs = std::filesystem;
namespace ff = tessarine::urlcache::firefox_cache2;
using namespace tessarine::urlcache;

namespace {

std::uint32_t be32(const std::string& b, std::size_t at) {
  return std::uint32_t(std::uint8_t(b[at])) << 24 | std::uint32_t(std::uint8_t(b[at + 1])) << 16 |
         std::uint32_t(std::uint8_t(b[at + 2])) << 8 | std::uint32_t(std::uint8_t(b[at + 3]));
}

void putBe(std::string& b, std::size_t at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + std::size_t(i)] = char(v >> (8 * (bytes - 1 - i)));
}

// Where the metadata lies, as the trailer says: [start, end).
bool metadataOf(const std::string& f, std::size_t* start, std::size_t* end) {
  if (f.size() < ff::kTrailerSizeCurrent) return false;
  const std::uint32_t w1 = be32(f, f.size() - 8), w2 = be32(f, f.size() - 4);
  const bool current = w1 >= ff::kTrailerVersionMin && w1 <= ff::kTrailerVersionMax;
  *start = current ? (w2 & ff::kDataSizeMask) : w2;
  *end = f.size() - (current ? ff::kTrailerSizeCurrent : ff::kTrailerSizeOld);
  return *start < *end;
}

// The metadata checksum and the chunk hashes made to agree with the bytes.
void fixUp(std::string& f) {
  std::size_t d, end;
  if (!metadataOf(f, &d, &end)) return;
  const std::size_t chunks = (d + ff::kChunkSize - 1) / ff::kChunkSize;
  if (end - d < ff::kMetaChunkHashesOffset + chunks * ff::kChunkHashSize) return;
  for (std::size_t i = 0; i < chunks; ++i) {
    const std::size_t at = i * ff::kChunkSize;
    const std::uint32_t h =
        jenkinsHash(std::string_view(f).substr(at, std::min<std::size_t>(ff::kChunkSize, d - at)));
    putBe(f, d + ff::kMetaChunkHashesOffset + i * ff::kChunkHashSize, h & 0xFFFFu, 2);
  }
  putBe(f, d, jenkinsHash(std::string_view(f).substr(d + 4, end - d - 4)), 4);
}

// The key the header points at ("" when there is none).
std::string keyOf(const std::string& f) {
  std::size_t d, end;
  if (!metadataOf(f, &d, &end)) return {};
  const std::size_t chunks = (d + ff::kChunkSize - 1) / ff::kChunkSize;
  const std::size_t hdr = d + ff::kMetaChunkHashesOffset + chunks * ff::kChunkHashSize;
  if (end < hdr || end - hdr < ff::kHeaderSize) return {};
  const std::size_t keyAt = hdr + (be32(f, hdr) == 1 ? ff::kHeaderSizeV1 : ff::kHeaderSize);
  return f.substr(keyAt, std::min<std::size_t>(be32(f, hdr + ff::kHdrKeySize), end - keyAt));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    const std::string f = tessarine::fuzz::scratchFolder() + "/cache2";
    fs::create_directories(f + "/entries");
    fs::copy_file(TESSARINE_FUZZ_DATA "/firefox-cache2/cache2/index", f + "/index");
    return f;
  }();
  static std::string previous;

  std::string file(reinterpret_cast<const char*>(data), size);
  if (size % 2 == 0) fixUp(file);
  const std::string k = keyOf(file);
  // Named by the SHA-1 of the key, so the name check can pass.
  const std::string name =
      QCryptographicHash::hash(QByteArray(k.data(), qsizetype(k.size())), QCryptographicHash::Sha1)
          .toHex()
          .toUpper()
          .toStdString();
  const std::string path = folder + "/entries/" + name;
  if (!previous.empty() && previous != path) fs::remove(previous);
  previous = path;
  tessarine::fuzz::writeWhole(path, file);

  auto container = FirefoxCache2Container::open(folder);
  if (!container) std::abort();  // the layout is the fixture's
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
