// libFuzzer target: the judgement of one Chromium SQL cache row (what
// ChromiumSqlEntry::fromRows makes of a resources row and its blob rows),
// without SQLite. Input: u8 blob count, that many (i64 start, i64 end,
// i64 size), i64 body_end, u8 doomed, u16 key length, the key, then the
// head (the response-info pickle). A whole body is then pieced together.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/urlcache/BodyStream.h"
#include "platform/urlcache/Container.h"
#include "platform/urlcache/SparseRangeAssembler.h"
#include "platform/urlcache/chromium/ChromiumEntryDetails.h"
#include "platform/urlcache/chromium/ChromiumSqlEntry.h"

using namespace tessarine::urlcache;

namespace {

constexpr std::uint64_t kMaxRead = 1u << 20;

// `n` zero bytes.
class ZeroStream : public BodyStream {
 public:
  explicit ZeroStream(std::uint64_t n) : left_(n) {}
  std::int64_t read(char* buf, std::size_t n) override {
    const std::size_t k = left_ < n ? static_cast<std::size_t>(left_) : n;
    for (std::size_t i = 0; i < k; ++i) buf[i] = 0;
    left_ -= k;
    return static_cast<std::int64_t>(k);
  }
  std::string error() const override { return {}; }

 private:
  std::uint64_t left_;
};

struct Input {
  const std::uint8_t* p;
  std::size_t left;
  std::uint64_t take(int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes && left; ++i, --left) v |= std::uint64_t{*p++} << (8 * i);
    return v;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in{data, size};
  const std::size_t count = static_cast<std::size_t>(in.take(1));
  std::vector<ChromiumSqlEntry::Blob> blobs;
  for (std::size_t i = 0; i < count; ++i) {
    ChromiumSqlEntry::Blob b;
    b.blobId = static_cast<std::int64_t>(i);
    b.start = static_cast<std::int64_t>(in.take(8));
    b.end = static_cast<std::int64_t>(in.take(8));
    b.size = static_cast<std::int64_t>(in.take(8));
    blobs.push_back(b);
  }
  const auto bodyEnd = static_cast<std::int64_t>(in.take(8));
  const auto doomed = static_cast<std::int64_t>(in.take(1));
  const std::size_t keyLength = static_cast<std::size_t>(in.take(2));
  const std::size_t k = keyLength < in.left ? keyLength : in.left;
  const std::string_view key(reinterpret_cast<const char*>(in.p), k);
  const std::string_view head(reinterpret_cast<const char*>(in.p + k), in.left - k);

  const auto entry =
      ChromiumSqlEntry::fromRows(1, 13441468706838088, bodyEnd, doomed, key, head, blobs);
  if (!entry) return 0;
  ContainerEntry e;
  chromium_details::describeResponse(entry->info.headers, entry->info.responseTime, &e);
  (void)SparseRangeAssembler::totalLength(entry->info.headers);
  if (!entry->wholeLength || *entry->wholeLength > kMaxRead) return 0;
  const SparseRangeAssembler pieces =
      entry->pieces([](const ChromiumSqlEntry::Blob& b) {
        return [b](std::uint64_t skip, std::uint64_t n, std::uint32_t*) {
          if (b.size < 0 || skip > static_cast<std::uint64_t>(b.size) ||
              n > static_cast<std::uint64_t>(b.size) - skip)
            std::abort();
          return std::make_unique<ZeroStream>(n);
        };
      });
  auto s = pieces.open(*entry->wholeLength, nullptr);
  if (!s) std::abort();  // wholeLength promises coverage
  char buf[4096];
  std::uint64_t total = 0;
  for (std::int64_t got; (got = s->read(buf, sizeof buf)) != 0;) {
    if (got < 0) std::abort();
    total += static_cast<std::uint64_t>(got);
  }
  if (total != *entry->wholeLength) std::abort();
  return 0;
}
