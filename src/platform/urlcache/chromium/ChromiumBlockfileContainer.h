#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/urlcache/Container.h"

namespace tessarine::urlcache {

class ChromiumBlockfileStore;
struct ChromiumBlockfileEntry;
struct ChromiumBlockfileIndex;

// A Chromium "blockfile" disk cache folder (`index`, `data_0`..`data_N`,
// `f_XXXXXX`). Entries are those reachable from the index's hash table;
// bodies stay in the browser's files and openBody() streams them from
// there with Content-Encoding undone. Nothing is ever written.
class ChromiumBlockfileContainer : public Container {
 public:
  // The container of `folder` when it is a blockfile cache folder (its
  // `index` has the blockfile magic and a version we read) or a profile's
  // `Cache` folder holding one as `Cache_Data`; nullptr otherwise.
  static std::unique_ptr<ChromiumBlockfileContainer> open(
      const std::string& folder);

  // The cache folder itself, even when opened on its parent.
  std::string folder() const override { return folder_; }

  // Every live entry reachable from the hash table, bucket by bucket, each
  // chain in its stored order; sparse children are part of their parent,
  // not entries of their own. A sparse parent has a local copy when its
  // children's ranges cover the length its headers give (its size is that
  // length). Entries without a whole 200/203 body (redirects, errors,
  // truncated, uncovered ranges, streams in a missing or damaged file, left
  // open by a crash) are listed with an empty localPath.
  std::vector<ContainerEntry> enumerate() override;
  bool retrieve(const ContainerEntry& entry, std::uint32_t* error) override;
  std::unique_ptr<BodyStream> openBody(const ContainerEntry& entry,
                                       std::uint32_t* error) override;
  // Never removes anything: kErrorSharingViolation while another process
  // has the index or a block file open, kErrorFileNotFound when the entry
  // is gone, otherwise kErrorAccessDenied. Taking an entry out in place
  // means rewriting the browser's allocation bitmaps, free-run counters and
  // LRU lists, whose bookkeeping we cannot reproduce with certainty; a
  // wrong guess would make the browser discard or corrupt its whole cache.
  std::uint32_t remove(const ContainerEntry& entry) override;

 private:
  explicit ChromiumBlockfileContainer(std::string folder);

  // The record `entry` came from, found again through its bucket chain and
  // checked to still hold the same key and body size.
  std::optional<ChromiumBlockfileEntry> reread(
      const ChromiumBlockfileIndex& index, ChromiumBlockfileStore& store,
      const ContainerEntry& entry, std::uint32_t* error) const;
  // The decoded body of `entry`, nullptr with *error set when it has none.
  std::unique_ptr<BodyStream> body(const ContainerEntry& entry,
                                   std::uint32_t* error) const;
  std::string pathOf(const std::string& name) const;

  std::string folder_;
};

}  // namespace tessarine::urlcache
