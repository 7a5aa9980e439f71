// libFuzzer target: the content decoders. Byte 0 picks the Content-Encoding,
// byte 1 how the raw bytes trickle in and how much each read asks for; the
// rest is the encoded body, read to its end or its first error.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "platform/urlcache/ContentDecoder.h"

using namespace tessarine::urlcache;

namespace {

// The raw body in pieces of at most `piece` bytes, as a file might give it.
class PieceStream : public BodyStream {
 public:
  PieceStream(std::string bytes, std::size_t piece) : bytes_(std::move(bytes)), piece_(piece) {}
  std::int64_t read(char* buf, std::size_t n) override {
    const std::size_t k = std::min({n, piece_, bytes_.size() - at_});
    std::memcpy(buf, bytes_.data() + at_, k);
    at_ += k;
    return std::int64_t(k);
  }
  std::string error() const override { return "no error"; }

 private:
  std::string bytes_;
  std::size_t piece_;
  std::size_t at_ = 0;
};

constexpr const char* kCodings[] = {
    "gzip", "x-gzip", "deflate", "br", "zstd", "identity", "", "gzip, br",
    "br, gzip", "deflate, gzip", "zstd, deflate", "gzip, gzip", "GZIP", " br ",
    "gzip,identity", "compress"};
constexpr std::size_t kPieces[] = {1, 7, 512, 65536};
constexpr std::size_t kReads[] = {1, 100, 4096, 65536};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const char* coding = kCodings[data[0] % std::size(kCodings)];
  const std::size_t piece = kPieces[data[1] & 3];
  const std::size_t want = kReads[(data[1] >> 2) & 3];
  auto raw = std::make_unique<PieceStream>(
      std::string(reinterpret_cast<const char*>(data) + 2, size - 2), piece);
  auto stream = makeDecodingStream(std::move(raw), coding, 1u << 20);
  if (!stream) {
    if (canDecode(coding)) __builtin_trap();  // the two must agree
    return 0;
  }
  static char buf[65536];
  while (stream->read(buf, want) > 0) {
  }
  return 0;
}
