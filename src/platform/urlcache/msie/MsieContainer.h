#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/urlcache/Container.h"

namespace tessarine::urlcache::msie {
class AnsiTextDecoder;
class MsieIndexFile;
struct MsieUrlRecord;
}  // namespace tessarine::urlcache::msie

namespace tessarine::urlcache {

// An Internet Explorer / WinINet cache container: a folder holding
// index.dat and, for content, its cache subfolders. Entries are the `URL `
// records of the live hash slots in slot order. Text is converted from the
// writer's ANSI code page to UTF-8. Reading never writes a byte; remove()
// edits index.dat exactly as WinINet's delete does.
class MsieContainer : public Container {
 public:
  // Opens the container in `folder`; nullptr when the folder holds no
  // readable index.dat with a known signature. The code page is the one
  // named by the registry of the Wine prefix the folder lies in, else
  // `codePage` (an iconv name).
  static std::unique_ptr<MsieContainer> open(const std::string& folder,
                                             const std::string& codePage = "CP1252");

  // The absolute container folder, without a trailing "/".
  std::string folder() const override;
  // The iconv name of the code page the text is read in.
  const std::string& codePage() const { return codePage_; }

  // The live URL records, read afresh. key is the record's file offset;
  // localPath is empty when the entry has no local file or its names are
  // unsafe (a path separator, "." or "..", a control character, a drive).
  std::vector<ContainerEntry> enumerate() override;
  // True when the local file exists and is a regular file inside the
  // folder (no symlink); else *error is 13 (no local file) or 2 (gone).
  bool retrieve(const ContainerEntry& entry, std::uint32_t* error) override;
  // The local file, after the checks of retrieve().
  std::unique_ptr<BodyStream> openBody(const ContainerEntry& entry,
                                       std::uint32_t* error) override;
  // Deletes the entry's URL from index.dat as WinINet does (slot key 1,
  // bitmap bits, block count, bytes in use, directory count), then its
  // local file while the file's modification time still matches the
  // record. Fails, writing nothing, with 32 when another process has
  // index.dat open or mapped, another Tessarine holds the lock, or the
  // entry is locked (use count); 2 when the URL is not in the container;
  // 13 when the file is too damaged to edit; 5 when it cannot be written.
  std::uint32_t remove(const ContainerEntry& entry) override;

 private:
  MsieContainer(std::string folder, std::string canonicalFolder, std::string codePage);
  ContainerEntry toEntry(const msie::MsieUrlRecord& record,
                         const std::vector<std::string>& directories,
                         msie::AnsiTextDecoder& decoder) const;
  std::string localPathOf(const msie::MsieUrlRecord& record,
                          const std::vector<std::string>& directories,
                          msie::AnsiTextDecoder& decoder) const;
  std::vector<std::string> directoryNames(const msie::MsieIndexFile& file,
                                          msie::AnsiTextDecoder& decoder) const;
  // 0 when `path` is a regular file inside the folder, else the Win32 code.
  std::uint32_t checkLocalFile(const std::string& path) const;
  void removeLocalFileIfUnchanged(const msie::MsieUrlRecord& record,
                                  const std::string& path, int indexFd) const;

  std::string folder_;
  std::string canonicalFolder_;  // symlinks resolved, as at open()
  std::string indexPath_;
  std::string codePage_;
};

}  // namespace tessarine::urlcache
