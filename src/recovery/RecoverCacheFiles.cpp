#include "recovery/RecoverCacheFiles.h"

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRegularExpression>
#include <QSet>

#include "cache/EntryBuffer.h"
#include "platform/Error.h"
#include "shell/FileInfoList.h"

namespace tessarine {
namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

// Asks for the entry's local file, once with the walk's 4096 bytes and once
// more with the size asked for when only the buffer was too small.
// `buffer` is the run's, reused from entry to entry.
QString retrieveLocalFile(UrlCacheApi& api, const std::string& url, EntryBuffer& buffer) {
  DWORD size = kEntryBufferSize;
  buffer.reset(size);
  buffer.info()->dwStructSize = 0;
  const BOOL ok = api.retrieve(url.c_str(), buffer.info(), &size);
  const DWORD error = ok ? 0 : api.lastError();
  api.unlock(url.c_str());
  if (ok && buffer.info()->lpszLocalFileName)
    return QString::fromUtf8(buffer.info()->lpszLocalFileName);
  if (ok || error != ERROR_INSUFFICIENT_BUFFER || size <= kEntryBufferSize) return {};
  buffer.reset(size);
  buffer.info()->dwStructSize = 0;
  const BOOL again = api.retrieve(url.c_str(), buffer.info(), &size);
  api.unlock(url.c_str());
  if (!again || !buffer.info()->lpszLocalFileName) return {};
  return QString::fromUtf8(buffer.info()->lpszLocalFileName);
}

bool sameFile(const QByteArray& a, const QByteArray& b) {
  struct stat sa {}, sb {};
  return ::stat(a.constData(), &sa) == 0 && ::stat(b.constData(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

[[noreturn]] void outputFailed(int err, const QByteArray& path) {
  throw Error(std::string(std::strerror(err)) + ": " + path.toStdString());
}

enum class CopyResult { Copied, SourceUnreadable, IsSource };

// Streams the local copy into `target` in bounded memory. A target already
// there that is the source itself (the output folder is the cache folder,
// or a hard link) is left alone. A source that cannot be opened leaves an
// existing target as it was; one that fails part-way removes the partial
// copy; a target that cannot be written throws.
CopyResult copyBody(UrlCacheApi& api, const QString& localFile, const QByteArray& target,
                    char* chunk, quint64* copied) {
  const QByteArray source = localFile.toUtf8();
  // A name not used yet is created at once, without a separate look-up.
  int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  const bool created = fd >= 0;
  if (!created) {
    if (errno != EEXIST) outputFailed(errno, target);
    if (sameFile(target, source)) return CopyResult::IsSource;
  }
  DWORD error = 0;
  std::unique_ptr<urlcache::BodyStream> body = api.openLocalFile(source.constData(), &error);
  if (!body) {
    if (created) {
      ::close(fd);
      ::unlink(target.constData());
    }
    return CopyResult::SourceUnreadable;
  }
  if (!created) {
    fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) outputFailed(errno, target);
  }
  quint64 total = 0;

  // A plain file is copied in the kernel, as cp does; where the file
  // systems do not allow it, nothing has been written yet and the loop
  // below copies instead.
  int inFd = -1;
  std::uint64_t offset = 0, left = 0;
  bool inKernel = body->plainFileRange(&inFd, &offset, &left);
  while (inKernel && left > 0) {
    loff_t from = static_cast<loff_t>(offset);
    const ssize_t n = ::copy_file_range(inFd, &from, fd, nullptr,
                                        static_cast<std::size_t>(std::min<std::uint64_t>(left, 1u << 30)), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && total == 0 &&
        (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
         errno == EBADF)) {
      inKernel = false;
      break;
    }
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      ::unlink(target.constData());
      outputFailed(err, target);
    }
    if (n == 0) {  // the file got shorter while it was copied
      ::close(fd);
      ::unlink(target.constData());
      return CopyResult::SourceUnreadable;
    }
    offset += static_cast<std::uint64_t>(n);
    left -= static_cast<std::uint64_t>(n);
    total += static_cast<quint64>(n);
  }
  for (; !inKernel;) {
    const std::int64_t got = body->read(chunk, kCopyChunk);
    if (got < 0) {
      ::close(fd);
      ::unlink(target.constData());
      return CopyResult::SourceUnreadable;
    }
    if (got == 0) break;
    std::size_t done = 0;
    while (done < static_cast<std::size_t>(got)) {
      const ssize_t w = ::write(fd, chunk + done, static_cast<std::size_t>(got) - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        const int err = w < 0 ? errno : ENOSPC;
        ::close(fd);
        ::unlink(target.constData());
        outputFailed(err, target);
      }
      done += static_cast<std::size_t>(w);
    }
    total += static_cast<quint64>(got);
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(target.constData());
    outputFailed(err, target);
  }
  *copied = total;
  return CopyResult::Copied;
}

bool isSelected(const QString& ext, const QStringList& selected) {
  if (ext.isEmpty()) return false;
  for (const QString& s : selected)
    if (ext.compare(s, Qt::CaseInsensitive) == 0) return true;
  return false;
}

}  // namespace

QString extensionOf(const QString& fileName) {
  const qsizetype dot = fileName.lastIndexOf('.');
  return dot < 0 ? QString() : fileName.mid(dot);
}

QString nextFreeName(const QString& name, const QSet<QString>& used) {
  if (!used.contains(name)) return name;
  static const QRegularExpression counted(QStringLiteral(R"(^(.*)\[(\d+)\]$)"));
  const QString ext = extensionOf(name);
  QString base = name.left(name.size() - ext.size());
  qlonglong n = 0;
  const QRegularExpressionMatch m = counted.match(base);
  if (m.hasMatch()) {
    base = m.captured(1);
    n = m.captured(2).toLongLong();
  }
  QString candidate;
  do {
    candidate = base + '[' + QString::number(++n) + ']' + ext;
  } while (used.contains(candidate));
  return candidate;
}

int RecoverCacheFiles(UrlCacheApi& api, const QStringList& selectedExts,
                      RecoveryListener& listener, const MessagePump& pump) {
  listener.runStarted();
  const QStringList selected = selectedExts;
  listener.entriesCounted(CountCacheEntries(api, pump));

  int count = 0;
  int position = 0;
  QSet<QString> usedNames;
  // One copy buffer for the run, left uninitialised: it is always written
  // before it is read.
  const std::unique_ptr<char[]> chunk(new char[kCopyChunk]);
  EntryBuffer retrieved(kEntryBufferSize);
  walkUrlCache(
      api,
      [&](const INTERNET_CACHE_ENTRY_INFOA& entry) {
        const std::string url = entry.lpszSourceUrlName ? entry.lpszSourceUrlName : "";
        const QString address = QString::fromUtf8(url.data(), qsizetype(url.size()));
        listener.entryVisited(++position, address);

        // The enumeration already names the local copy: an entry of a kind
        // not asked for needs no retrieval.
        if (entry.lpszLocalFileName) {
          const QString enumerated = QString::fromUtf8(entry.lpszLocalFileName);
          if (!isSelected(extensionOf(enumerated.mid(enumerated.lastIndexOf('/') + 1)), selected))
            return !listener.stopRequested();
        }
        const QString localFile = retrieveLocalFile(api, url, retrieved);
        if (localFile.isEmpty()) return !listener.stopRequested();
        const QString sourceName = localFile.mid(localFile.lastIndexOf('/') + 1);
        // Never a name that would write beside or above the output folder.
        if (sourceName.isEmpty() || sourceName == "." || sourceName == "..")
          return !listener.stopRequested();
        if (!isSelected(extensionOf(sourceName), selected)) return !listener.stopRequested();

        const QString name = nextFreeName(sourceName, usedNames);
        const QString ext = extensionOf(name);
        const QByteArray target = (listener.outputFolder() + '/' + name).toUtf8();
        quint64 size = 0;
        const CopyResult result = copyBody(api, localFile, target, chunk.get(), &size);
        if (result == CopyResult::SourceUnreadable) return !listener.stopRequested();
        if (result == CopyResult::IsSource) {
          // Never rewritten; listed with the size it has.
          struct stat st {};
          if (::stat(target.constData(), &st) == 0) size = quint64(st.st_size);
        }
        usedNames.insert(name);
        RecoveredFile file{name, ext, size, address, makeFileInfoRecord(name, ext, size, address)};
        fileInfoList().append(file.record);
        ++count;
        listener.fileRecovered(file);
        return !listener.stopRequested();
      },
      pump);
  return count;
}

}  // namespace tessarine
