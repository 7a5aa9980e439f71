#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/urlcache/Container.h"

namespace tessarine::urlcache {

struct ChromiumSqlEntry;
class ChromiumSqlShard;

// A Chromium SQL-backend cache folder (`Cache_Data` holding `index` that
// reads "SQLCache..." and SQLite shards `sqldb0`, `sqldb1`, ...). Entries
// are the live `resources` rows; bodies are their `blobs` rows pieced
// together and streamed with Content-Encoding undone. Reading opens each
// shard read-only (see ChromiumSqlShard) and writes nothing.
class ChromiumSqlContainer : public Container {
 public:
  // The container of `folder` when it is an SQL cache folder or a
  // profile's `Cache` folder holding one as `Cache_Data`; nullptr for
  // anything else.
  static std::unique_ptr<ChromiumSqlContainer> open(const std::string& folder);

  // The cache folder itself, even when opened on its parent.
  std::string folder() const override { return folder_; }

  // The live entries of every shard that opens, shard by shard in number
  // order, then by row. Entries without a whole body (redirects, errors,
  // truncated, sparse ranges that do not cover the total, undecodable
  // coding, empty bodies) are listed with an empty localPath. size is the
  // stored body length (a covered sparse entry: its total).
  std::vector<ContainerEntry> enumerate() override;
  bool retrieve(const ContainerEntry& entry, std::uint32_t* error) override;
  std::unique_ptr<BodyStream> openBody(const ContainerEntry& entry,
                                       std::uint32_t* error) override;
  // Deletes the entry's rows in one transaction (ChromiumSqlShard::
  // removeEntry); a shard another process holds busy gives
  // kErrorSharingViolation and nothing changes.
  std::uint32_t remove(const ContainerEntry& entry) override;

 private:
  explicit ChromiumSqlContainer(std::string folder);

  // The shard files, in number order.
  std::vector<std::string> shardPaths() const;
  // Whether `path` is one of this folder's shards.
  bool isShard(const std::string& path) const;
  // The entry's row read afresh from its shard, checked to be the same
  // entry (same URL and size) with a whole body.
  std::optional<ChromiumSqlEntry> reread(
      const ContainerEntry& entry, std::shared_ptr<ChromiumSqlShard>* shard,
      std::uint32_t* error) const;
  // The decoded body of a checked entry.
  static std::unique_ptr<BodyStream> bodyOf(
      const std::shared_ptr<ChromiumSqlShard>& shard,
      const ChromiumSqlEntry& entry, std::uint32_t* error);

  std::string folder_;
};

}  // namespace tessarine::urlcache
