#include "platform/profile/ProfileFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include "platform/Error.h"

namespace tessarine {
namespace {

constexpr int kMaxValueLength = 2047;

QStringList readLines(const QString& path, bool* exists) {
  QFile file(path);
  *exists = file.open(QIODevice::ReadOnly);
  if (!*exists) return {};
  QString text = QString::fromUtf8(file.readAll());
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar('\r'), QChar('\n'));
  QStringList lines = text.split(QChar('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

// "[name]" with optional blanks: the section's name, or a null string.
QString sectionName(const QString& line) {
  const QString t = line.trimmed();
  if (!t.startsWith('[')) return {};
  const qsizetype close = t.indexOf(']');
  if (close < 0) return {};
  return t.mid(1, close - 1).trimmed();
}

bool isKeyLine(const QString& line, const QString& key, QString* value) {
  const qsizetype eq = line.indexOf('=');
  if (eq < 0) return false;
  if (line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0)
    return false;
  if (value) *value = line.mid(eq + 1).trimmed();
  return true;
}

QString unquote(QString v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') &&
      v.back() == v.front())
    v = v.mid(1, v.size() - 2);
  return v;
}

}  // namespace

bool parseProfileInteger(const QString& text, int* value) {
  const QString t = text.trimmed();
  bool ok = false;
  qlonglong v = 0;
  qsizetype start = 0;
  bool negative = false;
  if (t.startsWith('-') || t.startsWith('+')) {
    negative = t.startsWith('-');
    start = 1;
  }
  const QString body = t.mid(start);
  if (body.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
    const QString digits = body.mid(2);
    if (digits.isEmpty() || digits.startsWith('-') || digits.startsWith('+'))
      return false;
    v = digits.toLongLong(&ok, 16);
  } else {
    if (body.isEmpty() || body.startsWith('-') || body.startsWith('+'))
      return false;
    v = body.toLongLong(&ok, 10);
  }
  if (!ok) return false;
  if (negative) v = -v;
  if (v < INT32_MIN || v > UINT32_MAX) return false;
  *value = static_cast<int>(static_cast<qint32>(v));
  return true;
}

QString ProfileFile::readString(const QString& section, const QString& key,
                                const QString& fallback) const {
  bool exists = false;
  const QStringList lines = readLines(path_, &exists);
  bool inSection = false;
  for (const QString& line : lines) {
    const QString name = sectionName(line);
    if (!name.isNull()) {
      inSection = name.compare(section, Qt::CaseInsensitive) == 0;
      continue;
    }
    QString value;
    if (inSection && isKeyLine(line, key, &value))
      return unquote(value).left(kMaxValueLength);
  }
  return fallback;
}

int ProfileFile::readInteger(const QString& section, const QString& key,
                             int fallback) const {
  int value = 0;
  return parseProfileInteger(readString(section, key, QString()), &value)
             ? value
             : fallback;
}

bool ProfileFile::readBool(const QString& section, const QString& key,
                           bool fallback) const {
  return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void ProfileFile::writeString(const QString& section, const QString& key,
                              const QString& value) const {
  bool exists = false;
  QStringList lines = readLines(path_, &exists);
  const QString keyLine = key + '=' + value;

  qsizetype sectionAt = -1;   // header line of the section
  qsizetype lastInSection = -1;  // last non-blank line of the section
  bool written = false;
  for (qsizetype i = 0; i < lines.size() && !written; ++i) {
    const QString name = sectionName(lines[i]);
    if (!name.isNull()) {
      if (sectionAt >= 0) break;  // the section ended
      if (name.compare(section, Qt::CaseInsensitive) == 0)
        sectionAt = lastInSection = i;
      continue;
    }
    if (sectionAt < 0) continue;
    if (isKeyLine(lines[i], key, nullptr)) {
      lines[i] = keyLine;
      written = true;
    } else if (!lines[i].trimmed().isEmpty()) {
      lastInSection = i;
    }
  }
  if (!written) {
    if (sectionAt >= 0) {
      lines.insert(lastInSection + 1, keyLine);
    } else {
      if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
        lines << QString();
      lines << '[' + section + ']' << keyLine;
    }
  }

  QByteArray bytes;
  for (const QString& line : lines) bytes += line.toUtf8() + "\r\n";
  QSaveFile file(path_);
  file.setDirectWriteFallback(true);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
      !file.commit())
    throw Error("Unable to write to " + path_.toStdString());
}

void ProfileFile::writeBool(const QString& section, const QString& key,
                            bool value) const {
  writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace tessarine
