#pragma once

#include <QString>
#include <QStringList>

namespace tessarine {

// The program-wide list of file-info records of the current run, in the
// order the run copied the files. Written to the register at the end of a
// run; never loaded from it.
QStringList& fileInfoList();

// One register line: name ^ extension (lower case) ^ size ^ address.
QString makeFileInfoRecord(const QString& name, const QString& extension,
                           quint64 size, const QString& address);

// The four fields of a record; a record with fewer "^" gives empty fields.
// The address is everything after the third "^", "^" included.
struct FileInfoFields {
  QString name, extension, size, address;
};
FileInfoFields splitFileInfoRecord(const QString& record);

// appDir() + "GetFileInfo.ini".
QString registerPath();

// Writes `records` as the whole register, each line ended by CR LF (zero
// bytes when empty). Throws Error("Cannot create file <path>") on failure.
void saveRegister(const QString& path, const QStringList& records);

// Reads the register as lines, split at CR, LF or CR LF; a NUL ends the
// text. Throws Error("Cannot open file <path>") when it cannot be read.
QStringList readRegister(const QString& path);

}  // namespace tessarine
