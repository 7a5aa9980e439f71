#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessarine::bench {

// Writes a synthetic Firefox cache2 folder: `entries/` with one file per
// response (data, chunk checksums, metadata header, key, elements, the
// version-4 trailer), `index` (version 12, one record per entry),
// `index.log` and `doomed/`. Checksums are computed here from the format
// notes, so the reader checks them.
class FirefoxCache2Generator {
 public:
  struct Response {
    std::string url;
    std::string contentType;      // "" leaves the header out
    std::string contentEncoding;  // "" for identity
    int contentClass = 1;         // `ctid`: 2 script, 3 image, 4 media, 5 style
    bool anonymous = false;       // the "a," tag of a credential-less load
    std::string altData;          // compiled script appended after the body
  };
  // Fills `buffer` (already sized) with the next bytes of a body.
  using BodySource = std::function<void(char* buffer, std::size_t size)>;

  // Creates `folder` (the cache2 folder) with entries/ and doomed/.
  explicit FirefoxCache2Generator(std::string folder);

  // Writes the entry file of `response` with `body` as stored; its path, ""
  // when it cannot be written.
  std::string add(const Response& response, const std::string& body);
  // The same with a body of `size` bytes produced by `source` chunk by chunk.
  std::string add(const Response& response, std::uint64_t size, const BodySource& source);

  // Writes `index` and `index.log` for the entries added.
  bool finish();

  // The key Firefox stores a response under.
  static std::string keyOf(const Response& response);
  // Bob Jenkins' lookup2 hash with initial value 0, as the notes give it.
  static std::uint32_t jenkinsHash(const char* data, std::size_t size);

 private:
  struct IndexRecord {
    std::string sha1;  // 20 bytes
    std::uint32_t frecency;
    int contentClass;
    std::uint32_t flagsAndSize;
  };

  std::string folder_;
  std::vector<IndexRecord> records_;
};

}  // namespace tessarine::bench
