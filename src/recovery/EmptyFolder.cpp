#include "recovery/EmptyFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tessarine {

void emptyOutputFolder(const QString& folder, const QString& defaultFolder) {
  const QFileInfo here(folder);
  if (!here.isDir()) return;
  const bool isDefault =
      here.canonicalFilePath() == QFileInfo(defaultFolder).canonicalFilePath();
  const QFileInfoList files =
      QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks);
  for (const QFileInfo& file : files) {
    if (file.isHidden() || !file.isFile() || file.isSymLink()) continue;
    if (isDefault)
      QFile::remove(file.absoluteFilePath());
    else
      QFile::moveToTrash(file.absoluteFilePath());
  }
}

QString safeOutputFolder(const QString& folderText, const QString& defaultFolder) {
  if (folderText.trimmed().isEmpty()) return defaultFolder;
  const QString canonical = QFileInfo(folderText).canonicalFilePath();
  if (QDir::cleanPath(folderText) == QStringLiteral("/") || canonical == QStringLiteral("/"))
    return defaultFolder;
  return folderText;
}

}  // namespace tessarine
