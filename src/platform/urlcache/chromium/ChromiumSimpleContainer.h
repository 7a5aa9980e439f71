#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/urlcache/Container.h"
#include "platform/urlcache/FileIdentity.h"
#include "platform/urlcache/SparseRangeAssembler.h"

namespace tessarine::urlcache {

struct ChromiumSimpleEntryFile;
struct ChromiumResponseInfo;

// A Chromium "simple" disk cache folder (`Cache_Data`: `index`,
// `index-dir/`, `<16 hex>_0`, `_1`, `_s`). Bodies stay in the browser's
// entry files: openBody() streams stream 1 out of the `_0` file with its
// Content-Encoding undone, and nothing is ever written.
class ChromiumSimpleContainer : public Container {
 public:
  // The container of `folder` when it is a simple cache folder (its `index`
  // starts with the simple magic) or a profile's `Cache` folder holding one
  // as `Cache_Data`; nullptr for anything else, blockfile and sql caches
  // included.
  static std::unique_ptr<ChromiumSimpleContainer> open(
      const std::string& folder);

  // The cache folder itself (`.../Cache_Data`), even when opened on its
  // parent.
  std::string folder() const override { return folder_; }

  // Every valid `_0` file, sorted by file name. Entries without a whole
  // 200/203 body (redirects, errors, truncated, undecodable coding) are
  // listed with an empty localPath. A sparse entry (empty stream 1 and a
  // `_s` file) has a local copy, its ranges pieced together, when they
  // cover the whole length its headers give; its size is then that length.
  // An entry file (and `_s` file) whose identity has not changed since the
  // last enumeration is not read again: what was found in it then is
  // listed, named afresh in order.
  std::vector<ContainerEntry> enumerate() override;
  bool retrieve(const ContainerEntry& entry, std::uint32_t* error) override;
  std::unique_ptr<BodyStream> openBody(const ContainerEntry& entry,
                                       std::uint32_t* error) override;
  // Deletes the entry's `_0`, `_1` and `_s` files and
  // `index-dir/the-real-index`, so the browser rebuilds its index.
  std::uint32_t remove(const ContainerEntry& entry) override;

 private:
  explicit ChromiumSimpleContainer(std::string folder);

  // The entry file `entry` names, re-read and checked to still hold the
  // entry enumerated (same URL, same stored body size; a sparse entry's size is checked
  // when it is opened).
  std::optional<ChromiumSimpleEntryFile> reread(const ContainerEntry& entry,
                                                std::uint32_t* error) const;
  // A body pieced together from a `_s` file, and its whole length.
  struct SparseBody {
    SparseRangeAssembler pieces;
    std::uint64_t total;
  };
  // Whether the entry's body is one whole 200/203 response we can decode,
  // from stream 1 or from ranges that cover it.
  bool hasLocalCopy(const ChromiumSimpleEntryFile& file,
                    const ChromiumResponseInfo& info) const;
  // Whether the entry keeps its data as ranges in a `_s` file.
  bool hasSparseFile(const ChromiumSimpleEntryFile& file) const;
  // The ranges of a sparse entry, when they cover its whole length.
  std::optional<SparseBody> sparseBody(const ChromiumSimpleEntryFile& file,
                                       const ChromiumResponseInfo& info) const;
  // The whole length of a sparse entry whose ranges cover it.
  std::optional<std::uint64_t> sparseTotal(
      const ChromiumSimpleEntryFile& file,
      const ChromiumResponseInfo& info) const;
  // The decoded body of a checked entry file.
  std::unique_ptr<BodyStream> bodyOf(const ChromiumSimpleEntryFile& file,
                                     const ChromiumResponseInfo& info,
                                     std::uint32_t* error) const;
  std::string pathOf(const std::string& name) const;

  // What an enumeration found in one `_0` file, standing for it in the
  // next while the file and its `_s` file keep their identities.
  struct KnownEntry {
    FileIdentity file;
    bool emptyBody = false;  // only then does a `_s` file count
    std::optional<FileIdentity> sparseFile;  // nullopt: there was none
    ContainerEntry entry;  // localPath and fileExtension not filled in
    bool hasCopy = false;
    std::string contentType;
    // Where stream 1 lies, for opening an unchanged file without parsing it.
    std::uint64_t bodyOffset = 0;
    std::optional<std::uint32_t> bodyCrc;
    std::string contentEncoding;
  };
  // Where a known entry's whole body lies in stream 1 of its file.
  struct KnownBody {
    FileIdentity file;  // the file as it was read
    std::uint64_t offset = 0;
    std::optional<std::uint32_t> crc;
    std::string contentEncoding;
  };
  // The last enumeration's facts about `entry`'s file when they describe a
  // whole body in stream 1 of it; nullopt sends the caller to read the
  // file afresh. The caller still checks the file is as it was read.
  std::optional<KnownBody> knownBody(const ContainerEntry& entry);

  // What one enumeration learns of one `_0` file.
  struct Reading {
    enum class Kind { Skip, Known, Fresh } kind = Kind::Skip;
    KnownEntry fresh;      // Fresh: what the file holds
    bool settled = false;  // Fresh: it may stand for the file next time
  };
  // Looks at the file `name` in the folder open as `dirFd`: Known when
  // known_ still stands for it, else read afresh (Skip when it is not a
  // valid entry). Only reads known_: safe beside other calls.
  Reading readEntry(int dirFd, const std::string& name,
                    const timespec& started) const;
  // The decoded body of the file `name`, for sniffing its type; nullptr
  // when it is no longer the file `read` was taken from.
  std::unique_ptr<BodyStream> sniffBody(int dirFd, const std::string& name,
                                        const FileIdentity& read) const;
  // Whether `known` still stands for the file `name` in the folder open
  // as `dirFd`.
  bool stillHolds(int dirFd, const std::string& name,
                  const KnownEntry& known) const;

  std::string folder_;
  std::mutex knownMutex_;  // enumerate() may be called from any thread
  std::unordered_map<std::string, KnownEntry> known_;  // by file name
};

}  // namespace tessarine::urlcache
