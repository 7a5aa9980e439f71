#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/urlcache/BodyStream.h"
#include "platform/urlcache/FileBodyStream.h"

namespace tessarine::urlcache {

// The body [0, bodySize) of a cache2 entry file, read in the format's
// 256 KiB chunks, each checked against its stored hash before any of its
// bytes are handed out. A chunk that straddles the body's end is read
// whole (its tail is alternative data) so that it can be checked.
class FirefoxChunkCheckedStream : public BodyStream {
 public:
  // nullptr with *error set (Win32 code) when the file cannot be opened or
  // the hashes do not cover the body.
  static std::unique_ptr<FirefoxChunkCheckedStream> open(
      const std::string& path, std::uint64_t dataSize, std::uint64_t bodySize,
      std::vector<std::uint16_t> chunkHashes, std::uint32_t* error);

  std::int64_t read(char* buf, std::size_t n) override;
  std::string error() const override { return error_; }

 private:
  FirefoxChunkCheckedStream(std::unique_ptr<FileBodyStream> raw,
                            std::string path, std::uint64_t dataSize,
                            std::uint64_t bodySize,
                            std::vector<std::uint16_t> chunkHashes);
  bool loadNextChunk();

  std::unique_ptr<FileBodyStream> raw_;
  std::string path_;
  std::uint64_t dataSize_;
  std::uint64_t bodySize_;
  std::vector<std::uint16_t> hashes_;
  std::string chunk_;         // the current chunk, checked
  std::size_t chunkPos_ = 0;  // next byte of chunk_ to hand out
  std::size_t nextChunk_ = 0;
  std::uint64_t served_ = 0;  // body bytes handed out so far
  std::string error_;
};

}  // namespace tessarine::urlcache
