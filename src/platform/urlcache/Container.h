#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/urlcache/BodyStream.h"

namespace tessarine::urlcache {

// Win32 error codes the URL cache reports.
constexpr std::uint32_t kErrorSuccess = 0;
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidData = 13;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorNoMoreItems = 259;

// Entry type bits (CacheEntryType).
constexpr std::uint32_t kNormalCacheEntry = 0x00000001;
constexpr std::uint32_t kStickyCacheEntry = 0x00000004;
constexpr std::uint32_t kCookieCacheEntry = 0x00100000;

// One entry as a container stores it. All text is UTF-8.
struct ContainerEntry {
  std::string url;               // the plain URL (lpszSourceUrlName)
  std::uint32_t entryType = kNormalCacheEntry;
  std::uint64_t size = 0;        // body size as stored (dwSizeLow/High)
  std::uint64_t lastModified = 0;  // FILETIME, 0 when unknown
  std::uint64_t lastAccess = 0;    // FILETIME; picks the copy that stands for a URL held twice
  std::uint64_t expire = 0;        // FILETIME
  std::uint64_t lastSync = 0;      // FILETIME
  std::uint32_t hitRate = 0;
  std::uint32_t useCount = 0;
  std::uint32_t exemptDelta = 0;
  std::string headers;           // raw response header text, may be empty
  std::string fileExtension;     // without the dot, may be empty
  // Absolute path of the local copy, empty when the entry has none. For IE
  // entries a real file; for browsers that keep bodies inside their own
  // files a name inside the container folder that only openBody() opens.
  std::string localPath;
  // Container-private identity of the entry (record offset, entry file...),
  // so remove() and openBody() find exactly this entry again.
  std::uint64_t key = 0;
  std::string keyPath;
};

// One cache storage (an IE index.dat folder, a Chromium or Firefox cache
// folder). Every method treats the storage's bytes as hostile: bad parts
// are skipped, nothing crashes, nothing is read outside the files, and no
// returned path points outside the container folder.
class Container {
 public:
  virtual ~Container() = default;

  // The folder this container was opened on.
  virtual std::string folder() const = 0;

  // Reads the entries afresh, in this container's enumeration order.
  // Reading writes nothing.
  virtual std::vector<ContainerEntry> enumerate() = 0;

  // Whether the entry's local copy can be had right now (for IE: the file
  // exists and is a regular file inside the container). On false, *error
  // holds the Win32 code to report.
  virtual bool retrieve(const ContainerEntry& entry, std::uint32_t* error) = 0;

  // Opens the local copy for reading; nullptr (with *error set) when it
  // cannot be opened.
  virtual std::unique_ptr<BodyStream> openBody(const ContainerEntry& entry,
                                               std::uint32_t* error) = 0;

  // Removes the entry from the storage, the way the browser itself would.
  // Returns kErrorSuccess or the Win32 code of the failure; a failure
  // changes nothing.
  virtual std::uint32_t remove(const ContainerEntry& entry) = 0;
};

}  // namespace tessarine::urlcache
