#include "platform/urlcache/chromium/ChromiumBlockfileContainer.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <set>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/ContentDecoder.h"
#include "platform/urlcache/FileBodyStream.h"
#include "platform/urlcache/LocalCopyNamer.h"
#include "platform/urlcache/SparseRangeAssembler.h"
#include "platform/urlcache/chromium/ChromiumBlockfileAddress.h"
#include "platform/urlcache/chromium/ChromiumBlockfileEntry.h"
#include "platform/urlcache/chromium/ChromiumBlockfileFormat.h"
#include "platform/urlcache/chromium/ChromiumBlockfileIndex.h"
#include "platform/urlcache/chromium/ChromiumBlockfileRankings.h"
#include "platform/urlcache/chromium/ChromiumBlockfileSparseRanges.h"
#include "platform/urlcache/chromium/ChromiumBlockfileStore.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"
#include "platform/urlcache/chromium/ChromiumEntryDetails.h"
#include "platform/urlcache/chromium/ChromiumResponseInfo.h"
#include "platform/urlcache/msie/ProcessFileUse.h"

namespace tessarine::urlcache {
namespace {

using namespace chromium_blockfile;

// More records than this are not walked: the 256-byte block files of one
// cache cannot hold more (256 files x 65 536 blocks).
constexpr std::size_t kMaxRecords = 256u << 16;
constexpr std::int64_t kFiletimeUnitsPerMicrosecond = 10;

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Microseconds since 1601 as FILETIME; 0 when not a plausible time.
std::uint64_t filetimeOf(std::int64_t micros) {
  if (micros <= 0 || micros > std::numeric_limits<std::int64_t>::max() /
                                  kFiletimeUnitsPerMicrosecond)
    return 0;
  return static_cast<std::uint64_t>(micros * kFiletimeUnitsPerMicrosecond);
}

// Calls `visit` on every record reachable from buckets [first, last) of
// the hash table, bucket by bucket, until it returns false. A chain ends at an empty or unreadable address, at a record that
// does not hash to its bucket, and at any record already seen (chains that
// loop or run into another chain).
template <typename Visit>
void walk(const ChromiumBlockfileIndex& index, ChromiumBlockfileStore& store,
          std::size_t first, std::size_t last, Visit visit) {
  std::set<std::uint32_t> seen;
  const std::uint32_t mask = index.tableLength - 1;
  last = std::min(last, index.buckets.size());
  for (std::size_t bucket = first; bucket < last; ++bucket) {
    std::uint32_t address = index.buckets[bucket];
    while ((address & kAddressInitialized) && seen.size() < kMaxRecords) {
      auto record = ChromiumBlockfileEntry::read(store, address);
      // A record of another bucket is left for that bucket's own walk.
      if (!record || (record->hash & mask) != bucket ||
          !seen.insert(address).second)
        break;
      address = record->next;
      if (!visit(*record)) return;
    }
  }
}

// What an entry record's streams say and where its body is.
struct Resolved {
  std::string url;
  std::optional<ChromiumResponseInfo> info;
  std::optional<ChromiumBlockfileRankings> rankings;
  bool reliable = false;  // closed cleanly, rankings node points back
  std::uint64_t bodySize = 0;  // stream 1's, or a sparse body's total
  std::optional<ChromiumBlockfileStore::Span> body;  // stream 1, all there
  // A sparse parent's ranges when they cover the total its headers give.
  std::optional<SparseRangeAssembler> sparse;
};

// The live record stored under `key`, looked up through its bucket.
std::optional<ChromiumBlockfileEntry> findByKey(
    const ChromiumBlockfileIndex& index, ChromiumBlockfileStore& store,
    const std::string& key) {
  const std::size_t bucket =
      chromium_key::superFastHash(key) & (index.tableLength - 1);
  std::optional<ChromiumBlockfileEntry> found;
  walk(index, store, bucket, bucket + 1,
       [&](const ChromiumBlockfileEntry& record) {
         if (record.key != key || record.state != kEntryStateNormal) return true;
         found = record;
         return false;
       });
  return found;
}

// The ranges of a sparse parent put together, when they cover the whole
// resource of a 200/203/206 answer we can decode.
void resolveSparse(const ChromiumBlockfileIndex& index,
                   ChromiumBlockfileStore& store,
                   const ChromiumBlockfileEntry& record, Resolved* r) {
  const int status = r->info->headers.status;
  if ((status != 200 && status != 203 && status != 206) || r->info->truncated ||
      !canDecode(r->info->headers.value("Content-Encoding")))
    return;
  const auto total = SparseRangeAssembler::totalLength(r->info->headers);
  if (!total) return;
  const auto ranges = ChromiumBlockfileSparseRanges::read(
      store, record,
      [&](const std::string& key) { return findByKey(index, store, key); });
  if (!ranges) return;
  SparseRangeAssembler pieces;
  ranges->addTo(&pieces);
  if (!pieces.covers(*total)) return;
  r->sparse = std::move(pieces);
  r->bodySize = *total;
}

// Reads what `record` points at. nullopt for records that are not entries
// of their own: not in the normal state, sparse children, unreadable key
// or a key that holds no URL.
std::optional<Resolved> resolve(const ChromiumBlockfileIndex& index,
                                ChromiumBlockfileStore& store,
                                const ChromiumBlockfileEntry& record) {
  if (record.state != kEntryStateNormal ||
      (record.flags & kEntryFlagSparseChild) || !record.key)
    return std::nullopt;
  Resolved r;
  r.url = chromium_key::urlFromKey(*record.key);
  if (r.url.empty()) return std::nullopt;

  r.rankings = ChromiumBlockfileRankings::read(store, record.rankings);
  r.reliable = r.rankings && r.rankings->contents == record.address &&
               (r.rankings->dirty == 0 || r.rankings->dirty == index.sessionId);

  const std::int32_t size0 = record.streamSizes[kResponseInfoStream];
  const auto at0 = ChromiumBlockfileAddress::decode(
      record.streamAddresses[kResponseInfoStream]);
  if (size0 > 0 && at0)
    if (const auto stream0 =
            store.read(*at0, static_cast<std::uint64_t>(size0)))
      r.info = ChromiumResponseInfo::parse(*stream0);

  const std::int32_t size1 = record.streamSizes[kBodyStream];
  if (size1 >= 0) r.bodySize = static_cast<std::uint64_t>(size1);
  if (size1 == 0) {
    r.body = ChromiumBlockfileStore::Span{};
  } else if (const auto at1 = ChromiumBlockfileAddress::decode(
                 record.streamAddresses[kBodyStream]);
             size1 > 0 && at1 && at1->type() != kTypeRankings) {
    r.body = store.locate(*at1, r.bodySize);
  }
  if ((record.flags & kEntryFlagSparseParent) && r.info && r.reliable &&
      size1 == 0)
    resolveSparse(index, store, record, &r);
  return r;
}

// Whether the entry's body is one whole 200/203 response we can decode.
bool hasWholeBody(const ChromiumBlockfileEntry& record, const Resolved& r) {
  if (record.flags & kEntryFlagSparseParent) return r.sparse.has_value();
  if (!r.reliable || !r.info || !r.body) return false;
  const int status = r.info->headers.status;
  if ((status != 200 && status != 203) || r.info->truncated) return false;
  if (!canDecode(r.info->headers.value("Content-Encoding"))) return false;
  const std::int64_t length =
      chromium_details::contentLengthOf(r.info->headers.value("Content-Length"));
  return length < 0 || static_cast<std::uint64_t>(length) == r.bodySize;
}

// The decoded body of a resolved entry that has a whole one.
// `emptySource` is any file of the folder: an empty body reads none of it.
std::unique_ptr<BodyStream> decodedBody(const Resolved& r,
                                        const std::string& emptySource,
                                        std::uint32_t* error) {
  std::unique_ptr<BodyStream> raw;
  if (r.sparse) {
    raw = r.sparse->open(r.bodySize, error);
  } else if (r.body->length == 0) {
    raw = FileBodyStream::openRange(emptySource, 0, 0, error);
  } else {
    raw = FileBodyStream::openRange(r.body->path, r.body->offset,
                                    static_cast<std::int64_t>(r.body->length),
                                    error);
  }
  if (!raw) return nullptr;
  auto decoded =
      makeDecodingStream(std::move(raw), r.info->headers.value("Content-Encoding"));
  if (!decoded) *error = kErrorInvalidData;
  return decoded;
}

}  // namespace

ChromiumBlockfileContainer::ChromiumBlockfileContainer(std::string folder)
    : folder_(std::move(folder)) {}

std::unique_ptr<ChromiumBlockfileContainer> ChromiumBlockfileContainer::open(
    const std::string& folder) {
  const std::string cacheDir = chromium_details::cacheFolderOf(folder);
  if (cacheDir.empty()) return nullptr;
  if (!ChromiumBlockfileIndex::hasMagic(cacheDir + "/" + kIndexFileName) ||
      !ChromiumBlockfileIndex::read(cacheDir + "/" + kIndexFileName))
    return nullptr;
  return std::unique_ptr<ChromiumBlockfileContainer>(
      new ChromiumBlockfileContainer(cacheDir));
}

std::string ChromiumBlockfileContainer::pathOf(const std::string& name) const {
  return folder_ + "/" + name;
}

std::vector<ContainerEntry> ChromiumBlockfileContainer::enumerate() {
  std::vector<ContainerEntry> entries;
  const auto index = ChromiumBlockfileIndex::read(pathOf(kIndexFileName));
  if (!index) return entries;
  ChromiumBlockfileStore store(folder_);
  LocalCopyNamer namer;
  walk(*index, store, 0, index->buckets.size(),
       [&](const ChromiumBlockfileEntry& record) {
    const auto r = resolve(*index, store, record);
    if (!r) return true;
    ContainerEntry e;
    e.url = r->url;
    e.entryType = kNormalCacheEntry;
    e.size = r->bodySize;
    e.key = record.address;
    e.keyPath = *record.key;
    e.lastSync = filetimeOf(record.creationTime);
    if (r->info)
      chromium_details::describeResponse(r->info->headers,
                                         r->info->responseTime, &e);
    // The rankings node knows when the entry was last used.
    if (r->rankings)
      if (const std::uint64_t used = filetimeOf(r->rankings->lastUsed))
        e.lastAccess = used;
    if (!e.lastAccess) e.lastAccess = e.lastSync;

    if (hasWholeBody(record, *r)) {
      const std::string name = chromium_details::localCopyName(
          namer, e.url, r->info->headers.value("Content-Type"), [&] {
            std::uint32_t error = 0;
            return decodedBody(*r, pathOf(kIndexFileName), &error);
          });
      if (!name.empty()) {
        e.localPath = pathOf(name);
        e.fileExtension = chromium_details::extensionOf(name);
      }
    }
    entries.push_back(std::move(e));
    return true;
  });
  return entries;
}

std::optional<ChromiumBlockfileEntry> ChromiumBlockfileContainer::reread(
    const ChromiumBlockfileIndex& index, ChromiumBlockfileStore& store,
    const ContainerEntry& entry, std::uint32_t* error) const {
  const std::uint32_t hash = chromium_key::superFastHash(entry.keyPath);
  const std::size_t bucket = hash & (index.tableLength - 1);
  std::optional<ChromiumBlockfileEntry> found;
  walk(index, store, bucket, bucket + 1,
       [&](const ChromiumBlockfileEntry& record) {
         if (record.address != entry.key) return true;
         found = record;
         return false;
       });
  // A sparse parent's size is its ranges' total, checked when resolved.
  if (!found || found->key != entry.keyPath ||
      (!(found->flags & kEntryFlagSparseParent) &&
       (found->streamSizes[kBodyStream] < 0 ||
        static_cast<std::uint64_t>(found->streamSizes[kBodyStream]) !=
            entry.size))) {
    *error = kErrorFileNotFound;
    return std::nullopt;
  }
  return found;
}

std::unique_ptr<BodyStream> ChromiumBlockfileContainer::body(
    const ContainerEntry& entry, std::uint32_t* error) const {
  if (entry.localPath.empty()) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  const auto index = ChromiumBlockfileIndex::read(pathOf(kIndexFileName));
  if (!index) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  ChromiumBlockfileStore store(folder_);
  const auto record = reread(*index, store, entry, error);
  if (!record) return nullptr;
  const auto r = resolve(*index, store, *record);
  if (!r || r->url != entry.url || r->bodySize != entry.size ||
      !hasWholeBody(*record, *r)) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  return decodedBody(*r, pathOf(kIndexFileName), error);
}

bool ChromiumBlockfileContainer::retrieve(const ContainerEntry& entry,
                                          std::uint32_t* error) {
  std::uint32_t scratch = 0;
  if (!error) error = &scratch;
  return body(entry, error) != nullptr;
}

std::unique_ptr<BodyStream> ChromiumBlockfileContainer::openBody(
    const ContainerEntry& entry, std::uint32_t* error) {
  std::uint32_t scratch = 0;
  if (!error) error = &scratch;
  return body(entry, error);
}

std::uint32_t ChromiumBlockfileContainer::remove(const ContainerEntry& entry) {
  const auto index = ChromiumBlockfileIndex::read(pathOf(kIndexFileName));
  if (!index) return kErrorFileNotFound;
  {
    ChromiumBlockfileStore store(folder_);
    std::uint32_t error = 0;
    if (!reread(*index, store, entry, &error)) return error;
  }
  std::vector<std::string> files = {pathOf(kIndexFileName)};
  for (int n = 0; n <= kMaxBlockFileNumber; ++n) {
    const std::string path = pathOf(kBlockFilePrefix + std::to_string(n));
    if (!exists(path)) break;
    files.push_back(path);
  }
  for (const std::string& path : files) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) continue;
    char* real = ::realpath(path.c_str(), nullptr);
    const std::string canonical = real ? real : path;
    std::free(real);
    if (msie::ProcessFileUse::usedByOtherProcess(st.st_dev, st.st_ino,
                                                 canonical))
      return kErrorSharingViolation;
  }
  return kErrorAccessDenied;
}

}  // namespace tessarine::urlcache
