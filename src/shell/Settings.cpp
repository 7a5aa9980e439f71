#include "shell/Settings.h"

#include <QDir>
#include <QFileInfo>

#include "platform/profile/ProfileFile.h"
#include "shell/AppDir.h"

namespace tessarine {
namespace settings {
namespace {

const QString kSection = QStringLiteral("GetFiles");

ProfileFile setIni() { return ProfileFile(appDir() + QStringLiteral("Set.ini")); }

}  // namespace

QString readFolder() {
  return setIni().readString(kSection, QStringLiteral("Folder"), QString());
}

bool readOverWrite() {
  return setIni().readBool(kSection, QStringLiteral("OverWrite"), true);
}

void writeFolder(const QString& folder) {
  setIni().writeString(kSection, QStringLiteral("Folder"), folder);
}

void writeOverWrite(bool overWrite) {
  setIni().writeBool(kSection, QStringLiteral("OverWrite"), overWrite);
}

QString outputFolder() {
  const QString folder = readFolder();
  return folder.isEmpty() ? defaultOutputFolder() : folder;
}

}  // namespace settings

void applyDefaultFolderStep(QString& folderText) {
  const QString path = defaultOutputFolder();
  if (!QFileInfo(path).isDir()) {
    QDir().mkdir(path);
    folderText = path;
  } else if (folderText.isEmpty()) {
    folderText = path;
  }
}

}  // namespace tessarine
