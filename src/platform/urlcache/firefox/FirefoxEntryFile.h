#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace tessarine::urlcache {

// The metadata of one cache2 entry file, read and checked: trailer (current
// two-word or old one-word form), block checksum, header of metadata
// version 1..4, key (whose SHA-1 must be the file name) and element list.
// The body itself is not read.
struct FirefoxEntryFile {
  std::uint64_t fileSize = 0;
  std::uint64_t dataSize = 0;   // D: body plus alternative data
  std::uint64_t bodySize = 0;   // the HTTP body: D, or the alt-data offset
  std::uint32_t metadataVersion = 0;
  std::uint32_t checksum = 0;   // the metadata block's stored checksum
  std::uint32_t fetchCount = 0;
  std::uint32_t lastFetched = 0;   // seconds since 1970, UTC
  std::uint32_t lastModified = 0;  // of the entry's metadata
  std::uint32_t frecency = 0;
  std::uint32_t expiration = 0;    // kNoExpiration: none
  std::uint32_t flags = 0;
  std::vector<std::uint16_t> chunkHashes;  // one per 256 KiB of data
  std::string key;
  std::vector<std::pair<std::string, std::string>> elements;

  // The value of the first element called `name`, nullopt if none.
  std::optional<std::string_view> element(std::string_view name) const;

  // Reads the entry file at `path` (a regular file, not followed if a
  // symlink). nullopt when it is not a sound entry; then *why (if given)
  // says what is wrong.
  static std::optional<FirefoxEntryFile> read(const std::string& path,
                                              std::string* why = nullptr);
  // Like read(), for the file `name` in the folder open as `dirFd`; *st
  // (when given) receives the status of the very file read.
  static std::optional<FirefoxEntryFile> readIn(int dirFd,
                                                const std::string& name,
                                                struct stat* st,
                                                std::string* why = nullptr);
};

}  // namespace tessarine::urlcache
