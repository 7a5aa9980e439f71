#include "platform/urlcache/chromium/ChromiumSqlEntry.h"

#include <algorithm>
#include <memory>

#include "platform/urlcache/ContentDecoder.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"
#include "platform/urlcache/chromium/ChromiumEntryDetails.h"

namespace tessarine::urlcache {
namespace {

// An opener that is never called: coverage is all fromRows() asks.
SparseRangeAssembler::Opener noBytes(const ChromiumSqlEntry::Blob&) {
  return [](std::uint64_t, std::uint64_t, std::uint32_t*) {
    return std::unique_ptr<BodyStream>();
  };
}

}  // namespace

std::optional<ChromiumSqlEntry> ChromiumSqlEntry::fromRows(
    std::int64_t resId, std::int64_t lastUsed, std::int64_t bodyEnd,
    std::int64_t doomed, std::string_view key, std::string_view head,
    std::vector<Blob> blobs) {
  if (doomed != 0 || bodyEnd < 0) return std::nullopt;
  ChromiumSqlEntry e;
  e.url = chromium_key::urlFromKey(key);
  if (e.url.empty()) return std::nullopt;
  auto info = ChromiumResponseInfo::parse(head);
  if (!info) return std::nullopt;
  e.info = std::move(*info);
  e.resId = resId;
  e.key = std::string(key);
  e.lastUsed = lastUsed > 0 ? lastUsed : 0;
  e.bodyEnd = static_cast<std::uint64_t>(bodyEnd);
  std::erase_if(blobs, [](const Blob& b) {
    return b.start < 0 || b.end <= b.start || b.size != b.end - b.start;
  });
  std::stable_sort(blobs.begin(), blobs.end(),
                   [](const Blob& a, const Blob& b) { return a.start < b.start; });
  e.blobs = std::move(blobs);

  const HttpHeaders& h = e.info.headers;
  if (e.info.truncated || !canDecode(h.value("Content-Encoding"))) return e;
  std::optional<std::uint64_t> total;
  if (h.status == 200 || h.status == 203) {
    const std::int64_t length =
        chromium_details::contentLengthOf(h.value("Content-Length"));
    if (length < 0 || static_cast<std::uint64_t>(length) == e.bodyEnd)
      total = e.bodyEnd;
  } else if (h.status == 206) {
    total = SparseRangeAssembler::totalLength(h);
  }
  if (total && e.pieces(noBytes).covers(*total)) e.wholeLength = total;
  return e;
}

SparseRangeAssembler ChromiumSqlEntry::pieces(
    const std::function<SparseRangeAssembler::Opener(const Blob&)>& opener)
    const {
  SparseRangeAssembler a;
  for (const Blob& b : blobs)
    a.add(static_cast<std::uint64_t>(b.start),
          static_cast<std::uint64_t>(b.size), opener(b));
  return a;
}

}  // namespace tessarine::urlcache
