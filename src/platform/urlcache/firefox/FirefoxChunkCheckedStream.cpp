#include "platform/urlcache/firefox/FirefoxChunkCheckedStream.h"

#include <algorithm>

#include "platform/urlcache/Container.h"
#include "platform/urlcache/firefox/FirefoxCache2Format.h"
#include "platform/urlcache/firefox/JenkinsHash.h"

namespace tessarine::urlcache {

namespace ff = firefox_cache2;

std::unique_ptr<FirefoxChunkCheckedStream> FirefoxChunkCheckedStream::open(
    const std::string& path, std::uint64_t dataSize, std::uint64_t bodySize,
    std::vector<std::uint16_t> chunkHashes, std::uint32_t* error) {
  const std::uint64_t chunks = (dataSize + ff::kChunkSize - 1) / ff::kChunkSize;
  if (bodySize > dataSize || chunkHashes.size() != chunks) {
    if (error) *error = kErrorInvalidData;
    return nullptr;
  }
  // Only the chunks that hold body bytes are read.
  const std::uint64_t needed = std::min(
      dataSize, (bodySize + ff::kChunkSize - 1) / ff::kChunkSize * ff::kChunkSize);
  auto raw = FileBodyStream::openRange(path, 0, static_cast<std::int64_t>(needed),
                                       error);
  if (!raw) return nullptr;
  return std::unique_ptr<FirefoxChunkCheckedStream>(new FirefoxChunkCheckedStream(
      std::move(raw), path, dataSize, bodySize, std::move(chunkHashes)));
}

FirefoxChunkCheckedStream::FirefoxChunkCheckedStream(
    std::unique_ptr<FileBodyStream> raw, std::string path,
    std::uint64_t dataSize, std::uint64_t bodySize,
    std::vector<std::uint16_t> chunkHashes)
    : raw_(std::move(raw)),
      path_(std::move(path)),
      dataSize_(dataSize),
      bodySize_(bodySize),
      hashes_(std::move(chunkHashes)) {}

bool FirefoxChunkCheckedStream::loadNextChunk() {
  const std::uint64_t start = std::uint64_t(nextChunk_) * ff::kChunkSize;
  const std::size_t len =
      static_cast<std::size_t>(std::min(ff::kChunkSize, dataSize_ - start));
  chunk_.resize(len);
  std::size_t got = 0;
  while (got < len) {
    const std::int64_t r = raw_->read(chunk_.data() + got, len - got);
    if (r < 0) {
      error_ = raw_->error();
      return false;
    }
    if (r == 0) {
      error_ = path_ + ": the entry file ends inside its body";
      return false;
    }
    got += static_cast<std::size_t>(r);
  }
  if ((jenkinsHash(chunk_) & 0xFFFFu) != hashes_[nextChunk_]) {
    error_ = path_ + ": chunk " + std::to_string(nextChunk_) +
             " of the body is damaged (checksum mismatch)";
    return false;
  }
  ++nextChunk_;
  chunkPos_ = 0;
  return true;
}

std::int64_t FirefoxChunkCheckedStream::read(char* buf, std::size_t n) {
  if (!error_.empty()) return -1;
  if (served_ >= bodySize_ || n == 0) return 0;
  if (chunkPos_ >= chunk_.size() && !loadNextChunk()) return -1;
  const std::size_t take = static_cast<std::size_t>(
      std::min<std::uint64_t>({n, chunk_.size() - chunkPos_, bodySize_ - served_}));
  std::copy_n(chunk_.data() + chunkPos_, take, buf);
  chunkPos_ += take;
  served_ += take;
  return static_cast<std::int64_t>(take);
}

}  // namespace tessarine::urlcache
