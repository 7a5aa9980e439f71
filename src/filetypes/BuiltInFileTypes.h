#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace tessarine {

// One row of the built-in file-type tree, in pre-order: where it sits, how
// it looks, and the extensions its SeFile.ini line stands for.
struct BuiltInFileType {
  int depth;
  QString caption;
  int image;
  int selectedImage;
  QStringList extensions;  // empty for the root and the groups
};

// The built-in rows: the original twenty (lines 0..19), then the three
// newer groups (lines 20..34).
const std::vector<BuiltInFileType>& builtInFileTypes();

// Number of rows a SeFile.ini from before the newer groups holds.
inline constexpr int kOriginalFileTypeLines = 20;

}  // namespace tessarine
