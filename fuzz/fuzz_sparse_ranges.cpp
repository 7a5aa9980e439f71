// libFuzzer target: the sparse range assembler over ranges decoded from the
// input (u64 total, then u64 offset / u64 length pairs). Every piece yields
// the bytes of one known resource, so a pieced body must equal it exactly,
// with each byte handed out once.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/urlcache/BodyStream.h"
#include "platform/urlcache/SparseRangeAssembler.h"

using namespace tessarine::urlcache;

namespace {

// Bodies longer than this are checked for coverage only, not read.
constexpr std::uint64_t kMaxRead = 1u << 20;

char byteAt(std::uint64_t pos) {
  return static_cast<char>((pos * 131 + (pos >> 9)) & 0xff);
}

// The resource's bytes [from, from + length).
class PatternStream : public BodyStream {
 public:
  PatternStream(std::uint64_t from, std::uint64_t length)
      : pos_(from), end_(from + length) {}
  std::int64_t read(char* buf, std::size_t n) override {
    std::size_t i = 0;
    for (; i < n && pos_ < end_; ++i) buf[i] = byteAt(pos_++);
    return static_cast<std::int64_t>(i);
  }
  std::string error() const override { return {}; }

 private:
  std::uint64_t pos_, end_;
};

std::uint64_t u64At(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  // The low bits often make a total small enough to read through.
  const std::uint64_t rawTotal = u64At(data);
  const std::uint64_t total = (rawTotal >> 63) ? rawTotal : rawTotal & 0xfffff;
  SparseRangeAssembler a;
  std::uint64_t handedOut = 0;
  for (std::size_t at = 8; at + 16 <= size; at += 16) {
    const std::uint64_t offset = u64At(data + at);
    const std::uint64_t length = u64At(data + at + 8);
    a.add(offset, length,
          [offset, length, &handedOut](std::uint64_t skip, std::uint64_t n,
                                       std::uint32_t*) {
            if (skip > length || n > length - skip) std::abort();
            handedOut += n;
            return std::make_unique<PatternStream>(offset + skip, n);
          });
  }
  const bool covered = a.covers(total);
  std::uint32_t error = 0;
  auto s = a.open(total, &error);
  if (covered != (s != nullptr)) std::abort();
  if (!s || total > kMaxRead) return 0;
  char buf[4096];
  std::uint64_t pos = 0;
  while (true) {
    const std::int64_t got = s->read(buf, sizeof buf);
    if (got < 0) std::abort();  // every piece is sound here
    if (got == 0) break;
    for (std::int64_t i = 0; i < got; ++i)
      if (buf[i] != byteAt(pos++)) std::abort();
  }
  if (pos != total || handedOut != total) std::abort();
  return 0;
}
