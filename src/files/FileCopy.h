#pragma once

#include <QString>

namespace tessarine {

// Copies the file `source` to `target`, replacing a file already there:
// the bytes go to a temporary file in the target's folder, which is then
// renamed over `target`, so a failed copy leaves the old file whole. The
// copy gets the source's permissions and modification time. A target that
// is the source itself (same device and inode) is left alone and counts as
// copied. False when the copy failed (nothing is left behind).
bool copyFileReplacing(const QString& source, const QString& target);

}  // namespace tessarine
