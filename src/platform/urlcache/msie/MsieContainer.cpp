#include "platform/urlcache/msie/MsieContainer.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/urlcache/FileBodyStream.h"
#include "platform/urlcache/msie/AnsiTextDecoder.h"
#include "platform/urlcache/msie/FatTime.h"
#include "platform/urlcache/msie/MsieDeletion.h"
#include "platform/urlcache/msie/MsieIndexFile.h"
#include "platform/urlcache/msie/MsieIndexFormat.h"
#include "platform/urlcache/msie/ProcessFileUse.h"
#include "platform/urlcache/msie/WineCodePage.h"
#include "platform/urlcache/Win32Error.h"

namespace tessarine::urlcache {

using msie::AnsiTextDecoder;
using msie::MsieIndexFile;
using msie::MsieUrlRecord;

namespace {

// A name that can only ever stand for a file directly inside its folder:
// no separator of either system, no drive, not "." or "..", no control
// character. ("a..b" is fine: Wine names files "scan[0]..jpeg".)
bool isSafeName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.size() > NAME_MAX)
    return false;
  for (unsigned char c : name)
    if (c == '/' || c == '\\' || c == ':' || c < 0x20 || c == 0x7F) return false;
  return true;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && !b[i];
}

std::string canonical(const std::string& path) {
  char buf[PATH_MAX];
  if (!::realpath(path.c_str(), buf)) return {};
  return buf;
}

bool isInside(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() + 1 &&
         path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == '/';
}

bool writeAll(int fd, const std::string& bytes, std::uint32_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Whether a file's modification time is the FAT time the record keeps,
// at FAT's 2-second resolution. The FAT value carries no zone: it is
// matched as UTC (a prefix running in UTC) and as this machine's local
// time (what WinINet documents).
bool mtimeMatches(std::uint32_t fat, std::time_t mtime) {
  for (bool local : {false, true}) {
    const auto t = msie::FatTime::toUnix(fat, local);
    if (t && mtime - *t < 2 && *t - mtime < 2) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<MsieContainer> MsieContainer::open(const std::string& folder,
                                                   const std::string& codePage) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::string dir = fs::absolute(fs::path(folder), ec).lexically_normal().string();
  if (ec || dir.empty()) return nullptr;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();

  const std::string index = dir + "/index.dat";
  const int fd = ::open(index.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st {};
  char head[msie::kSignatureLength];
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                  ::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) &&
                  MsieIndexFile::hasKnownSignature(std::string_view(head, sizeof head));
  ::close(fd);
  if (!ok) return nullptr;

  std::string real = canonical(dir);
  if (real.empty()) return nullptr;
  std::string cp = msie::WineCodePage::forFolder(dir).value_or(codePage);
  if (!AnsiTextDecoder::isSupported(cp)) cp = "CP1252";
  return std::unique_ptr<MsieContainer>(new MsieContainer(dir, real, cp));
}

MsieContainer::MsieContainer(std::string folder, std::string canonicalFolder,
                             std::string codePage)
    : folder_(std::move(folder)),
      canonicalFolder_(std::move(canonicalFolder)),
      indexPath_(folder_ + "/index.dat"),
      codePage_(std::move(codePage)) {}

std::string MsieContainer::folder() const { return folder_; }

std::vector<std::string> MsieContainer::directoryNames(
    const MsieIndexFile& file, AnsiTextDecoder& decoder) const {
  // An unsafe name becomes "", which gives its entries no local file.
  std::vector<std::string> names;
  for (const auto& dir : file.directories()) {
    std::string name = decoder.toUtf8(dir.name);
    names.push_back(isSafeName(name) ? name : std::string());
  }
  return names;
}

std::string MsieContainer::localPathOf(const MsieUrlRecord& record,
                                       const std::vector<std::string>& directories,
                                       AnsiTextDecoder& decoder) const {
  if (!record.fileName) return {};
  const std::string name = decoder.toUtf8(*record.fileName);
  if (!isSafeName(name)) return {};
  if (record.directoryIndex == msie::kDirectoryBesideIndex) {
    // Never hand out the index itself as an entry's file.
    if (equalsIgnoringCase(name, "index.dat")) return {};
    return folder_ + "/" + name;
  }
  if (record.directoryIndex >= directories.size()) return {};
  const std::string& dir = directories[record.directoryIndex];
  if (dir.empty()) return {};
  return folder_ + "/" + dir + "/" + name;
}

ContainerEntry MsieContainer::toEntry(const MsieUrlRecord& record,
                                      const std::vector<std::string>& directories,
                                      AnsiTextDecoder& decoder) const {
  ContainerEntry e;
  e.url = decoder.toUtf8(record.url);
  e.entryType = record.entryType;
  e.size = record.size;
  e.lastModified = record.lastModified;
  e.lastAccess = record.lastAccess;
  e.expire = msie::FatTime::toFileTime(record.expireFat);
  e.lastSync = msie::FatTime::toFileTime(record.lastSyncFat);
  e.hitRate = record.hitRate;
  e.useCount = record.useCount;
  e.exemptDelta = record.exemptDelta;
  e.headers = decoder.toUtf8(record.headers);
  e.fileExtension = decoder.toUtf8(record.extension);
  e.localPath = localPathOf(record, directories, decoder);
  e.key = record.recordOffset;
  return e;
}

std::vector<ContainerEntry> MsieContainer::enumerate() {
  std::vector<ContainerEntry> entries;
  auto file = MsieIndexFile::load(indexPath_);
  if (!file) return entries;
  AnsiTextDecoder decoder(codePage_);
  const std::vector<std::string> dirs = directoryNames(*file, decoder);
  entries.reserve(file->liveSlots().size());
  for (const auto& slot : file->liveSlots())
    if (auto record = file->urlRecord(slot))
      entries.push_back(toEntry(*record, dirs, decoder));
  return entries;
}

std::uint32_t MsieContainer::checkLocalFile(const std::string& path) const {
  if (path.empty()) return kErrorInvalidData;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? kErrorFileNotFound
                                               : kErrorInvalidData;
  if (!S_ISREG(st.st_mode)) return kErrorInvalidData;
  // A cache folder that is a symlink to elsewhere must not lead out.
  if (!isInside(canonical(path), canonicalFolder_)) return kErrorInvalidData;
  return kErrorSuccess;
}

bool MsieContainer::retrieve(const ContainerEntry& entry, std::uint32_t* error) {
  const std::uint32_t code = checkLocalFile(entry.localPath);
  if (error) *error = code;
  return code == kErrorSuccess;
}

std::unique_ptr<BodyStream> MsieContainer::openBody(const ContainerEntry& entry,
                                                    std::uint32_t* error) {
  if (!retrieve(entry, error)) return nullptr;
  return FileBodyStream::open(entry.localPath, error);
}

void MsieContainer::removeLocalFileIfUnchanged(const MsieUrlRecord& record,
                                               const std::string& path,
                                               int indexFd) const {
  // With no recorded time there is nothing to prove the file is still
  // the one the entry committed, so it stays.
  if (path.empty() || record.fileTimeFat == 0) return;
  if (checkLocalFile(path) != kErrorSuccess) return;
  struct stat file {}, index {};
  if (::lstat(path.c_str(), &file) != 0 || ::fstat(indexFd, &index) != 0) return;
  if (file.st_dev == index.st_dev && file.st_ino == index.st_ino) return;
  if (!mtimeMatches(record.fileTimeFat, file.st_mtime)) return;
  ::unlink(path.c_str());
}

std::uint32_t MsieContainer::remove(const ContainerEntry& entry) {
  const int fd =
      ::open(indexPath_.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
  if (fd < 0) return win32FromErrno(errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }  // also drops the lock
  } closer{fd};

  // Two Tessarine processes stay apart through the lock; anything else
  // that has the file open (Wine's server) is detected through /proc.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return errno == EWOULDBLOCK ? kErrorSharingViolation : win32FromErrno(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kErrorInvalidData;
  if (msie::ProcessFileUse::usedByOtherProcess(st.st_dev, st.st_ino,
                                               canonical(indexPath_)))
    return kErrorSharingViolation;

  // Re-read under the lock: the entry may have moved or gone since the
  // caller enumerated it.
  auto file = MsieIndexFile::loadFromFd(fd);
  if (!file) return kErrorInvalidData;
  AnsiTextDecoder decoder(codePage_);
  std::optional<MsieUrlRecord> target;
  for (const auto& slot : file->liveSlots()) {
    if (slot.recordOffset != entry.key) continue;
    auto r = file->urlRecord(slot);
    if (r && decoder.toUtf8(r->url) == entry.url) {
      target = r;
      break;
    }
  }
  for (std::size_t i = 0; !target && i < file->liveSlots().size(); ++i) {
    auto r = file->urlRecord(file->liveSlots()[i]);
    if (r && decoder.toUtf8(r->url) == entry.url) target = r;
  }
  if (!target) return kErrorFileNotFound;
  // WinINet refuses to delete an entry somebody holds locked.
  if (target->useCount != 0) return kErrorSharingViolation;

  auto patches = msie::MsieDeletion::plan(*file, *target);
  if (!patches) return kErrorInvalidData;
  std::size_t written = 0;
  for (; written < patches->size(); ++written) {
    const auto& p = (*patches)[written];
    if (!writeAll(fd, p.bytes, p.offset)) break;
  }
  if (written < patches->size()) {
    const int e = errno;
    // Put back what was already changed, so a failure changes nothing.
    for (std::size_t i = 0; i < written; ++i) {
      const auto& p = (*patches)[i];
      writeAll(fd, file->bytes().substr(p.offset, p.bytes.size()), p.offset);
    }
    ::fsync(fd);
    return e == ENOSPC || e == EIO ? kErrorInvalidData : kErrorAccessDenied;
  }
  if (::fsync(fd) != 0) return kErrorAccessDenied;

  const std::vector<std::string> dirs = directoryNames(*file, decoder);
  removeLocalFileIfUnchanged(*target, localPathOf(*target, dirs, decoder), fd);
  return kErrorSuccess;
}

}  // namespace tessarine::urlcache
