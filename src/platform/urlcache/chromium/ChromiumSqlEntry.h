#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/urlcache/SparseRangeAssembler.h"
#include "platform/urlcache/chromium/ChromiumResponseInfo.h"

namespace tessarine::urlcache {

// One live entry of a Chromium SQL cache shard, judged from its
// `resources` row and the `blobs` rows that hold its body; no SQLite here,
// so the judgement can be tested and fuzzed on its own.
struct ChromiumSqlEntry {
  // A `blobs` row: bytes [start, end) of the body, `size` bytes stored.
  struct Blob {
    std::int64_t blobId = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t size = 0;
  };

  std::int64_t resId = 0;
  std::string key;
  std::string url;  // the plain URL out of the key
  ChromiumResponseInfo info;
  std::int64_t lastUsed = 0;  // microseconds since 1601, 0 when unknown
  std::uint64_t bodyEnd = 0;  // bytes of body the row says are stored
  std::vector<Blob> blobs;    // the sound rows, by start
  // The length of the whole body (as stored, before Content-Encoding is
  // undone) when the entry has a local copy: a 200/203 response that is not
  // truncated, whose Content-Length (if any) is body_end and whose blobs
  // cover [0, body_end), or a sparse (206) one whose blobs cover the total
  // of its Content-Range; always with a Content-Encoding we can undo.
  // nullopt otherwise, an empty body included.
  std::optional<std::uint64_t> wholeLength;

  // The entry of a `resources` row and its `blobs` rows. nullopt for a row
  // that is doomed, whose key holds no URL, whose head does not parse or
  // whose body_end is negative. Blob rows that are not sound (start < 0,
  // end <= start, stored size other than end - start) are left out.
  static std::optional<ChromiumSqlEntry> fromRows(std::int64_t resId,
                                                  std::int64_t lastUsed,
                                                  std::int64_t bodyEnd,
                                                  std::int64_t doomed,
                                                  std::string_view key,
                                                  std::string_view head,
                                                  std::vector<Blob> blobs);

  // The blobs as pieces of the body, each read through `opener(blob)`.
  SparseRangeAssembler pieces(
      const std::function<SparseRangeAssembler::Opener(const Blob&)>& opener)
      const;
};

}  // namespace tessarine::urlcache
