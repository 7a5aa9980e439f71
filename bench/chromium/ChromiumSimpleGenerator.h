#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessarine::bench {

// Writes a synthetic Chromium "simple" cache folder (`Cache_Data`): one
// `<16 hex>_0` file per entry (key, body as stream 1, the pickled response
// info as stream 0, both streams' CRCs and the key's SHA-256), the `index`
// marker and `index-dir/the-real-index`. Hashes are computed here from the
// format notes, not taken from the reader, so the reader checks them.
class ChromiumSimpleGenerator {
 public:
  struct Response {
    std::string url;
    std::string contentType;      // "" leaves the header out
    std::string contentEncoding;  // "" for identity
    bool partitioned = true;      // "1/0/_dk_<site> <site> <url>" or the bare URL
  };
  // Fills `buffer` (already sized) with the next bytes of a body.
  using BodySource = std::function<void(char* buffer, std::size_t size)>;

  // Creates `folder` and `folder`/index-dir.
  explicit ChromiumSimpleGenerator(std::string folder);

  // Writes the entry's `_0` file with `body` as stored; its path, "" when
  // it cannot be written.
  std::string add(const Response& response, const std::string& body);
  // The same with a body of `size` bytes produced by `source` chunk by
  // chunk, for bodies too large to hold.
  std::string add(const Response& response, std::uint64_t size,
                  const BodySource& source);

  // Writes `index` and `index-dir/the-real-index` for the entries added.
  bool finish();

  // The key Chromium stores a response under.
  static std::string keyOf(const Response& response);
  // "<16 hex>_0" for `key`.
  static std::string fileNameOf(const std::string& key);
  // Paul Hsieh's SuperFastHash, as the notes give it.
  static std::uint32_t superFastHash(const std::string& bytes);

 private:
  struct IndexRecord {
    std::uint64_t hash;
    std::uint64_t fileSize;
  };

  std::string stream0Of(const Response& response, std::uint64_t bodySize) const;

  std::string folder_;
  std::vector<IndexRecord> records_;
};

}  // namespace tessarine::bench
