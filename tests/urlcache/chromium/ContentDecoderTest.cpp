#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

#include "platform/urlcache/ContentDecoder.h"

namespace tu = tessarine::urlcache;

namespace {

// Serves bytes from memory, at most `chunk` a read; fails at the end when
// told to, like a file that cannot be read to its end.
class MemoryStream : public tu::BodyStream {
 public:
  MemoryStream(std::string bytes, std::size_t chunk, bool failAtEnd = false)
      : bytes_(std::move(bytes)), chunk_(chunk), failAtEnd_(failAtEnd) {}
  std::int64_t read(char* buf, std::size_t n) override {
    if (pos_ == bytes_.size() && failAtEnd_) return -1;
    const std::size_t k = std::min({n, chunk_, bytes_.size() - pos_});
    std::memcpy(buf, bytes_.data() + pos_, k);
    pos_ += k;
    return static_cast<std::int64_t>(k);
  }
  std::string error() const override { return "disk read failed"; }

 private:
  std::string bytes_;
  std::size_t chunk_;
  bool failAtEnd_;
  std::size_t pos_ = 0;
};

// Compressible but not trivial text.
std::string sample(std::size_t size) {
  std::string s;
  std::uint32_t x = 12345;
  while (s.size() < size) {
    x = x * 1103515245u + 12345u;
    s += "line " + std::to_string((x >> 16) % 1000) + " of the cached body\n";
  }
  s.resize(size);
  return s;
}

std::string zlibEncode(const std::string& in, int windowBits) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY),
            Z_OK);
  std::string out(deflateBound(&zs, in.size()) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}
std::string gzipEncode(const std::string& in) { return zlibEncode(in, 16 + 15); }

std::string brotliEncode(const std::string& in) {
  std::size_t size = BrotliEncoderMaxCompressedSize(in.size()) + 64;
  std::string out(size, '\0');
  EXPECT_TRUE(BrotliEncoderCompress(
      5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, in.size(),
      reinterpret_cast<const std::uint8_t*>(in.data()), &size,
      reinterpret_cast<std::uint8_t*>(out.data())));
  out.resize(size);
  return out;
}

std::string zstdEncode(const std::string& in) {
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1);
  std::string out(ZSTD_compressBound(in.size()), '\0');
  const std::size_t n =
      ZSTD_compress2(cctx, out.data(), out.size(), in.data(), in.size());
  EXPECT_FALSE(ZSTD_isError(n));
  out.resize(n);
  ZSTD_freeCCtx(cctx);
  return out;
}

struct Decoded {
  bool ok = false;
  std::string bytes;
  std::string error;
};

Decoded decode(std::string encoded, const std::string& coding,
               std::size_t inChunk = 1 << 20, std::size_t outChunk = 4096,
               std::uint64_t maxOutput = tu::kMaxDecodedBody,
               bool failAtEnd = false) {
  auto s = tu::makeDecodingStream(
      std::make_unique<MemoryStream>(std::move(encoded), inChunk, failAtEnd),
      coding, maxOutput);
  Decoded d;
  if (!s) {
    d.error = "no stream";
    return d;
  }
  std::vector<char> buf(outChunk);
  for (int guard = 0; guard < 100000000; ++guard) {
    const std::int64_t got = s->read(buf.data(), buf.size());
    if (got < 0) {
      d.error = s->error();
      return d;
    }
    if (got == 0) {
      d.ok = true;
      return d;
    }
    d.bytes.append(buf.data(), static_cast<std::size_t>(got));
  }
  return d;
}

struct Coding {
  const char* header;
  std::string (*encode)(const std::string&);
};

const std::vector<Coding>& codings() {
  static const std::vector<Coding> table = {
      {"gzip", gzipEncode},
      {"x-gzip", gzipEncode},
      {"deflate", [](const std::string& s) { return zlibEncode(s, 15); }},
      {"Deflate", [](const std::string& s) { return zlibEncode(s, -15); }},
      {"br", brotliEncode},
      {"zstd", zstdEncode},
      {"gzip, br", [](const std::string& s) { return brotliEncode(gzipEncode(s)); }},
      {" identity , zstd ", zstdEncode},
      {"", [](const std::string& s) { return s; }},
      {"identity", [](const std::string& s) { return s; }},
  };
  return table;
}

TEST(ContentDecoderTest, EveryCodingRoundTripsInAnyChunking) {
  const std::string body = sample(300 * 1024);
  for (const Coding& c : codings()) {
    SCOPED_TRACE(c.header);
    const std::string encoded = c.encode(body);
    for (const auto& [inChunk, outChunk] :
         std::vector<std::pair<std::size_t, std::size_t>>{
             {1 << 20, 65536}, {7, 3}, {1, 100000}}) {
      const Decoded d = decode(encoded, c.header, inChunk, outChunk);
      ASSERT_TRUE(d.ok) << d.error << " in " << inChunk << " out " << outChunk;
      EXPECT_TRUE(d.bytes == body);
    }
  }
}

TEST(ContentDecoderTest, TruncatedAndCorruptStreamsFail) {
  const std::string body = sample(100 * 1024);
  for (const Coding& c : codings()) {
    const std::string encoded = c.encode(body);
    if (encoded == body) continue;  // identity: nothing to check
    SCOPED_TRACE(c.header);
    for (std::size_t keep : {encoded.size() / 2, encoded.size() - 1,
                             std::size_t{1}}) {
      const Decoded d = decode(encoded.substr(0, keep), c.header);
      EXPECT_FALSE(d.ok) << "kept " << keep;
    }
    // Raw deflate has no checksum and may decode garbage: only its
    // truncation is detectable.
    if (std::string(c.header) == "Deflate") continue;
    std::string corrupt = encoded;
    for (std::size_t i = 0; i < 16; ++i) corrupt[corrupt.size() / 2 + i] ^= 0x5a;
    EXPECT_FALSE(decode(corrupt, c.header).ok);
    EXPECT_FALSE(decode(std::string(4096, '\x5a'), c.header).ok);
  }
}

TEST(ContentDecoderTest, OutputPastTheLimitFails) {
  const std::string zeros(32u << 20, '\0');
  for (const Coding& c : codings()) {
    const std::string encoded = c.encode(zeros);
    if (encoded.size() == zeros.size()) continue;
    SCOPED_TRACE(c.header);
    EXPECT_LT(encoded.size(), 1u << 20);
    const Decoded bomb = decode(encoded, c.header, 1 << 20, 1 << 20, 1u << 20);
    EXPECT_FALSE(bomb.ok);
    EXPECT_LE(bomb.bytes.size(), 1u << 20);
    const std::string small = sample(5000);
    const Decoded exact = decode(c.encode(small), c.header, 1 << 20, 4096, 5000);
    EXPECT_TRUE(exact.ok) << exact.error;
    EXPECT_FALSE(decode(c.encode(small), c.header, 1 << 20, 4096, 4999).ok);
  }
}

TEST(ContentDecoderTest, GzipMembersJoinAndTrailingBytesAreDropped) {
  const std::string a = sample(1000), b = sample(3000);
  Decoded d = decode(gzipEncode(a) + gzipEncode(b), "gzip", 100);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_TRUE(d.bytes == a + b);
  d = decode(gzipEncode(a) + std::string(10, '\0'), "gzip");
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_TRUE(d.bytes == a);
}

TEST(ContentDecoderTest, EmptyBodyStaysEmptyAndReadErrorsPassThrough) {
  for (const Coding& c : codings()) {
    SCOPED_TRACE(c.header);
    const Decoded empty = decode("", c.header);
    EXPECT_TRUE(empty.ok) << empty.error;
    EXPECT_TRUE(empty.bytes.empty());
    const Decoded failed =
        decode(c.encode(sample(2000)), c.header, 1 << 20, 4096,
               tu::kMaxDecodedBody, /*failAtEnd=*/true);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, "disk read failed");
  }
}

TEST(ContentDecoderTest, OnlyKnownCodingsAreAccepted) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {"", true},          {"identity", true}, {"GZIP", true},
      {"x-gzip", true},    {"deflate", true},  {"br", true},
      {"zstd", true},      {"gzip, br", true}, {"gzip,,zstd", true},
      {"compress", false}, {"gzip, sdch", false}, {"dcb", false},
      {"x-compress", false}, {"brotli", false},
  };
  for (const auto& [coding, ok] : cases) {
    SCOPED_TRACE(coding);
    EXPECT_EQ(tu::canDecode(coding), ok);
    EXPECT_EQ(tu::makeDecodingStream(std::make_unique<MemoryStream>("x", 1),
                                     coding) != nullptr,
              ok);
  }
}

}  // namespace
