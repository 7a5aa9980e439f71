#pragma once

#include <QString>

namespace tessarine::test {

// Copies the folder `from` to `to` with everything in it, keeping each
// file's modification time (an IE delete removes only the file it recorded).
bool copyTree(const QString& from, const QString& to);

}  // namespace tessarine::test
