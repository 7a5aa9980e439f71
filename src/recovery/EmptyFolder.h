#pragma once

#include <QString>

namespace tessarine {

// Empties the output folder before a run: only the regular, non-hidden
// files directly in `folder`, never anything below it. In the default
// output folder they are deleted; anywhere else they go to the desktop's
// trash, so a mistaken choice of folder loses nothing. Failures are ignored.
void emptyOutputFolder(const QString& folder, const QString& defaultFolder);

// The folder a run may write into: `folderText`, or the default output
// folder when the text is empty or names the file system's root.
QString safeOutputFolder(const QString& folderText, const QString& defaultFolder);

}  // namespace tessarine
