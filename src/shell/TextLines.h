#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tessarine {

// Splits text into lines at CR, LF or CR LF; a NUL ends the text. A final
// line ending adds no empty line.
QStringList splitTextLines(const QByteArray& bytes);

// Reads a UTF-8 text file as lines (splitTextLines). Throws
// Error("Cannot open file <path>") when the file cannot be read.
QStringList loadTextLines(const QString& path);

// Creates or truncates the file and writes every line followed by CR LF.
// Throws Error("Cannot create file <path>") when it cannot be written; a
// file that cannot be written whole keeps its former content.
void saveTextLines(const QString& path, const QStringList& lines);

}  // namespace tessarine
