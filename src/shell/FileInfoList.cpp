#include "shell/FileInfoList.h"

#include <QFile>
#include <QSaveFile>

#include "platform/Error.h"
#include "shell/AppDir.h"
#include "shell/TextLines.h"

namespace tessarine {

QStringList& fileInfoList() {
  static QStringList list;
  return list;
}

QString makeFileInfoRecord(const QString& name, const QString& extension,
                           quint64 size, const QString& address) {
  return name + '^' + extension.toLower() + '^' + QString::number(size) + '^' +
         address;
}

FileInfoFields splitFileInfoRecord(const QString& record) {
  FileInfoFields f;
  const QStringList parts = record.split('^');
  if (parts.size() > 0) f.name = parts[0];
  if (parts.size() > 1) f.extension = parts[1];
  if (parts.size() > 2) f.size = parts[2];
  if (parts.size() > 3) f.address = parts.mid(3).join('^');
  return f;
}

QString registerPath() { return appDir() + QStringLiteral("GetFileInfo.ini"); }

void saveRegister(const QString& path, const QStringList& records) {
  saveTextLines(path, records);
}

QStringList readRegister(const QString& path) { return loadTextLines(path); }

}  // namespace tessarine
