#pragma once

#include <QSet>
#include <QStringList>

#include "cache/CacheWalk.h"
#include "recovery/RecoveryListener.h"

namespace tessarine {

// The recovery walk: counts the entries, then walks the cache and copies
// every entry's local copy whose extension (from the name's last ".",
// letter case ignored) is one of `selectedExts` into the listener's output
// folder, appending a record to fileInfoList() for each. Names a run has
// already used get the next free counter ("logo[1].gif" -> "logo[2].gif");
// a copy onto its own source is not rewritten. Entries without a readable
// local copy are skipped. Returns the number of files copied.
// Throws Error (reason and path) when the output cannot be written; the
// files and records made before stay.
int RecoverCacheFiles(UrlCacheApi& api, const QStringList& selectedExts,
                      RecoveryListener& listener,
                      const MessagePump& pump = processPendingMessages);

// The extension of a file name: from its last "." to the end, dot
// included; "" when the name has no dot.
QString extensionOf(const QString& fileName);

// The first name not in `used` made from `name` by the cache's counter
// style: "logo[1].gif" -> "logo[2].gif", "logo.gif" -> "logo[1].gif".
QString nextFreeName(const QString& name, const QSet<QString>& used);

}  // namespace tessarine
