#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <sys/stat.h>

namespace tessarine::urlcache {

// The checked layout of one simple-backend `_0` entry file: its key,
// where stream 1 (the body) lies, and the bytes of stream 0 (the response
// info). Stream 1 itself is not read; its CRC is given for whoever streams
// it.
struct ChromiumSimpleEntryFile {
  std::uint64_t entryHash = 0;  // the number in the file name
  std::string key;
  std::uint64_t fileSize = 0;
  std::uint64_t bodyOffset = 0;  // stream 1
  std::uint64_t bodySize = 0;
  std::optional<std::uint32_t> bodyCrc;  // when the EOF record carries one
  std::string stream0;

  // Reads and checks the `_0` file at `path`, whose file name must be
  // "<16 hex>_0". nullopt (with *why set when given) unless the magic
  // numbers, version, key length, key hash, file name (the SHA-1 of the
  // key), both EOF records, stream 0's CRC and the key's SHA-256 all agree
  // and every stream lies inside the file.
  static std::optional<ChromiumSimpleEntryFile> read(const std::string& path,
                                                     std::string* why);
  // Like read(), for the file `name` in the folder open as `dirFd`; *st
  // (when given) receives the status of the very file checked.
  static std::optional<ChromiumSimpleEntryFile> readIn(int dirFd,
                                                       const std::string& name,
                                                       struct stat* st,
                                                       std::string* why);
};

}  // namespace tessarine::urlcache
