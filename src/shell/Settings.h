#pragma once

#include <QString>

namespace tessarine {

// Set.ini in the application folder, section GetFiles. Every call reads or
// writes the file at once; nothing is held in memory.
namespace settings {

// Folder: the output folder as the recovery dialog last showed it ("" when
// absent).
QString readFolder();
// OverWrite: the "Empty Folder" option (true when absent or not a number).
bool readOverWrite();
// Both throw Error("Unable to write to <path>") when Set.ini cannot be written.
void writeFolder(const QString& folder);
void writeOverWrite(bool overWrite);

// The Folder setting, or the default output folder when it is empty, so a
// file command never joins a path to an empty folder.
QString outputFolder();

}  // namespace settings

// The default-folder step: when appDir() + "GetFiles/" does not exist it is
// created (one level, failure not reported) and `folderText` becomes that
// path. An empty `folderText` also becomes the default path, so the output
// folder is never empty.
void applyDefaultFolderStep(QString& folderText);

}  // namespace tessarine
