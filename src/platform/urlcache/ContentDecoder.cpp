#include "platform/urlcache/ContentDecoder.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

namespace tessarine::urlcache {
namespace {

enum class Coding { Identity, Gzip, Deflate, Brotli, Zstd, Unknown };

constexpr std::size_t kInputChunk = 64 * 1024;
// HTTP zstd decoders need not accept windows above 8 MiB; refusing them
// keeps a hostile frame from asking for a huge buffer.
constexpr int kZstdWindowLogMax = 23;

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

Coding codingOf(std::string_view token) {
  std::string t;
  for (char c : token)
    if (c != ' ' && c != '\t') t += lower(c);
  if (t.empty() || t == "identity") return Coding::Identity;
  if (t == "gzip" || t == "x-gzip") return Coding::Gzip;
  if (t == "deflate") return Coding::Deflate;
  if (t == "br") return Coding::Brotli;
  if (t == "zstd") return Coding::Zstd;
  return Coding::Unknown;
}

// The codings of a Content-Encoding list, identity left out, in list order.
std::vector<Coding> codingsOf(std::string_view list, bool* ok) {
  std::vector<Coding> codings;
  *ok = true;
  std::size_t pos = 0;
  while (pos <= list.size()) {
    std::size_t comma = list.find(',', pos);
    if (comma == std::string_view::npos) comma = list.size();
    const Coding c = codingOf(list.substr(pos, comma - pos));
    if (c == Coding::Unknown) *ok = false;
    if (c != Coding::Identity) codings.push_back(c);
    pos = comma + 1;
  }
  return codings;
}

// Undoes one coding over another stream. Memory stays bounded: one input
// chunk plus the decoder's own window.
class DecodingStream : public BodyStream {
 public:
  DecodingStream(std::unique_ptr<BodyStream> raw, Coding coding,
                 std::uint64_t maxOutput)
      : raw_(std::move(raw)), coding_(coding), maxOutput_(maxOutput),
        in_(kInputChunk) {}

  ~DecodingStream() override {
    if (zlibReady_) inflateEnd(&zs_);
    if (brotli_) BrotliDecoderDestroyInstance(brotli_);
    if (zstd_) ZSTD_freeDStream(zstd_);
  }

  std::int64_t read(char* buf, std::size_t n) override {
    if (failed_) return -1;
    if (n == 0) return 0;
    while (true) {
      if (inPos_ == inLen_ && !rawEnd_) {
        if (!fill()) return -1;
        continue;
      }
      if (finished_) {
        if (inPos_ == inLen_) return 0;
        if (lookForMember_) {
          lookForMember_ = false;
          if (startsGzipMember()) {
            if (inflateReset(&zs_) != Z_OK) return fail("out of memory");
            finished_ = false;
            continue;
          }
        }
        // Brotli has no checksum: bytes after its end mean corruption.
        // After gzip and deflate data they are dropped, as browsers do; the
        // raw stream is still read to its end so it can check itself.
        if (coding_ == Coding::Brotli)
          return fail("the encoded body has data after its end");
        inPos_ = inLen_;
        continue;
      }
      if (inPos_ == inLen_ && rawEnd_ &&
          (!started_ || (coding_ == Coding::Zstd && zstdBetweenFrames_))) {
        finished_ = true;  // an empty body stays empty
        continue;
      }
      if (!started_) {
        if (coding_ == Coding::Deflate && inLen_ - inPos_ < 2 && !rawEnd_) {
          if (!topUp()) return -1;
          continue;
        }
        if (!start()) return -1;
      }

      // One byte past the limit is enough to tell a bomb.
      const std::uint64_t room = maxOutput_ - produced_;
      const std::size_t cap = static_cast<std::size_t>(std::min<std::uint64_t>(
          n, room < UINT64_MAX ? room + 1 : room));
      const std::size_t before = inPos_;
      std::size_t got = 0;
      if (!step(buf, cap, &got)) return -1;
      produced_ += got;
      if (produced_ > maxOutput_)
        return fail("the decoded body grows past its limit");
      if (got > 0) return static_cast<std::int64_t>(got);
      if (finished_ || inPos_ != before) continue;
      if (inPos_ == inLen_ && rawEnd_)
        return fail("the encoded body ends too early");
      if (inPos_ < inLen_) return fail("the encoded body is corrupt");
    }
  }

  std::string error() const override { return error_; }

 private:
  std::int64_t fail(const std::string& why) {
    failed_ = true;
    error_ = why;
    return -1;
  }
  bool failed(const std::string& why) {
    fail(why);
    return false;
  }

  // Reads the next input chunk; false on a read error.
  bool fill() {
    const std::int64_t got = raw_->read(in_.data(), in_.size());
    if (got < 0) return failed(raw_->error());
    inPos_ = 0;
    inLen_ = static_cast<std::size_t>(got);
    if (got == 0) rawEnd_ = true;
    return true;
  }

  // Appends the next raw bytes to those not yet used; false on a read
  // error.
  bool topUp() {
    std::copy(in_.begin() + static_cast<std::ptrdiff_t>(inPos_),
              in_.begin() + static_cast<std::ptrdiff_t>(inLen_), in_.begin());
    inLen_ -= inPos_;
    inPos_ = 0;
    const std::int64_t got = raw_->read(in_.data() + inLen_, in_.size() - inLen_);
    if (got < 0) return failed(raw_->error());
    if (got == 0) rawEnd_ = true;
    inLen_ += static_cast<std::size_t>(got);
    return true;
  }

  bool startsGzipMember() const {
    return coding_ == Coding::Gzip && inLen_ - inPos_ >= 2 &&
           static_cast<unsigned char>(in_[inPos_]) == 0x1f &&
           static_cast<unsigned char>(in_[inPos_ + 1]) == 0x8b;
  }

  bool start() {
    started_ = true;
    if (coding_ == Coding::Gzip || coding_ == Coding::Deflate) {
      int bits = 16 + MAX_WBITS;
      if (coding_ == Coding::Deflate) {
        // "deflate" is meant as zlib data, but servers often send raw
        // deflate; tell them apart by the zlib header check.
        const unsigned b0 = static_cast<unsigned char>(in_[inPos_]);
        const unsigned b1 =
            inLen_ - inPos_ >= 2 ? static_cast<unsigned char>(in_[inPos_ + 1])
                                 : 0;
        const bool zlibHeader = (b0 & 0x0f) == 8 && (b0 >> 4) <= 7 &&
                                ((b0 << 8) | b1) % 31 == 0;
        bits = zlibHeader ? MAX_WBITS : -MAX_WBITS;
      }
      zs_ = z_stream{};
      if (inflateInit2(&zs_, bits) != Z_OK) return failed("out of memory");
      zlibReady_ = true;
    } else if (coding_ == Coding::Brotli) {
      brotli_ = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
      if (!brotli_) return failed("out of memory");
    } else if (coding_ == Coding::Zstd) {
      zstd_ = ZSTD_createDStream();
      if (!zstd_ ||
          ZSTD_isError(ZSTD_DCtx_setParameter(zstd_, ZSTD_d_windowLogMax,
                                              kZstdWindowLogMax)))
        return failed("out of memory");
    }
    return true;
  }

  // One decoder step from the input buffer into `out`; false on corrupt data.
  bool step(char* out, std::size_t cap, std::size_t* got) {
    const std::size_t avail = inLen_ - inPos_;
    if (coding_ == Coding::Gzip || coding_ == Coding::Deflate) {
      zs_.next_in = reinterpret_cast<Bytef*>(in_.data() + inPos_);
      zs_.avail_in = static_cast<uInt>(avail);
      zs_.next_out = reinterpret_cast<Bytef*>(out);
      zs_.avail_out = static_cast<uInt>(std::min<std::size_t>(cap, 1u << 30));
      const uInt outStart = zs_.avail_out;
      const int rc = inflate(&zs_, Z_NO_FLUSH);
      inPos_ += avail - zs_.avail_in;
      *got = outStart - zs_.avail_out;
      if (rc == Z_STREAM_END) {
        finished_ = true;
        lookForMember_ = coding_ == Coding::Gzip;
      } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        return failed("the encoded body is corrupt");
      }
      return true;
    }
    if (coding_ == Coding::Brotli) {
      const std::uint8_t* next =
          reinterpret_cast<const std::uint8_t*>(in_.data() + inPos_);
      std::size_t availIn = avail;
      std::uint8_t* nextOut = reinterpret_cast<std::uint8_t*>(out);
      std::size_t availOut = cap;
      const BrotliDecoderResult rc = BrotliDecoderDecompressStream(
          brotli_, &availIn, &next, &availOut, &nextOut, nullptr);
      inPos_ += avail - availIn;
      *got = cap - availOut;
      if (rc == BROTLI_DECODER_RESULT_SUCCESS) finished_ = true;
      if (rc == BROTLI_DECODER_RESULT_ERROR)
        return failed("the encoded body is corrupt");
      return true;
    }
    // zstd: frames may follow one another; the body may end only between
    // frames.
    ZSTD_inBuffer input{in_.data() + inPos_, avail, 0};
    ZSTD_outBuffer output{out, cap, 0};
    const std::size_t rc = ZSTD_decompressStream(zstd_, &output, &input);
    inPos_ += input.pos;
    *got = output.pos;
    if (ZSTD_isError(rc)) return failed("the encoded body is corrupt");
    zstdBetweenFrames_ = rc == 0;
    return true;
  }

  std::unique_ptr<BodyStream> raw_;
  Coding coding_;
  std::uint64_t maxOutput_;
  std::uint64_t produced_ = 0;
  std::vector<char> in_;
  std::size_t inPos_ = 0;
  std::size_t inLen_ = 0;
  bool rawEnd_ = false;
  bool started_ = false;
  bool finished_ = false;
  bool failed_ = false;
  bool zstdBetweenFrames_ = false;
  bool lookForMember_ = false;  // a gzip member just ended
  std::string error_;
  z_stream zs_{};
  bool zlibReady_ = false;
  BrotliDecoderState* brotli_ = nullptr;
  ZSTD_DStream* zstd_ = nullptr;
};

}  // namespace

bool canDecode(std::string_view contentEncoding) {
  bool ok = false;
  codingsOf(contentEncoding, &ok);
  return ok;
}

std::unique_ptr<BodyStream> makeDecodingStream(
    std::unique_ptr<BodyStream> raw, std::string_view contentEncoding,
    std::uint64_t maxOutput) {
  bool ok = false;
  const std::vector<Coding> codings = codingsOf(contentEncoding, &ok);
  if (!ok || !raw) return nullptr;
  std::unique_ptr<BodyStream> stream = std::move(raw);
  for (auto it = codings.rbegin(); it != codings.rend(); ++it)
    stream = std::make_unique<DecodingStream>(std::move(stream), *it,
                                              maxOutput);
  return stream;
}

}  // namespace tessarine::urlcache
