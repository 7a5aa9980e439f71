#include "shell/AppDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tessarine {
namespace {

QString& storage() {
  static QString dir;
  return dir;
}

QString withSlash(QString dir) {
  if (!dir.endsWith('/')) dir += '/';
  return dir;
}

}  // namespace

const QString& appDir() { return storage(); }

void setAppDir(const QString& dir) { storage() = dir; }

QString locateAppDir(const QString& executableDir,
                     const QString& installBinDir) {
  const QString exe = QFileInfo(executableDir).canonicalFilePath();
  const QString bin = QFileInfo(installBinDir).canonicalFilePath();
  if (!exe.isEmpty() && exe == bin) {
    const QString data =
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return withSlash(data);
  }
  return withSlash(executableDir);
}

QString locateAppDirForThisProcess() {
  return locateAppDir(QCoreApplication::applicationDirPath(),
                      QStringLiteral(TESSARINE_INSTALL_BINDIR));
}

QString defaultOutputFolder() { return appDir() + QStringLiteral("GetFiles/"); }

}  // namespace tessarine
