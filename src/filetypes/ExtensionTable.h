#pragma once

#include <QString>
#include <QStringList>

namespace tessarine {

// True when the SeFile.ini line counts as checked: the character right
// before its first "|" is "2".
bool lineCountsAsChecked(const QString& line);

// The extensions of every extension-table line of `lines` that counts as
// checked, by line position (not caption), lines in ascending order and
// each line's extensions in table order. A line beyond the end of `lines`
// counts as unchecked.
QStringList deriveSelectedExts(const QStringList& lines);

// deriveSelectedExts over the lines of the file at `path` (the Get File Now
// read-back). Throws Error("Cannot open file <path>") when it cannot be read.
QStringList selectedExtsFromFile(const QString& path);

}  // namespace tessarine
