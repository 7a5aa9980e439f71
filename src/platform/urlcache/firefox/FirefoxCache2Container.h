#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/urlcache/Container.h"
#include "platform/urlcache/FileIdentity.h"

namespace tessarine::urlcache {

struct FirefoxEntryFile;

// Firefox's "cache2" disk cache: a cache2 folder (entries/, index, doomed/)
// or a folder of bare entry files. Entries are served in file-name order;
// bodies are streamed, decoded, straight from the entry files.
class FirefoxCache2Container : public Container {
 public:
  // Opens `folder` when it is a cache2 folder (an entries/ folder beside an
  // index, index.log or doomed/) or a folder holding entry files that read
  // as such; nullptr otherwise. Reads a few entries, writes nothing.
  static std::unique_ptr<FirefoxCache2Container> open(const std::string& folder);

  std::string folder() const override { return folder_; }

  // One entry per sound entry file, sorted by file name; damaged files are
  // skipped. An entry has a localPath (folder + "/" + a LocalCopyNamer
  // name) only when it holds a whole 200/203 response it can decode.
  // keyPath is the entry file, key its metadata checksum. An entry file
  // whose identity has not changed since the last enumeration is not read
  // again: what was found in it then is listed, named afresh in order.
  std::vector<ContainerEntry> enumerate() override;

  // True when the entry file still holds the entry and its body is a whole
  // response; else kErrorFileNotFound.
  bool retrieve(const ContainerEntry& entry, std::uint32_t* error) override;

  // The body, cut before any alternative data, checked chunk by chunk and
  // with its Content-Encoding undone.
  std::unique_ptr<BodyStream> openBody(const ContainerEntry& entry,
                                       std::uint32_t* error) override;

  // Deletes the entry file and the index (Firefox rebuilds it from the
  // entries); kErrorFileNotFound when the entry is gone.
  std::uint32_t remove(const ContainerEntry& entry) override;

 private:
  FirefoxCache2Container(std::string folder, std::string entriesDir,
                         std::string indexPath);

  // Re-reads the entry file `entry` names, if it is one of ours and still
  // holds the same entry (same URL, same metadata checksum).
  std::optional<FirefoxEntryFile> reread(const ContainerEntry& entry) const;
  // The sorted names of the files in the entries folder that look like entries.
  std::vector<std::string> entryNames() const;

  // What an enumeration found in one entry file, standing for it in the
  // next while the file keeps its identity.
  struct KnownEntry {
    FileIdentity file;
    ContainerEntry entry;  // localPath and fileExtension not filled in
    bool whole = false;
    std::string contentType;
  };

  std::string folder_;
  std::string entriesDir_;
  std::string indexPath_;  // empty for a bare copy without an index
  std::mutex knownMutex_;  // enumerate() may be called from any thread
  std::unordered_map<std::string, KnownEntry> known_;  // by file name
};

}  // namespace tessarine::urlcache
