#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tessarine::test {

bool copyTree(const QString& from, const QString& to) {
  QDir().mkpath(to);
  for (const QFileInfo& fi : QDir(from).entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
    const QString target = to + "/" + fi.fileName();
    if (fi.isDir()) {
      if (!copyTree(fi.filePath(), target)) return false;
      continue;
    }
    QFile copy(target);
    if (!QFile::copy(fi.filePath(), target) || !copy.open(QIODevice::ReadWrite) ||
        !copy.setFileTime(fi.lastModified(), QFileDevice::FileModificationTime))
      return false;
  }
  return true;
}

}  // namespace tessarine::test
