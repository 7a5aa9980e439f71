#include "files/FileCopy.h"

#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>

namespace tessarine {
namespace {

constexpr qint64 kChunkSize = 1 << 16;

bool statPath(const QString& path, struct stat& st) {
  return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

}  // namespace

bool copyFileReplacing(const QString& source, const QString& target) {
  struct stat from {}, to {};
  if (!statPath(source, from) || !S_ISREG(from.st_mode)) return false;
  if (statPath(target, to) && from.st_dev == to.st_dev && from.st_ino == to.st_ino)
    return true;
  QFile in(source);
  if (!in.open(QIODevice::ReadOnly)) return false;
  QSaveFile out(target);
  if (!out.open(QIODevice::WriteOnly)) return false;
  QByteArray chunk;
  while (!(chunk = in.read(kChunkSize)).isEmpty()) {
    if (out.write(chunk) != chunk.size()) break;  // the save file is now failed
  }
  if (in.error() != QFileDevice::NoError) out.cancelWriting();
  if (!out.commit()) return false;
  // The copy keeps the source's time and permissions; failing to set them
  // does not undo the copy.
  const QByteArray path = QFile::encodeName(target);
  const timespec times[2] = {from.st_atim, from.st_mtim};
  (void)::utimensat(AT_FDCWD, path.constData(), times, 0);
  (void)::chmod(path.constData(), from.st_mode & 0777);
  return true;
}

}  // namespace tessarine
