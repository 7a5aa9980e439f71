#include "filetypes/ExtensionTable.h"

#include "filetypes/BuiltInFileTypes.h"
#include "shell/TextLines.h"

namespace tessarine {

bool lineCountsAsChecked(const QString& line) {
  const qsizetype bar = line.indexOf(u'|');
  return bar > 0 && line[bar - 1] == u'2';
}

QStringList deriveSelectedExts(const QStringList& lines) {
  // The extension table is the built-in rows' extensions, keyed by line.
  const auto& rows = builtInFileTypes();
  QStringList exts;
  for (qsizetype line = 0; line < qsizetype(rows.size()); ++line) {
    if (rows[line].extensions.isEmpty() || line >= lines.size()) continue;
    if (lineCountsAsChecked(lines[line])) exts += rows[line].extensions;
  }
  return exts;
}

QStringList selectedExtsFromFile(const QString& path) {
  return deriveSelectedExts(loadTextLines(path));
}

}  // namespace tessarine
