#include "shell/TextLines.h"

#include <QFile>
#include <QSaveFile>

#include "platform/Error.h"

namespace tessarine {

QStringList splitTextLines(const QByteArray& bytes) {
  qsizetype end = bytes.indexOf('\0');
  if (end < 0) end = bytes.size();
  QStringList lines;
  qsizetype start = 0;
  qsizetype i = 0;
  while (i < end) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines << QString::fromUtf8(bytes.constData() + start, i - start);
      if (c == '\r' && i + 1 < end && bytes[i + 1] == '\n') ++i;
      start = i + 1;
    }
    ++i;
  }
  if (start < end) lines << QString::fromUtf8(bytes.constData() + start, end - start);
  return lines;
}

QStringList loadTextLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw Error("Cannot open file " + path.toStdString());
  return splitTextLines(file.readAll());
}

void saveTextLines(const QString& path, const QStringList& lines) {
  QByteArray bytes;
  for (const QString& line : lines) bytes += line.toUtf8() + "\r\n";
  QSaveFile file(path);
  file.setDirectWriteFallback(true);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
      !file.commit())
    throw Error("Cannot create file " + path.toStdString());
}

}  // namespace tessarine
